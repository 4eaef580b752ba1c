// Modal dialogs: built from their templates, run until EndDialog, with the
// default handling Windows gives what the dialog procedure leaves alone.
#include "sim/desktop/desktop.h"

#include <algorithm>
#include <cstring>

#include "host/cp932.h"
#include "host/text.h"
#include "res/message_text.h"
#include "res/resource.h"  // the string table's ids

namespace veldra::sim {
namespace {

// The transcript's name for a control whose changes the operator watches;
// empty for the others.
std::string LabelOf(int dialogId, int controlId) {
    const OperatorDialog* dialog = FindOperatorDialog(dialogId);
    if (dialog == nullptr) return std::string();
    for (const OperatorTarget& target : dialog->targets) {
        if (target.watched && target.kind != OperatorVerbKind::SystemCommand &&
            target.id == controlId) {
            return target.name;
        }
    }
    return std::string();
}

std::string ToCp932OrThrow(const char* utf8) {
    auto text = host::Utf8ToCp932(utf8);
    if (!text)
        throw NotImplementedError(std::string("resource text without a code page 932 form: ") +
                                  utf8);
    return *text;
}

}  // namespace

Desktop::Desktop(Kernel& kernel, OperatorScript script, Transcript& transcript)
    : m_kernel(kernel),
      m_config(kernel.Config()),
      m_script(std::move(script)),
      m_transcript(transcript),
      m_bPaintOnRequest(kernel.Config().majorVersion >= 6),
      m_bAnimatedBars(kernel.Config().majorVersion >= 6) {
    m_kernel.WatchClock([this](std::uint64_t nowMs) { WatchClock(nowMs); });
}

Desktop::~Desktop() {
    m_kernel.WatchClock(nullptr);
}

int Desktop::LoadStringA(UINT id, char* buffer, int size) {
    std::string utf8;
    auto over = m_config.stringOverrides.find(id);
    if (over != m_config.stringOverrides.end()) {
        utf8 = over->second;
    } else {
        utf8 = StringTableSource(id);
    }
    if (size <= 0) return 0;
    std::string text = ToCp932OrThrow(utf8.c_str());
    int length = std::min(static_cast<int>(text.size()), size - 1);
    std::memcpy(buffer, text.data(), static_cast<std::size_t>(length));
    buffer[length] = '\0';
    return length;
}

Desktop::Window* Desktop::FindWindow(HWND hwnd) {
    for (auto& window : m_windows) {
        if (window->hwnd == hwnd) return window.get();
    }
    return nullptr;
}

Desktop::Control* Desktop::FindControl(HWND hwnd, Window** owner) {
    for (auto& window : m_windows) {
        for (Control& control : window->controls) {
            if (control.hwnd == hwnd) {
                if (owner) *owner = window.get();
                return &control;
            }
        }
    }
    return nullptr;
}

void Desktop::ShowChange(const Control& control, const std::string& what) {
    if (!control.label.empty()) m_transcript.Add(control.label + ": " + what);
}

INT_PTR Desktop::DialogBoxParamA(int templateId, HWND parent, DialogProcedure& procedure) {
    (void)parent;
    const DialogTemplate* dialogTemplate = FindDialogTemplate(templateId);
    if (dialogTemplate == nullptr) {
        m_kernel.SetLastError(ERROR_INVALID_PARAMETER);
        return -1;
    }
    auto owned = std::make_unique<Window>();
    Window& window = *owned;
    window.hwnd = static_cast<HWND>(m_nNextWindow += 0x100);
    window.dialogTemplate = dialogTemplate;
    window.procedure = &procedure;
    window.caption = dialogTemplate->caption;
    std::string statics;
    std::uintptr_t next = static_cast<std::uintptr_t>(window.hwnd);
    for (const ControlTemplate& t : dialogTemplate->controls) {
        Control control;
        control.id = t.id;
        control.kind = t.kind;
        control.hwnd = static_cast<HWND>(++next);
        control.label = LabelOf(templateId, t.id);
        control.text = ToCp932OrThrow(t.text);
        control.shownText = control.text;
        control.enabled = !(t.style & WS_DISABLED);
        if (t.kind == ControlClass::Static && *t.text) {
            statics += (statics.empty() ? ": " : ", ") + Transcript::QuoteUtf8(t.text);
        }
        window.controls.push_back(std::move(control));
    }
    m_windows.push_back(std::move(owned));
    std::string name = "dialog " + Transcript::QuoteUtf8(window.caption);
    m_transcript.Add(name + " created");

    // As on Windows, the dialog becomes visible only when its loop first runs
    // out of messages: one that closes itself from its initialisation is
    // never seen. The loop takes posted messages first, then the clicks and
    // keys that wait, then paints.
    Dispatch(window, WM_INITDIALOG, 0, 0);
    while (!window.ended) {
        TookMessages();
        if (!window.posted.empty()) {
            auto [message, wParam, lParam] = window.posted.front();
            window.posted.pop_front();
            Dispatch(window, message, wParam, lParam);
            continue;
        }
        if (DeliverQueuedInput(window)) continue;
        RunBarAnimations();
        PaintWindows();
        if (!window.shown) {
            window.shown = true;
            m_transcript.Add(name + " shown" + statics);
        }
        PerformOperatorAction(window);
    }
    window.procedure->DialogProc(window.hwnd, WM_DESTROY, 0, 0);
    INT_PTR result = window.result;
    m_transcript.Add(name + (window.shown ? " closes (" : " closes unseen (") +
                     std::to_string(result) + ")");
    // What still waits for the window goes with it.
    std::erase_if(m_input, [&](const QueuedInput& input) { return input.dialog == window.hwnd; });
    m_windows.pop_back();
    return result;
}

void Desktop::BroadcastDeviceChange(WPARAM event, LPARAM data) {
    std::vector<HWND> windows;
    for (const auto& window : m_windows) windows.push_back(window->hwnd);
    for (HWND hwnd : windows) {
        if (Window* window = FindWindow(hwnd)) Dispatch(*window, WM_DEVICECHANGE, event, data);
    }
}

void Desktop::BroadcastVolumeChange(WPARAM event, char letter) {
    DEV_BROADCAST_VOLUME volume{};
    volume.dbcv_size = sizeof volume;
    volume.dbcv_devicetype = DBT_DEVTYP_VOLUME;
    volume.dbcv_unitmask = DWORD{1} << (letter - 'A');
    BroadcastDeviceChange(event, reinterpret_cast<LPARAM>(&volume));
}

// DEV_BROADCAST_PORT_A: the header, then the port's name, NUL-terminated.
void Desktop::BroadcastPortChange(WPARAM event, const std::string& name) {
    std::vector<BYTE> port(sizeof(DEV_BROADCAST_HDR) + name.size() + 1, 0);
    DEV_BROADCAST_HDR header{};
    header.dbch_size = static_cast<DWORD>(port.size());
    header.dbch_devicetype = DBT_DEVTYP_PORT;
    std::memcpy(port.data(), &header, sizeof header);
    std::memcpy(port.data() + sizeof header, name.data(), name.size());
    BroadcastDeviceChange(event, reinterpret_cast<LPARAM>(port.data()));
}

void Desktop::BroadcastDevnodesChanged() {
    BroadcastDeviceChange(DBT_DEVNODES_CHANGED, 0);
}

// As the system's atom table: one number from 0xC000 on for each name, the
// same for every caller, names compared without regard to case.
UINT Desktop::RegisterWindowMessageA(const char* name) {
    if (name == nullptr || *name == '\0') {
        m_kernel.SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::string key = host::UpperAscii(name);
    auto found = m_registeredMessages.find(key);
    if (found != m_registeredMessages.end()) return found->second;
    UINT number = 0xC000u + static_cast<UINT>(m_registeredMessages.size());
    m_registeredMessages.emplace(key, number);
    return number;
}

INT_PTR Desktop::SetWindowLongPtrA(HWND hwnd, int index, INT_PTR value) {
    Window* window = FindWindow(hwnd);
    if (window == nullptr) {
        m_kernel.SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    if (index != DWLP_MSGRESULT)
        throw NotImplementedError("SetWindowLongPtrA index " + std::to_string(index));
    INT_PTR previous = window->msgResult;
    window->msgResult = value;
    return previous;
}

void Desktop::SetAutoPlay(std::function<std::vector<char>()> arrivals,
                          std::function<void(char)> prompt) {
    m_autoPlayArrivals = std::move(arrivals);
    m_autoPlayPrompt = std::move(prompt);
}

// The shell's query reaches the foreground window, the innermost dialog.
void Desktop::DeliverSentMessages() {
    if (!m_autoPlayArrivals || m_bSending || m_windows.empty()) return;
    m_bSending = true;
    for (char letter : m_autoPlayArrivals()) {
        Window& foreground = *m_windows.back();
        foreground.msgResult = 0;
        UINT query = RegisterWindowMessageA("QueryCancelAutoPlay");
        bool handled = foreground.procedure->DialogProc(foreground.hwnd, query, 0, 0) != FALSE;
        if (!(handled && foreground.msgResult == TRUE)) m_autoPlayPrompt(letter);
    }
    m_bSending = false;
}

void Desktop::Dispatch(Window& window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (!window.procedure->DialogProc(window.hwnd, message, wParam, lParam)) {
        DefaultDialogHandling(window, message, wParam, lParam);
    }
    // BeginPaint hands out the window's display context; one not given back
    // with EndPaint is lost to the system, and the caret stays hidden.
    if (window.painting) {
        window.painting = false;
        throw NotImplementedError("WM_PAINT ended without EndPaint: the display context is lost");
    }
}

void Desktop::DefaultDialogHandling(Window& window, UINT message, WPARAM wParam, LPARAM lParam) {
    (void)lParam;
    switch (message) {
        case WM_CLOSE: {
            HWND cancel = GetDlgItem(window.hwnd, IDCANCEL);
            Dispatch(window, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                     static_cast<LPARAM>(cancel));
            break;
        }
        case WM_SYSCOMMAND:
            switch (static_cast<UINT>(wParam) & 0xFFF0u) {
                case SC_CLOSE:
                    Dispatch(window, WM_CLOSE, 0, 0);
                    break;
                case SC_MINIMIZE:
                    window.iconic = true;
                    m_transcript.Add("window minimized");
                    Dispatch(window, WM_PAINT, 0, 0);
                    break;
                case SC_RESTORE:
                    window.iconic = false;
                    m_transcript.Add("window restored");
                    Dispatch(window, WM_PAINT, 0, 0);
                    break;
                default:
                    break;
            }
            break;
        default:
            break;
    }
}

BOOL Desktop::EndDialog(HWND dialog, INT_PTR result) {
    Window* window = FindWindow(dialog);
    if (window == nullptr) {
        m_kernel.SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    window->ended = true;
    window->result = result;
    return TRUE;
}

HWND Desktop::GetDlgItem(HWND dialog, int controlId) {
    Window* window = FindWindow(dialog);
    if (window) {
        for (const Control& control : window->controls) {
            if (control.id == controlId) return control.hwnd;
        }
    }
    m_kernel.SetLastError(ERROR_INVALID_PARAMETER);
    return NULL_HWND;
}

}  // namespace veldra::sim
