// The Win32 vocabulary the program speaks.
//
// Every port keeps Win32's contract, so the names and values here are Win32's
// own: an error number, a flag or a message id means the same in both worlds.
//
// The rule for every name that the Windows SDK also defines (types,
// structures, constants, function-like macros such as LOWORD):
//   - On Windows the SDK's definition is the one used. This header includes
//     <windows.h> (through platform/windows_sdk.h) and brings the SDK's types
//     into namespace veldra with using-declarations; constants stay the SDK's
//     macros. So a file may include <windows.h> and any port header in either
//     order, and the Win32 adapter passes DWORD* and structures through
//     without casts.
//   - Elsewhere this header defines the name itself, with the SDK's value and
//     layout: constants come from platform/win32_values.inc, one line each,
//     and the Win32 adapter checks that line against the SDK with a
//     static_assert.
//   - Such a name is never qualified (write ERROR_SUCCESS, not
//     veldra::ERROR_SUCCESS: on Windows it is a macro), never declared
//     anywhere else, and never used as the name of a member or a function:
//     SDK macros such as PostMessage, SetWindowText or CreateFile would rename
//     it on Windows only. Members that mirror a Win32 function take its
//     explicit ANSI name (PostMessageA, SetWindowTextA), which is a function
//     in the SDK, not a macro.
//   - SDK structures have no default member initialisers on Windows: value-
//     initialise them (FILETIME t{};) wherever they are not filled at once.
// A new port follows the same rule: its constants go into
// platform/win32_values.inc, its structures and handle types into its header
// with a Windows branch of using-declarations.
#pragma once

#include <cstdint>
#include <type_traits>

#ifdef _WIN32
#include "platform/windows_sdk.h"
#endif

namespace veldra {

#ifdef _WIN32

using ::BOOL;
using ::BYTE;
using ::DWORD;
using ::FILETIME;
using ::INT_PTR;
using ::LPARAM;
using ::LRESULT;
using ::OSVERSIONINFOA;
using ::SYSTEMTIME;
using ::UINT;
using ::WIN32_FIND_DATAA;
using ::WORD;
using ::WPARAM;

#else

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

#define VELDRA_WIN32_VALUE(type, name, value) inline constexpr type name = value;
#include "platform/win32_values.inc"
#undef VELDRA_WIN32_VALUE

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

// The Windows records, field for field.
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

#endif

// The records cross the ports as Windows lays them out.
static_assert(sizeof(DWORD) == 4 && sizeof(WORD) == 2 && sizeof(BYTE) == 1);
static_assert(sizeof(FILETIME) == 8);
static_assert(sizeof(SYSTEMTIME) == 16);
static_assert(sizeof(OSVERSIONINFOA) == 148);
static_assert(sizeof(WIN32_FIND_DATAA) == 320);

// A handle as the integer a message parameter carries (WM_SETICON's icon,
// WM_ICONERASEBKGND's device context). Handles are pointers on Windows and
// opaque enumerations elsewhere.
template <typename Handle>
std::uintptr_t HandleBits(Handle handle) {
    if constexpr (std::is_pointer_v<Handle>) {
        return reinterpret_cast<std::uintptr_t>(handle);
    } else {
        return static_cast<std::uintptr_t>(handle);
    }
}

}  // namespace veldra
