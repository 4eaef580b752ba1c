// The user interface of the simulated machine: dialogs built from the
// templates, their controls, message boxes and the system menu. Between
// messages the operator script stands in for the person at the machine;
// whatever the screen shows goes to the transcript.
#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

#include "platform/host/cp932.h"
#include "platform/sim/sim_machine.h"
#include "res/resource.h"

namespace veldra::sim {
namespace {

struct ControlLabel {
    int dialogId;
    int controlId;
    const char* label;
};

// The controls whose changes the operator sees, by the names the transcript uses.
constexpr ControlLabel kLabels[] = {
    {IDD_TAVEXFD_DIALOG, IDC_CMB_PROGRAM, "program box"},
    {IDD_TAVEXFD_DIALOG, IDC_CMB_DRIVE, "drive box"},
    {IDD_TAVEXFD_DIALOG, IDC_EDT_MEDIAKIND, "media kind"},
    {IDD_TAVEXFD_DIALOG, IDC_BTN_CREATE, "create button"},
    {IDD_TAVEXFD_DIALOG, IDC_STC_STATUS, "status"},
    {IDD_TAVEXFD_DIALOG, IDC_PRG_PROGRESS, "progress"},
};

std::string LabelOf(int dialogId, int controlId) {
    for (const ControlLabel& l : kLabels) {
        if (l.dialogId == dialogId && l.controlId == controlId) return l.label;
    }
    return std::string();
}

std::string IconName(UINT type) {
    switch (type & MB_ICONMASK) {
        case MB_ICONHAND:
            return "stop";
        case MB_ICONQUESTION:
            return "question";
        case MB_ICONEXCLAMATION:
            return "exclamation";
        case MB_ICONINFORMATION:
            return "information";
        default:
            return "no icon";
    }
}

std::string ButtonsName(UINT type) {
    switch (type & MB_TYPEMASK) {
        case MB_OK:
            return "OK";
        case MB_OKCANCEL:
            return "OK/Cancel";
        case MB_YESNO:
            return "Yes/No";
        default:
            throw NotImplementedError("message box buttons " + std::to_string(type & MB_TYPEMASK));
    }
}

// The answer an action gives to a box with these buttons, or 0 when it is none.
int AnswerFor(ActionKind kind, UINT type) {
    switch (type & MB_TYPEMASK) {
        case MB_OK:
            return kind == ActionKind::Ok ? IDOK : 0;
        case MB_OKCANCEL:
            return kind == ActionKind::Ok ? IDOK : kind == ActionKind::Cancel ? IDCANCEL : 0;
        case MB_YESNO:
            return kind == ActionKind::Yes ? IDYES : kind == ActionKind::No ? IDNO : 0;
        default:
            return 0;
    }
}

const char* AnswerName(int answer) {
    switch (answer) {
        case IDOK:
            return "OK";
        case IDCANCEL:
            return "Cancel";
        case IDYES:
            return "Yes";
        case IDNO:
            return "No";
        default:
            return "?";
    }
}

std::string ToCp932OrThrow(const char* utf8) {
    auto text = host::Utf8ToCp932(utf8);
    if (!text)
        throw NotImplementedError(std::string("resource text without a code page 932 form: ") +
                                  utf8);
    return *text;
}

}  // namespace

int SimMachine::LoadStringA(UINT id, char* buffer, int size) {
    std::string utf8;
    auto over = m_config.stringOverrides.find(id);
    if (over != m_config.stringOverrides.end()) {
        utf8 = over->second;
    } else {
        switch (id) {
#define VELDRA_STRING(name, text) \
    case name:                    \
        utf8 = text;              \
        break;
#include "res/string_table.inc"
#undef VELDRA_STRING
            default:
                break;
        }
    }
    if (size <= 0) return 0;
    std::string text = ToCp932OrThrow(utf8.c_str());
    int length = std::min(static_cast<int>(text.size()), size - 1);
    std::memcpy(buffer, text.data(), static_cast<std::size_t>(length));
    buffer[length] = '\0';
    return length;
}

SimMachine::Window* SimMachine::FindWindow(HWND hwnd) {
    for (auto& window : m_windows) {
        if (window->hwnd == hwnd) return window.get();
    }
    return nullptr;
}

SimMachine::Control* SimMachine::FindControl(HWND hwnd, Window** owner) {
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

void SimMachine::ShowChange(const Control& control, const std::string& what) {
    if (!control.label.empty()) m_transcript.Add(control.label + ": " + what);
}

INT_PTR SimMachine::DialogBoxParamA(int templateId, HWND parent, DialogProcedure& procedure) {
    (void)parent;
    const DialogTemplate* dialogTemplate = FindDialogTemplate(templateId);
    if (dialogTemplate == nullptr) {
        Fail(ERROR_INVALID_PARAMETER);
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
    // never seen.
    Dispatch(window, WM_INITDIALOG, 0, 0);
    bool shown = false;
    while (!window.ended) {
        if (!window.posted.empty()) {
            auto [message, wParam, lParam] = window.posted.front();
            window.posted.pop_front();
            Dispatch(window, message, wParam, lParam);
            continue;
        }
        if (!shown) {
            shown = true;
            m_transcript.Add(name + " shown" + statics);
        }
        PerformOperatorAction(window);
    }
    window.procedure->DialogProc(window.hwnd, WM_DESTROY, 0, 0);
    INT_PTR result = window.result;
    m_transcript.Add(name + (shown ? " closes (" : " closes unseen (") + std::to_string(result) +
                     ")");
    m_windows.pop_back();
    return result;
}

void SimMachine::Dispatch(Window& window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (!window.procedure->DialogProc(window.hwnd, message, wParam, lParam)) {
        DefaultDialogHandling(window, message, wParam, lParam);
    }
}

void SimMachine::DefaultDialogHandling(Window& window, UINT message, WPARAM wParam, LPARAM lParam) {
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

void SimMachine::PressButton(Window& window, int id, const std::string& name) {
    HWND button = GetDlgItem(window.hwnd, id);
    Control* control = FindControl(button);
    if (control == nullptr) {
        throw ScriptError("the dialog " + window.caption + " has no " + name);
    }
    if (!control->enabled) {
        m_transcript.Add(name + " is disabled; the press does nothing");
        return;
    }
    Dispatch(window, WM_COMMAND, MAKEWPARAM(static_cast<WORD>(id), BN_CLICKED),
             static_cast<LPARAM>(button));
}

void SimMachine::PickLine(Window& window, int id, int line) {
    HWND box = GetDlgItem(window.hwnd, id);
    Control* control = FindControl(box);
    if (control == nullptr) throw ScriptError("the dialog " + window.caption + " has no such box");
    if (line > static_cast<int>(control->items.size())) {
        throw ScriptError("the " + control->label + " has " +
                          std::to_string(control->items.size()) + " lines; line " +
                          std::to_string(line) + " cannot be picked");
    }
    if (!control->enabled) {
        m_transcript.Add(control->label + " is disabled; the pick does nothing");
        return;
    }
    ComboMessage(*control, CB_SETCURSEL, static_cast<WPARAM>(line - 1), 0);
    Dispatch(window, WM_COMMAND, MAKEWPARAM(static_cast<WORD>(id), CBN_SELCHANGE),
             static_cast<LPARAM>(box));
}

void SimMachine::PerformWait(const Action& action) {
    if (action.kind == ActionKind::Wait) {
        std::this_thread::sleep_for(action.duration);
        return;
    }
    auto deadline = std::chrono::steady_clock::now() + action.duration;
    std::error_code ec;
    while (!std::filesystem::exists(action.file, ec)) {
        if (std::chrono::steady_clock::now() > deadline) {
            throw ScriptError("'" + action.text + "': the file did not appear in time");
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

void SimMachine::PerformOperatorAction(Window& window) {
    std::optional<Action> next = m_script.Next();
    if (!next) {
        throw ScriptError("the script ran out while the dialog \"" + window.caption +
                          "\" waits for the operator");
    }
    const Action& action = *next;
    if (action.kind == ActionKind::Wait || action.kind == ActionKind::WaitFor) {
        PerformWait(action);
        return;
    }
    m_transcript.Add("> " + action.text);
    switch (action.kind) {
        case ActionKind::PickProgram:
            return PickLine(window, IDC_CMB_PROGRAM, action.number);
        case ActionKind::PickDrive:
            return PickLine(window, IDC_CMB_DRIVE, action.number);
        case ActionKind::PressCreate:
            return PressButton(window, IDC_BTN_CREATE, "create button");
        case ActionKind::PressHelp:
            return PressButton(window, ID_HELP, "help button");
        case ActionKind::PressExit:
            return PressButton(window, IDCANCEL, "exit button");
        case ActionKind::Ok:
            return PressButton(window, IDOK, "OK button");
        case ActionKind::Enter: {
            int id = IDOK;
            for (const ControlTemplate& t : window.dialogTemplate->controls) {
                if (t.kind == ControlClass::Button && (t.style & 0xF) == BS_DEFPUSHBUTTON)
                    id = t.id;
            }
            Dispatch(window, WM_COMMAND, MAKEWPARAM(static_cast<WORD>(id), BN_CLICKED), 0);
            return;
        }
        case ActionKind::Escape:
            Dispatch(window, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
            return;
        case ActionKind::CloseBox:
            Dispatch(window, WM_SYSCOMMAND, SC_CLOSE, 0);
            return;
        case ActionKind::Minimize:
            Dispatch(window, WM_SYSCOMMAND, SC_MINIMIZE, 0);
            return;
        case ActionKind::Restore:
            Dispatch(window, WM_SYSCOMMAND, SC_RESTORE, 0);
            return;
        case ActionKind::AboutItem:
            for (const MenuItem& item : window.systemMenu) {
                if (item.flags == MF_STRING && item.id == IDM_ABOUTBOX) {
                    Dispatch(window, WM_SYSCOMMAND, IDM_ABOUTBOX, 0);
                    return;
                }
            }
            throw ScriptError("the system menu of \"" + window.caption + "\" has no version item");
        default:
            throw ScriptError("'" + action.text + "' answers a message box, but the dialog \"" +
                              window.caption + "\" shows none");
    }
}

int SimMachine::MessageBoxA(HWND owner, const char* text, const char* caption, UINT type) {
    (void)owner;
    std::string shown = "message box [" + IconName(type) + ", " + ButtonsName(type) + "] " +
                        Transcript::Quote(caption ? caption : "") + ": " + Transcript::Quote(text);
    while (true) {
        std::optional<Action> next = m_script.Next();
        if (!next) {
            m_transcript.Add(shown);
            throw ScriptError("the script ran out while a message box waits for an answer");
        }
        if (next->kind == ActionKind::Wait || next->kind == ActionKind::WaitFor) {
            PerformWait(*next);
            continue;
        }
        int answer = AnswerFor(next->kind, type);
        if (answer == 0) {
            m_transcript.Add(shown);
            throw ScriptError("a message box with " + ButtonsName(type) +
                              " waits for an answer; the script says '" + next->text + "'");
        }
        m_transcript.Add(shown + " -> " + AnswerName(answer));
        return answer;
    }
}

BOOL SimMachine::EndDialog(HWND dialog, INT_PTR result) {
    Window* window = FindWindow(dialog);
    if (window == nullptr) {
        Fail(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    window->ended = true;
    window->result = result;
    return TRUE;
}

HWND SimMachine::GetDlgItem(HWND dialog, int controlId) {
    Window* window = FindWindow(dialog);
    if (window) {
        for (const Control& control : window->controls) {
            if (control.id == controlId) return control.hwnd;
        }
    }
    Fail(ERROR_INVALID_PARAMETER);
    return NULL_HWND;
}

}  // namespace veldra::sim
