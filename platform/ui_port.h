// User interface: user32's modal dialogs, controls, message boxes, system
// menu, icons, cursor and string table.
//
// DialogBoxParamA creates the dialog from its template and runs the modal loop;
// it calls the dialog procedure for every message, as Windows does, and returns
// the value given to EndDialog. A dialog procedure that returns FALSE gets the
// default dialog handling: WM_CLOSE becomes WM_COMMAND IDCANCEL, the system
// menu's close item becomes WM_CLOSE, Enter becomes WM_COMMAND with the default
// button's id (IDOK when there is none), Esc becomes WM_COMMAND IDCANCEL.
// After EndDialog the window receives WM_DESTROY before DialogBoxParamA returns.
//
// Controls are addressed through their window handles (GetDlgItem) and driven
// with SendMessageA and the control messages of win32_types.h: combo boxes
// (CB_*) and progress bars (PBM_*). Text travels in the program's code page.
//
// While a handler runs, the thread takes no messages: a control's new text or
// position reaches the screen when the control is painted (UpdateWindow on it
// or its dialog) or when the thread next takes messages (the handler has
// returned, or a message box runs its own loop). Clicks and keys meanwhile wait
// in the thread's queue and reach the dialog after the handler, unless
// PeekMessageA takes them out first. A window whose thread has taken no
// message for 5 seconds is "not responding", and the system shows a ghost in
// its place, unless the process called DisableProcessWindowsGhosting.
#pragma once

#include <cstdint>

#include "platform/win32_types.h"

namespace veldra {

#ifdef _WIN32
using ::DEV_BROADCAST_HDR;
using ::DEV_BROADCAST_VOLUME;
using ::HCURSOR;
using ::HDC;
using ::HICON;
using ::HMENU;
using ::HWND;
using ::MSG;
using ::POINT;
using ::RECT;
inline const HWND NULL_HWND = nullptr;
inline const HMENU NULL_HMENU = nullptr;
inline const HICON NULL_HICON = nullptr;
inline const HCURSOR NULL_HCURSOR = nullptr;
#else
enum class HWND : std::uintptr_t {};
enum class HMENU : std::uintptr_t {};
enum class HICON : std::uintptr_t {};
enum class HCURSOR : std::uintptr_t {};
enum class HDC : std::uintptr_t {};
inline const HWND NULL_HWND = static_cast<HWND>(0);
inline const HMENU NULL_HMENU = static_cast<HMENU>(0);
inline const HICON NULL_HICON = static_cast<HICON>(0);
inline const HCURSOR NULL_HCURSOR = static_cast<HCURSOR>(0);

struct RECT {
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::int32_t right = 0;
    std::int32_t bottom = 0;
};

struct POINT {
    std::int32_t x = 0;
    std::int32_t y = 0;
};

struct MSG {
    HWND hwnd = static_cast<HWND>(0);
    UINT message = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
    DWORD time = 0;
    POINT pt;
};

// What WM_DEVICECHANGE's lParam points to for DBT_DEVICEARRIVAL and
// DBT_DEVICEREMOVECOMPLETE: a header, and for DBT_DEVTYP_VOLUME the volume's
// letters as bits (bit 0 is A:).
struct DEV_BROADCAST_HDR {
    DWORD dbch_size = 0;
    DWORD dbch_devicetype = 0;
    DWORD dbch_reserved = 0;
};

struct DEV_BROADCAST_VOLUME {
    DWORD dbcv_size = 0;
    DWORD dbcv_devicetype = 0;
    DWORD dbcv_reserved = 0;
    DWORD dbcv_unitmask = 0;
    WORD dbcv_flags = 0;
};
#endif
static_assert(sizeof(RECT) == 16);
static_assert(sizeof(DEV_BROADCAST_HDR) == 12 && sizeof(DEV_BROADCAST_VOLUME) == 20);
static_assert(sizeof(MSG) == (sizeof(void*) == 8 ? 48 : 28));

// The system cursors of LoadCursorA, by the numbers behind the SDK's
// IDC_ARROW and IDC_WAIT (which are resource-name pointers there).
enum : int {
    SYSTEM_CURSOR_ARROW = 32512,
    SYSTEM_CURSOR_WAIT = 32514,
};

// What DialogBoxParamA calls back: the program's dialog procedure.
class DialogProcedure {
public:
    virtual INT_PTR DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) = 0;

protected:
    ~DialogProcedure() = default;
};

class UiPort {
public:
    // The string table: copies string id into buffer (cut to size - 1 bytes)
    // and returns its length; 0 when the string is absent or empty.
    virtual int LoadStringA(UINT id, char* buffer, int size) = 0;

    virtual INT_PTR DialogBoxParamA(int templateId, HWND parent, DialogProcedure& procedure) = 0;
    virtual BOOL EndDialog(HWND dialog, INT_PTR result) = 0;
    virtual HWND GetDlgItem(HWND dialog, int controlId) = 0;
    virtual LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) = 0;
    virtual BOOL PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) = 0;
    virtual BOOL SetWindowTextA(HWND window, const char* text) = 0;
    virtual int GetWindowTextA(HWND window, char* buffer, int size) = 0;
    virtual BOOL EnableWindow(HWND window, BOOL enable) = 0;
    virtual BOOL IsWindowEnabled(HWND window) = 0;
    virtual BOOL UpdateWindow(HWND window) = 0;
    virtual int MessageBoxA(HWND owner, const char* text, const char* caption, UINT type) = 0;
    // A message number the system gives every program that asks by the same
    // name (the shell's "QueryCancelAutoPlay"); 0 on failure.
    virtual UINT RegisterWindowMessageA(const char* name) = 0;
    // What a dialog procedure answers a message with, besides TRUE for
    // "handled": SetWindowLongPtrA with DWLP_MSGRESULT (the only index used).
    virtual INT_PTR SetWindowLongPtrA(HWND window, int index, INT_PTR value) = 0;

    // The first message of the thread's queue for window (NULL_HWND: any of
    // the thread's windows) whose number lies in filterMin..filterMax (0, 0:
    // any), taken out with PM_REMOVE; FALSE when there is none. Calling it
    // counts as taking messages, but it paints nothing.
    virtual BOOL PeekMessageA(MSG* message, HWND window, UINT filterMin, UINT filterMax,
                              UINT remove) = 0;
    // For the rest of the process: a window that stops taking messages keeps
    // its place on the screen instead of a ghost.
    virtual void DisableProcessWindowsGhosting() = 0;

    virtual HMENU GetSystemMenu(HWND window, BOOL revert) = 0;
    virtual BOOL AppendMenuA(HMENU menu, UINT flags, std::uintptr_t idNewItem,
                             const char* text) = 0;

    virtual HICON LoadIconA(int resourceId) = 0;
    virtual HCURSOR LoadCursorA(int systemCursorId) = 0;
    virtual HCURSOR SetCursor(HCURSOR cursor) = 0;

    // Painting of a minimised window.
    virtual BOOL IsIconic(HWND window) = 0;
    virtual HDC BeginPaint(HWND window) = 0;
    virtual BOOL EndPaint(HWND window) = 0;
    virtual int GetSystemMetrics(int index) = 0;
    virtual BOOL GetClientRect(HWND window, RECT* rect) = 0;
    virtual BOOL DrawIcon(HDC dc, int x, int y, HICON icon) = 0;

protected:
    ~UiPort() = default;
};

}  // namespace veldra
