// UiPort on user32 and this module's resources.
#include "win32/win32_ports.h"

namespace veldra::win32 {
namespace {

HINSTANCE ThisModule() {
    return ::GetModuleHandleA(nullptr);
}

// Hands every message of a dialog to the program's procedure. The procedure
// arrives with WM_INITDIALOG and stays with the window; the few messages
// before it (WM_SETFONT) get the default handling.
INT_PTR CALLBACK ForwardingDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) ::SetWindowLongPtrA(dialog, DWLP_USER, lParam);
    auto* procedure = reinterpret_cast<DialogProcedure*>(::GetWindowLongPtrA(dialog, DWLP_USER));
    if (procedure == nullptr) return FALSE;
    return procedure->DialogProc(dialog, message, wParam, lParam);
}

}  // namespace

int Win32UiPort::LoadStringA(UINT id, char* buffer, int size) {
    return ::LoadStringA(ThisModule(), id, buffer, size);
}

INT_PTR Win32UiPort::DialogBoxParamA(int templateId, HWND parent, DialogProcedure& procedure) {
    return ::DialogBoxParamA(ThisModule(), MAKEINTRESOURCEA(templateId), parent,
                             ForwardingDialogProc, reinterpret_cast<LPARAM>(&procedure));
}

BOOL Win32UiPort::EndDialog(HWND dialog, INT_PTR result) {
    return ::EndDialog(dialog, result);
}

HWND Win32UiPort::GetDlgItem(HWND dialog, int controlId) {
    return ::GetDlgItem(dialog, controlId);
}

LRESULT Win32UiPort::SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return ::SendMessageA(window, message, wParam, lParam);
}

BOOL Win32UiPort::PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return ::PostMessageA(window, message, wParam, lParam);
}

BOOL Win32UiPort::SetWindowTextA(HWND window, const char* text) {
    return ::SetWindowTextA(window, text);
}

int Win32UiPort::GetWindowTextA(HWND window, char* buffer, int size) {
    return ::GetWindowTextA(window, buffer, size);
}

BOOL Win32UiPort::EnableWindow(HWND window, BOOL enable) {
    return ::EnableWindow(window, enable);
}

BOOL Win32UiPort::IsWindowEnabled(HWND window) {
    return ::IsWindowEnabled(window);
}

BOOL Win32UiPort::UpdateWindow(HWND window) {
    return ::UpdateWindow(window);
}

int Win32UiPort::MessageBoxA(HWND owner, const char* text, const char* caption, UINT type) {
    return ::MessageBoxA(owner, text, caption, type);
}

BOOL Win32UiPort::PeekMessageA(MSG* message, HWND window, UINT filterMin, UINT filterMax,
                               UINT remove) {
    return ::PeekMessageA(message, window, filterMin, filterMax, remove);
}

// Looked up rather than imported: the documentation names Windows XP, yet it
// is said to come with a service pack of it. An import the loader cannot
// resolve would keep the program from starting at all; a user32 without the
// call only leaves the window its ghost.
void Win32UiPort::DisableProcessWindowsGhosting() {
    using Disable = VOID(WINAPI*)(VOID);
    FARPROC found =
        ::GetProcAddress(::GetModuleHandleA("user32.dll"), "DisableProcessWindowsGhosting");
    if (found) reinterpret_cast<Disable>(reinterpret_cast<void (*)()>(found))();
}

HMENU Win32UiPort::GetSystemMenu(HWND window, BOOL revert) {
    return ::GetSystemMenu(window, revert);
}

BOOL Win32UiPort::AppendMenuA(HMENU menu, UINT flags, std::uintptr_t idNewItem, const char* text) {
    return ::AppendMenuA(menu, flags, idNewItem, text);
}

HICON Win32UiPort::LoadIconA(int resourceId) {
    return ::LoadIconA(ThisModule(), MAKEINTRESOURCEA(resourceId));
}

HCURSOR Win32UiPort::LoadCursorA(int systemCursorId) {
    return ::LoadCursorA(nullptr, MAKEINTRESOURCEA(systemCursorId));
}

HCURSOR Win32UiPort::SetCursor(HCURSOR cursor) {
    return ::SetCursor(cursor);
}

BOOL Win32UiPort::IsIconic(HWND window) {
    return ::IsIconic(window);
}

HDC Win32UiPort::BeginPaint(HWND window) {
    PAINTSTRUCT& paint = m_paints[window];
    paint = PAINTSTRUCT{};
    return ::BeginPaint(window, &paint);
}

BOOL Win32UiPort::EndPaint(HWND window) {
    auto paint = m_paints.find(window);
    if (paint == m_paints.end()) return FALSE;
    BOOL ended = ::EndPaint(window, &paint->second);
    m_paints.erase(paint);
    return ended;
}

int Win32UiPort::GetSystemMetrics(int index) {
    return ::GetSystemMetrics(index);
}

BOOL Win32UiPort::GetClientRect(HWND window, RECT* rect) {
    return ::GetClientRect(window, rect);
}

BOOL Win32UiPort::DrawIcon(HDC dc, int x, int y, HICON icon) {
    return ::DrawIcon(dc, x, y, icon);
}

}  // namespace veldra::win32
