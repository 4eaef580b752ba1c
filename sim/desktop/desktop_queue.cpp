// The thread's message queue: painting, clicks and keys made while a handler
// runs, PeekMessageA, and the ghost that stands in for a window whose thread
// takes no messages.
#include "sim/desktop/desktop.h"

namespace veldra::sim {
namespace {

// The system's word for a window that does not respond, after its caption.
constexpr char kNotResponding[] = " (応答なし)";
// How long a thread may go without taking messages (IsHungAppWindow's 5 s).
constexpr std::uint64_t kHungAfterMs = 5000;

}  // namespace

// A control paints itself as it changes on Windows XP; from Vista on, and
// behind a ghost, the change waits for the window's next painting. Before the
// dialog is first shown, its changes are the state it appears in.
bool Desktop::PaintsAtOnce(const Window& window) const {
    return !window.shown || (!m_bPaintOnRequest && !window.ghosted);
}

void Desktop::PaintControl(Control& control) {
    if (control.text != control.shownText) {
        control.shownText = control.text;
        ShowChange(control, Transcript::Quote(control.text));
    }
    if (control.kind != ControlClass::Progress) return;
    if (control.rangeLow != control.shownLow || control.rangeHigh != control.shownHigh) {
        control.shownLow = control.rangeLow;
        control.shownHigh = control.rangeHigh;
        ShowChange(control, "range " + std::to_string(control.rangeLow) + ".." +
                                std::to_string(control.rangeHigh));
    }
    if (control.drawnPosition != control.shownPosition) {
        control.shownPosition = control.drawnPosition;
        ShowChange(control,
                   std::to_string(control.drawnPosition) + "/" + std::to_string(control.rangeHigh));
    }
}

// A loop that dispatches (the dialog's, a message box's) delivers the themed
// bars' timer messages: each reaches the position it was given. PeekMessageA
// dispatches nothing, and a handler that takes no messages delivers none.
void Desktop::RunBarAnimations() {
    for (auto& window : m_windows) {
        for (Control& control : window->controls) {
            if (control.kind == ControlClass::Progress) control.drawnPosition = control.position;
        }
    }
}

// WM_PAINT for every window of the thread that is on the screen.
void Desktop::PaintWindows() {
    for (auto& window : m_windows) {
        if (!window->shown || window->ghosted) continue;
        for (Control& control : window->controls) PaintControl(control);
    }
}

// The thread takes messages (a dialog's or a message box's loop, or
// PeekMessageA): it responds, and any ghost gives way to its window.
void Desktop::TookMessages() {
    m_nTookMessagesMs = m_kernel.SleptMilliseconds();
    DeliverSentMessages();
    for (auto& window : m_windows) {
        if (!window->ghosted) continue;
        window->ghosted = false;
        m_transcript.Add("dialog " + Transcript::QuoteUtf8(window->caption) + " responding again");
    }
}

void Desktop::WatchClock(std::uint64_t nowMs) {
    if (!m_bGhosting || nowMs - m_nTookMessagesMs <= kHungAfterMs) return;
    for (auto& window : m_windows) {
        if (!window->shown || window->ghosted) continue;
        window->ghosted = true;
        m_transcript.Add("dialog " + Transcript::QuoteUtf8(window->caption) +
                         " not responding: the system shows " +
                         Transcript::QuoteUtf8(window->caption + kNotResponding));
    }
}

void Desktop::DisableProcessWindowsGhosting() {
    m_bGhosting = false;
}

BOOL Desktop::PeekMessageA(MSG* message, HWND hwnd, UINT filterMin, UINT filterMax, UINT remove) {
    if (remove & ~(PM_REMOVE | PM_NOYIELD))
        throw NotImplementedError("PeekMessageA flags " + std::to_string(remove));
    bool anyNumber = filterMin == 0 && filterMax == 0;
    if (anyNumber || (filterMin <= WM_PAINT && WM_PAINT <= filterMax))
        throw NotImplementedError(
            "PeekMessageA over WM_PAINT: painting through the program's loop");
    TookMessages();
    auto wanted = [&](HWND target, UINT number) {
        if (number < filterMin || number > filterMax) return false;
        if (hwnd == NULL_HWND || hwnd == target) return true;
        Window* owner = nullptr;
        return FindControl(target, &owner) && owner->hwnd == hwnd;
    };
    auto fill = [&](HWND target, UINT number, WPARAM wParam, LPARAM lParam) {
        *message = MSG{};
        message->hwnd = target;
        message->message = number;
        message->wParam = wParam;
        message->lParam = lParam;
        message->time = static_cast<DWORD>(m_kernel.SleptMilliseconds());
    };
    for (auto& window : m_windows) {
        for (auto it = window->posted.begin(); it != window->posted.end(); ++it) {
            auto [number, wParam, lParam] = *it;
            if (!wanted(window->hwnd, number)) continue;
            fill(window->hwnd, number, wParam, lParam);
            if (remove & PM_REMOVE) window->posted.erase(it);
            return TRUE;
        }
    }
    for (auto it = m_input.begin(); it != m_input.end(); ++it) {
        if (!wanted(it->target, it->message)) continue;
        fill(it->target, it->message, it->wParam, 0);
        if (remove & PM_REMOVE) m_input.erase(it);
        return TRUE;
    }
    return FALSE;
}

}  // namespace veldra::sim
