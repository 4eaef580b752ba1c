// The rest of a simulated window: system menu, icon, cursor and the painting
// of a minimised dialog.
#include "res/resource.h"
#include "sim/desktop/desktop.h"

namespace veldra::sim {

HMENU Desktop::GetSystemMenu(HWND hwnd, BOOL revert) {
    Window* window = FindWindow(hwnd);
    if (window == nullptr || revert) return NULL_HMENU;
    if (!(window->dialogTemplate->style & WS_SYSMENU) || !m_config.systemMenu) return NULL_HMENU;
    return static_cast<HMENU>(static_cast<std::uintptr_t>(hwnd));
}

BOOL Desktop::AppendMenuA(HMENU menu, UINT flags, std::uintptr_t idNewItem, const char* text) {
    Window* window = FindWindow(static_cast<HWND>(static_cast<std::uintptr_t>(menu)));
    if (window == nullptr) {
        m_kernel.SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (flags == MF_SEPARATOR) {
        window->systemMenu.push_back(MenuItem{flags, 0, ""});
        m_transcript.Add("system menu: add separator");
    } else if (flags == MF_STRING) {
        window->systemMenu.push_back(MenuItem{flags, idNewItem, text});
        m_transcript.Add("system menu: add " + Transcript::Quote(text) + " (" +
                         std::to_string(idNewItem) + ")");
    } else {
        throw NotImplementedError("AppendMenuA flags " + std::to_string(flags));
    }
    return TRUE;
}

HICON Desktop::LoadIconA(int resourceId) {
    return resourceId == IDR_MAINFRAME ? static_cast<HICON>(IDR_MAINFRAME) : NULL_HICON;
}

HCURSOR Desktop::LoadCursorA(int systemCursorId) {
    if (systemCursorId != SYSTEM_CURSOR_ARROW && systemCursorId != SYSTEM_CURSOR_WAIT) {
        throw NotImplementedError("LoadCursorA " + std::to_string(systemCursorId));
    }
    return static_cast<HCURSOR>(systemCursorId);
}

HCURSOR Desktop::SetCursor(HCURSOR cursor) {
    HCURSOR previous = m_hCursor;
    if (cursor != m_hCursor) {
        m_hCursor = cursor;
        m_transcript.Add(cursor == static_cast<HCURSOR>(SYSTEM_CURSOR_WAIT) ? "cursor: wait"
                                                                            : "cursor: arrow");
    }
    return previous;
}

BOOL Desktop::IsIconic(HWND hwnd) {
    Window* window = FindWindow(hwnd);
    return window && window->iconic ? TRUE : FALSE;
}

HDC Desktop::BeginPaint(HWND hwnd) {
    Window* window = FindWindow(hwnd);
    if (window) window->painting = true;
    return static_cast<HDC>(static_cast<std::uintptr_t>(hwnd));
}

BOOL Desktop::EndPaint(HWND hwnd) {
    Window* window = FindWindow(hwnd);
    if (!window) return FALSE;
    window->painting = false;
    return TRUE;
}

int Desktop::GetSystemMetrics(int index) {
    constexpr int kIconSize = 32;
    if (index == SM_CXICON || index == SM_CYICON) return kIconSize;
    throw NotImplementedError("GetSystemMetrics " + std::to_string(index));
}

// Dialog units of the template's 9-point font: 6 by 12 pixels per 4 by 8 units.
BOOL Desktop::GetClientRect(HWND hwnd, RECT* rect) {
    Window* window = FindWindow(hwnd);
    if (window == nullptr) return FALSE;
    *rect = RECT{0, 0, window->dialogTemplate->cx * 6 / 4, window->dialogTemplate->cy * 12 / 8};
    return TRUE;
}

BOOL Desktop::DrawIcon(HDC dc, int x, int y, HICON icon) {
    (void)dc;
    m_transcript.Add("icon " + std::to_string(static_cast<std::uintptr_t>(icon)) + " drawn at " +
                     std::to_string(x) + "," + std::to_string(y));
    return TRUE;
}

}  // namespace veldra::sim
