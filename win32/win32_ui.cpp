// UiPort on user32 and this module's resources. Texts go to the W functions
// and messages in code page 932, and come back in it (win32/code_page.h): the
// dialogs are Unicode windows, and the string table is read as the UTF-16 the
// resource holds.
#include <vector>

#include "win32/code_page.h"
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

std::wstring WindowText(HWND window) {
    int length = ::GetWindowTextLengthW(window);
    if (length <= 0) return std::wstring();
    std::vector<wchar_t> text(static_cast<std::size_t>(length) + 1);
    int got = ::GetWindowTextW(window, text.data(), length + 1);
    return std::wstring(text.data(), static_cast<std::size_t>(got > 0 ? got : 0));
}

// The text of line index of a combo box in code page 932; false when the box
// has no such line (CB_ERR).
bool ComboLine(HWND combo, WPARAM index, std::string* text) {
    LRESULT length = ::SendMessageW(combo, CB_GETLBTEXTLEN, index, 0);
    if (length == CB_ERR) return false;
    std::vector<wchar_t> wide(static_cast<std::size_t>(length) + 1);
    LRESULT got = ::SendMessageW(combo, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(wide.data()));
    if (got == CB_ERR) return false;
    *text = Narrow(std::wstring_view(wide.data(), static_cast<std::size_t>(got)));
    return true;
}

// The messages whose lParam is a text, as the A form of SendMessage takes and
// fills them. Every other message carries no text and goes as it is.
LRESULT SendWithText(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_SETTEXT:
        case CB_ADDSTRING:
        case CB_INSERTSTRING:
        case CB_FINDSTRING:
        case CB_FINDSTRINGEXACT:
        case CB_SELECTSTRING: {
            WideArg text(reinterpret_cast<const char*>(lParam));
            return ::SendMessageW(window, message, wParam, reinterpret_cast<LPARAM>(text.get()));
        }
        case WM_GETTEXT:
            return CopyCut(Narrow(WindowText(window)), reinterpret_cast<char*>(lParam),
                           static_cast<int>(wParam));
        case WM_GETTEXTLENGTH:
            return static_cast<LRESULT>(Narrow(WindowText(window)).size());
        case CB_GETLBTEXT:
        case CB_GETLBTEXTLEN: {
            std::string line;
            if (!ComboLine(window, wParam, &line)) return CB_ERR;
            if (message == CB_GETLBTEXT) {
                char* buffer = reinterpret_cast<char*>(lParam);
                line.copy(buffer, line.size());
                buffer[line.size()] = '\0';
            }
            return static_cast<LRESULT>(line.size());
        }
        default:
            return ::SendMessageW(window, message, wParam, lParam);
    }
}

}  // namespace

int Win32UiPort::LoadStringA(UINT id, char* buffer, int size) {
    if (!Converts932()) return ::LoadStringA(ThisModule(), id, buffer, size);
    return CopyCut(Narrow(ResourceString(id)), buffer, size);
}

INT_PTR Win32UiPort::DialogBoxParamA(int templateId, HWND parent, DialogProcedure& procedure) {
    if (!Converts932()) {
        return ::DialogBoxParamA(ThisModule(), MAKEINTRESOURCEA(templateId), parent,
                                 ForwardingDialogProc, reinterpret_cast<LPARAM>(&procedure));
    }
    return ::DialogBoxParamW(ThisModule(), MAKEINTRESOURCEW(templateId), parent,
                             ForwardingDialogProc, reinterpret_cast<LPARAM>(&procedure));
}

BOOL Win32UiPort::EndDialog(HWND dialog, INT_PTR result) {
    return ::EndDialog(dialog, result);
}

HWND Win32UiPort::GetDlgItem(HWND dialog, int controlId) {
    return ::GetDlgItem(dialog, controlId);
}

LRESULT Win32UiPort::SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (!Converts932()) return ::SendMessageA(window, message, wParam, lParam);
    return SendWithText(window, message, wParam, lParam);
}

BOOL Win32UiPort::PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (!Converts932()) return ::PostMessageA(window, message, wParam, lParam);
    return ::PostMessageW(window, message, wParam, lParam);
}

BOOL Win32UiPort::SetWindowTextA(HWND window, const char* text) {
    if (!Converts932()) return ::SetWindowTextA(window, text);
    return ::SetWindowTextW(window, WideArg(text).get());
}

int Win32UiPort::GetWindowTextA(HWND window, char* buffer, int size) {
    if (!Converts932()) return ::GetWindowTextA(window, buffer, size);
    return CopyCut(Narrow(WindowText(window)), buffer, size);
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
    if (!Converts932()) return ::MessageBoxA(owner, text, caption, type);
    return ::MessageBoxW(owner, WideArg(text).get(), WideArg(caption).get(), type);
}

// The names asked for are ASCII: the same message in either form.
UINT Win32UiPort::RegisterWindowMessageA(const char* name) {
    if (!Converts932()) return ::RegisterWindowMessageA(name);
    return ::RegisterWindowMessageW(WideArg(name).get());
}

// A Unicode dialog is set through the W function; on 32-bit Windows both are
// the SDK's macros for SetWindowLongA and SetWindowLongW.
INT_PTR Win32UiPort::SetWindowLongPtrA(HWND window, int index, INT_PTR value) {
    if (!Converts932()) return ::SetWindowLongPtrA(window, index, value);
    return ::SetWindowLongPtrW(window, index, value);
}

// The messages taken out are keys and clicks to be dropped: none of their
// text is read.
BOOL Win32UiPort::PeekMessageA(MSG* message, HWND window, UINT filterMin, UINT filterMax,
                               UINT remove) {
    if (!Converts932()) return ::PeekMessageA(message, window, filterMin, filterMax, remove);
    return ::PeekMessageW(message, window, filterMin, filterMax, remove);
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

// A separator, a bitmap or an owner-drawn item carries no text.
BOOL Win32UiPort::AppendMenuA(HMENU menu, UINT flags, std::uintptr_t idNewItem, const char* text) {
    if (!Converts932()) return ::AppendMenuA(menu, flags, idNewItem, text);
    constexpr UINT kNoText = MF_SEPARATOR | MF_BITMAP | MF_OWNERDRAW;
    if ((flags & kNoText) != 0 || text == nullptr) {
        return ::AppendMenuW(menu, flags, idNewItem, reinterpret_cast<const wchar_t*>(text));
    }
    return ::AppendMenuW(menu, flags, idNewItem, Wide(text).c_str());
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
