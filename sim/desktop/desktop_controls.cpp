// The controls of the simulated dialogs: combo boxes, the progress bar, texts
// and enabled states. Changes the operator can see go to the transcript.
#include <algorithm>
#include <cstring>

#include "sim/desktop/desktop.h"

namespace veldra::sim {

LRESULT Desktop::SendMessageA(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (Window* window = FindWindow(hwnd)) {
        if (message == WM_SETICON || message == WM_ICONERASEBKGND) return 0;
        return window->procedure->DialogProc(hwnd, message, wParam, lParam);
    }
    Window* owner = nullptr;
    Control* control = FindControl(hwnd, &owner);
    if (control == nullptr) throw NotImplementedError("SendMessageA to an unknown window");
    if (message == WM_SETTEXT) return SetWindowTextA(hwnd, reinterpret_cast<const char*>(lParam));
    if (control->kind == ControlClass::ComboBox)
        return ComboMessage(*control, message, wParam, lParam);
    if (control->kind == ControlClass::Progress)
        return ProgressMessage(*owner, *control, message, wParam, lParam);
    throw NotImplementedError("message " + std::to_string(message) + " to control " +
                              std::to_string(control->id));
}

LRESULT Desktop::ComboMessage(Control& control, UINT message, WPARAM wParam, LPARAM lParam) {
    auto count = static_cast<LRESULT>(control.items.size());
    auto index = static_cast<LRESULT>(static_cast<std::intptr_t>(wParam));
    switch (message) {
        case CB_ADDSTRING: {
            const char* text = reinterpret_cast<const char*>(lParam);
            control.items.push_back(text);
            ShowChange(control, "add " + Transcript::Quote(text));
            return count;
        }
        case CB_RESETCONTENT:
            control.items.clear();
            control.selection = -1;
            ShowChange(control, "clear");
            return 0;
        case CB_GETCOUNT:
            return count;
        case CB_GETCURSEL:
            return control.selection;
        case CB_SETCURSEL: {
            int before = control.selection;
            control.selection = (index >= 0 && index < count) ? static_cast<int>(index) : -1;
            if (control.selection != before) {
                ShowChange(control, control.selection < 0
                                        ? std::string("no selection")
                                        : "select " + std::to_string(control.selection + 1) + " " +
                                              Transcript::Quote(control.items[control.selection]));
            }
            return control.selection < 0 ? CB_ERR : control.selection;
        }
        case CB_GETLBTEXTLEN:
            return (index >= 0 && index < count)
                       ? static_cast<LRESULT>(control.items[static_cast<std::size_t>(index)].size())
                       : CB_ERR;
        case CB_GETLBTEXT: {
            if (index < 0 || index >= count) return CB_ERR;
            const std::string& item = control.items[static_cast<std::size_t>(index)];
            std::memcpy(reinterpret_cast<char*>(lParam), item.c_str(), item.size() + 1);
            return static_cast<LRESULT>(item.size());
        }
        default:
            throw NotImplementedError("combo box message " + std::to_string(message));
    }
}

// Where the bar paints itself at once, each change shows as it comes;
// otherwise the next painting shows where the bar then stands.
LRESULT Desktop::ProgressMessage(Window& window, Control& control, UINT message, WPARAM wParam,
                                 LPARAM lParam) {
    bool atOnce = PaintsAtOnce(window);
    if (atOnce) PaintControl(control);  // what waited behind a ghost comes first
    struct Shown {
        Control& bar;
        bool atOnce;
        ~Shown() {
            if (!atOnce) return;
            bar.shownLow = bar.rangeLow;
            bar.shownHigh = bar.rangeHigh;
            bar.shownPosition = bar.drawnPosition;
        }
    } shown{control, atOnce};
    auto show = [&](const std::string& what) {
        if (atOnce) ShowChange(control, what);
    };
    // Common Controls 6 on Vista and later: a higher position is reached
    // through the animation's timer messages, a lower one drawn at once.
    auto showPosition = [&](int before) {
        if (!m_bAnimatedBars || !window.shown || control.position < before)
            control.drawnPosition = control.position;
        control.drawnPosition =
            std::clamp(control.drawnPosition, control.rangeLow, control.rangeHigh);
        if (control.position != before) {
            show(std::to_string(control.position) + "/" + std::to_string(control.rangeHigh));
        }
    };
    int before = control.position;
    switch (message) {
        case PBM_SETRANGE: {
            LRESULT previous = MAKELPARAM(static_cast<WORD>(control.rangeLow),
                                          static_cast<WORD>(control.rangeHigh));
            control.rangeLow = LOWORD(static_cast<std::uintptr_t>(lParam));
            control.rangeHigh = HIWORD(static_cast<std::uintptr_t>(lParam));
            show("range " + std::to_string(control.rangeLow) + ".." +
                 std::to_string(control.rangeHigh));
            control.position = std::clamp(control.position, control.rangeLow, control.rangeHigh);
            showPosition(before);
            return previous;
        }
        case PBM_SETPOS:
            control.position =
                std::clamp(static_cast<int>(wParam), control.rangeLow, control.rangeHigh);
            showPosition(before);
            return before;
        case PBM_DELTAPOS:
            control.position = std::clamp(control.position + static_cast<int>(wParam),
                                          control.rangeLow, control.rangeHigh);
            showPosition(before);
            return before;
        case PBM_SETSTEP: {
            int previous = control.step;
            control.step = static_cast<int>(wParam);
            show("step " + std::to_string(control.step));
            return previous;
        }
        case PBM_STEPIT:
            // Past the maximum the bar starts over from the minimum.
            control.position += control.step;
            if (control.position > control.rangeHigh) {
                control.position = control.rangeLow + (control.position - control.rangeHigh);
            }
            showPosition(before);
            return before;
        case PBM_GETPOS:
            return control.position;
        default:
            throw NotImplementedError("progress bar message " + std::to_string(message));
    }
}

BOOL Desktop::PostMessageA(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    Window* window = FindWindow(hwnd);
    if (window == nullptr) {
        m_kernel.SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    window->posted.emplace_back(message, wParam, lParam);
    return TRUE;
}

BOOL Desktop::SetWindowTextA(HWND hwnd, const char* text) {
    Window* owner = nullptr;
    Control* control = FindControl(hwnd, &owner);
    if (control == nullptr)
        throw NotImplementedError("SetWindowTextA on a window that is no control");
    control->text = text;
    if (PaintsAtOnce(*owner)) PaintControl(*control);
    return TRUE;
}

int Desktop::GetWindowTextA(HWND hwnd, char* buffer, int size) {
    Control* control = FindControl(hwnd);
    if (control == nullptr || size <= 0) return 0;
    int length = std::min(static_cast<int>(control->text.size()), size - 1);
    std::memcpy(buffer, control->text.data(), static_cast<std::size_t>(length));
    buffer[length] = '\0';
    return length;
}

BOOL Desktop::EnableWindow(HWND hwnd, BOOL enable) {
    Control* control = FindControl(hwnd);
    if (control == nullptr)
        throw NotImplementedError("EnableWindow on a window that is no control");
    bool wasDisabled = !control->enabled;
    if (control->enabled != (enable != FALSE)) {
        control->enabled = enable != FALSE;
        ShowChange(*control, control->enabled ? "enabled" : "disabled");
    }
    return wasDisabled ? TRUE : FALSE;
}

BOOL Desktop::IsWindowEnabled(HWND hwnd) {
    Control* control = FindControl(hwnd);
    return control && control->enabled ? TRUE : FALSE;
}

// Paints what has changed, at once: the dialog with its controls, or the one
// control. Behind a ghost nothing new reaches the screen.
BOOL Desktop::UpdateWindow(HWND hwnd) {
    Window* owner = FindWindow(hwnd);
    Control* control = owner ? nullptr : FindControl(hwnd, &owner);
    if (owner == nullptr) return FALSE;
    if (!owner->shown || owner->ghosted) return TRUE;
    if (control) {
        PaintControl(*control);
    } else {
        for (Control& each : owner->controls) PaintControl(each);
    }
    return TRUE;
}

}  // namespace veldra::sim
