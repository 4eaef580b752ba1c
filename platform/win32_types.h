// The Win32 vocabulary the program speaks, without <windows.h>.
//
// Every port keeps Win32's contract, so the values here are Win32's own: an
// error number, a flag or a message id means the same in both worlds. The
// Win32 adapter pins each of them to the SDK's definition with static_assert.
#pragma once

#include <cstdint>

namespace veldra {

using BOOL = int;
using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using UINT = unsigned int;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;
using INT_PTR = std::intptr_t;

constexpr BOOL FALSE = 0;
constexpr BOOL TRUE = 1;

// System error codes (GetLastError).
enum : DWORD {
    ERROR_SUCCESS = 0,
    ERROR_FILE_NOT_FOUND = 2,
    ERROR_PATH_NOT_FOUND = 3,
    ERROR_ACCESS_DENIED = 5,
    ERROR_INVALID_HANDLE = 6,
    ERROR_NOT_ENOUGH_MEMORY = 8,
    ERROR_NO_MORE_FILES = 18,
    ERROR_WRITE_PROTECT = 19,
    ERROR_NOT_READY = 21,
    ERROR_SHARING_VIOLATION = 32,
    ERROR_HANDLE_EOF = 38,
    ERROR_FILE_EXISTS = 80,
    ERROR_INVALID_PARAMETER = 87,
    ERROR_DISK_FULL = 112,
    ERROR_INSUFFICIENT_BUFFER = 122,
    ERROR_INVALID_NAME = 123,
    ERROR_NEGATIVE_SEEK = 131,
    ERROR_ALREADY_EXISTS = 183,
    ERROR_FILENAME_EXCED_RANGE = 206,
};

// CreateFileA: access, share mode, disposition, attributes and flags.
enum : DWORD {
    GENERIC_READ = 0x80000000u,
    GENERIC_WRITE = 0x40000000u,
};
enum : DWORD {
    FILE_SHARE_READ = 0x1,
    FILE_SHARE_WRITE = 0x2,
    FILE_SHARE_DELETE = 0x4,
};
enum : DWORD {
    CREATE_NEW = 1,
    CREATE_ALWAYS = 2,
    OPEN_EXISTING = 3,
    OPEN_ALWAYS = 4,
    TRUNCATE_EXISTING = 5,
};
enum : DWORD {
    FILE_ATTRIBUTE_READONLY = 0x01,
    FILE_ATTRIBUTE_HIDDEN = 0x02,
    FILE_ATTRIBUTE_SYSTEM = 0x04,
    FILE_ATTRIBUTE_DIRECTORY = 0x10,
    FILE_ATTRIBUTE_ARCHIVE = 0x20,
    FILE_ATTRIBUTE_NORMAL = 0x80,
    FILE_FLAG_NO_BUFFERING = 0x20000000u,
    FILE_FLAG_BACKUP_SEMANTICS = 0x02000000u,
};
constexpr DWORD INVALID_FILE_ATTRIBUTES = 0xFFFFFFFFu;
constexpr DWORD INVALID_FILE_SIZE = 0xFFFFFFFFu;
constexpr DWORD INVALID_SET_FILE_POINTER = 0xFFFFFFFFu;

// SetFilePointer move methods.
enum : DWORD {
    FILE_BEGIN = 0,
    FILE_CURRENT = 1,
    FILE_END = 2,
};

constexpr int MAX_PATH = 260;

// SetErrorMode.
enum : UINT {
    SEM_FAILCRITICALERRORS = 0x0001,
    SEM_NOOPENFILEERRORBOX = 0x8000,
};

// Mutex access.
constexpr DWORD MUTEX_ALL_ACCESS = 0x1F0001;

// OSVERSIONINFOA.dwPlatformId.
enum : DWORD {
    VER_PLATFORM_WIN32s = 0,
    VER_PLATFORM_WIN32_WINDOWS = 1,
    VER_PLATFORM_WIN32_NT = 2,
};

// Message boxes.
enum : UINT {
    MB_OK = 0x00,
    MB_OKCANCEL = 0x01,
    MB_YESNO = 0x04,
    MB_TYPEMASK = 0x0F,
    MB_ICONHAND = 0x10,
    MB_ICONQUESTION = 0x20,
    MB_ICONEXCLAMATION = 0x30,
    MB_ICONINFORMATION = 0x40,
    MB_ICONMASK = 0xF0,
};
constexpr UINT MB_ICONSTOP = MB_ICONHAND;

// Dialog results and message box answers.
enum : int {
    IDOK = 1,
    IDCANCEL = 2,
    IDYES = 6,
    IDNO = 7,
};

// Window messages the program sends, handles or posts.
enum : UINT {
    WM_DESTROY = 0x0002,
    WM_SETTEXT = 0x000C,
    WM_PAINT = 0x000F,
    WM_CLOSE = 0x0010,
    WM_ICONERASEBKGND = 0x0027,
    WM_QUERYDRAGICON = 0x0037,
    WM_SETICON = 0x0080,
    WM_INITDIALOG = 0x0110,
    WM_COMMAND = 0x0111,
    WM_SYSCOMMAND = 0x0112,
    WM_USER = 0x0400,
};
enum : WPARAM {
    ICON_SMALL = 0,
    ICON_BIG = 1,
};

// System commands.
enum : UINT {
    SC_MINIMIZE = 0xF020,
    SC_CLOSE = 0xF060,
    SC_RESTORE = 0xF120,
};

// Menus.
enum : UINT {
    MF_STRING = 0x0000,
    MF_SEPARATOR = 0x0800,
};

// Combo boxes: messages, results and notifications.
enum : UINT {
    CB_GETCOUNT = 0x0146,
    CB_GETCURSEL = 0x0147,
    CB_GETLBTEXT = 0x0148,
    CB_GETLBTEXTLEN = 0x0149,
    CB_ADDSTRING = 0x0143,
    CB_RESETCONTENT = 0x014B,
    CB_SETCURSEL = 0x014E,
};
constexpr LRESULT CB_ERR = -1;
enum : WORD {
    CBN_SELCHANGE = 1,
    BN_CLICKED = 0,
};

// Progress bar.
enum : UINT {
    PBM_SETRANGE = WM_USER + 1,
    PBM_SETPOS = WM_USER + 2,
    PBM_DELTAPOS = WM_USER + 3,
    PBM_SETSTEP = WM_USER + 4,
    PBM_STEPIT = WM_USER + 5,
    PBM_GETPOS = WM_USER + 8,
};

// ShowWindow.
constexpr int SW_SHOWNORMAL = 1;

// GetSystemMetrics.
enum : int {
    SM_CXICON = 11,
    SM_CYICON = 12,
};

constexpr WORD LOWORD(std::uintptr_t value) {
    return static_cast<WORD>(value & 0xFFFF);
}
constexpr WORD HIWORD(std::uintptr_t value) {
    return static_cast<WORD>((value >> 16) & 0xFFFF);
}
constexpr LPARAM MAKELPARAM(WORD low, WORD high) {
    return static_cast<LPARAM>(static_cast<DWORD>(low) | (static_cast<DWORD>(high) << 16));
}
constexpr WPARAM MAKEWPARAM(WORD low, WORD high) {
    return static_cast<WPARAM>(static_cast<DWORD>(low) | (static_cast<DWORD>(high) << 16));
}

// The Windows time types, field for field.
struct FILETIME {
    DWORD dwLowDateTime = 0;
    DWORD dwHighDateTime = 0;
};

struct SYSTEMTIME {
    WORD wYear = 0;
    WORD wMonth = 0;
    WORD wDayOfWeek = 0;
    WORD wDay = 0;
    WORD wHour = 0;
    WORD wMinute = 0;
    WORD wSecond = 0;
    WORD wMilliseconds = 0;
};

struct OSVERSIONINFOA {
    DWORD dwOSVersionInfoSize = 0;
    DWORD dwMajorVersion = 0;
    DWORD dwMinorVersion = 0;
    DWORD dwBuildNumber = 0;
    DWORD dwPlatformId = 0;
    char szCSDVersion[128] = {};
};

struct WIN32_FIND_DATAA {
    DWORD dwFileAttributes = 0;
    FILETIME ftCreationTime;
    FILETIME ftLastAccessTime;
    FILETIME ftLastWriteTime;
    DWORD nFileSizeHigh = 0;
    DWORD nFileSizeLow = 0;
    DWORD dwReserved0 = 0;
    DWORD dwReserved1 = 0;
    char cFileName[MAX_PATH] = {};
    char cAlternateFileName[14] = {};
};

// The records cross the ports as Windows lays them out.
static_assert(sizeof(FILETIME) == 8);
static_assert(sizeof(SYSTEMTIME) == 16);
static_assert(sizeof(OSVERSIONINFOA) == 148);
static_assert(sizeof(WIN32_FIND_DATAA) == 320);

}  // namespace veldra
