// What the operator does: the script's actions on the dialog that waits for
// input, and the answers to message boxes.
#include <chrono>
#include <thread>

#include "sim/desktop/desktop.h"

namespace veldra::sim {
namespace {

// The target of a verb: this dialog's own, or another dialog's, so that a
// verb the dialog lacks still names what it lacks.
const OperatorTarget* VerbTarget(int templateId, const std::string& verb) {
    const OperatorTarget* elsewhere = nullptr;
    for (const OperatorDialog& dialog : OperatorDialogs()) {
        for (const OperatorTarget& target : dialog.targets) {
            if (target.verb == nullptr || verb != target.verb) continue;
            if (dialog.templateId == templateId) return &target;
            if (elsewhere == nullptr) elsewhere = &target;
        }
    }
    return elsewhere;
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

}  // namespace

void Desktop::PressButton(Window& window, int id, const std::string& name) {
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

void Desktop::PickLine(Window& window, int id, const std::string& name, int line) {
    HWND box = GetDlgItem(window.hwnd, id);
    Control* control = FindControl(box);
    if (control == nullptr) throw ScriptError("the dialog " + window.caption + " has no such box");
    if (line > static_cast<int>(control->items.size())) {
        throw ScriptError("the " + name + " has " + std::to_string(control->items.size()) +
                          " lines; line " + std::to_string(line) + " cannot be picked");
    }
    if (!control->enabled) {
        m_transcript.Add(name + " is disabled; the pick does nothing");
        return;
    }
    ComboMessage(*control, CB_SETCURSEL, static_cast<WPARAM>(line - 1), 0);
    Dispatch(window, WM_COMMAND, MAKEWPARAM(static_cast<WORD>(id), CBN_SELCHANGE),
             static_cast<LPARAM>(box));
}

void Desktop::PerformWait(const Action& action) {
    if (action.kind == ActionKind::Wait) {
        std::this_thread::sleep_for(action.duration);
        return;
    }
    auto deadline = std::chrono::steady_clock::now() + action.duration;
    std::error_code ec;
    while (!std::filesystem::exists(action.file, ec)) {
        if (ec) throw ScriptError("'" + action.text + "': " + ec.message());
        if (std::chrono::steady_clock::now() > deadline) {
            throw ScriptError("'" + action.text + "': the file did not appear in time");
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

void Desktop::PerformVerb(Window& window, const OperatorTarget& target, int number) {
    switch (target.kind) {
        case OperatorVerbKind::PickLine:
            return PickLine(window, target.id, target.name, number);
        case OperatorVerbKind::PressButton:
            return PressButton(window, target.id, target.name);
        case OperatorVerbKind::SystemCommand:
            for (const MenuItem& item : window.systemMenu) {
                if (item.flags == MF_STRING && item.id == static_cast<std::uintptr_t>(target.id)) {
                    Dispatch(window, WM_SYSCOMMAND, static_cast<WPARAM>(target.id), 0);
                    return;
                }
            }
            throw ScriptError("the system menu of \"" + window.caption + "\" has no " +
                              target.name);
        case OperatorVerbKind::None:
            return;
    }
}

void Desktop::PerformOperatorAction(Window& window) {
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
    if (action.meanwhile) {
        throw ScriptError("'" + action.text + "' comes while the dialog \"" + window.caption +
                          "\" waits for the operator, not while a handler runs");
    }
    m_transcript.Add("> " + action.text);
    // What the operator does next while the handler runs waits in the queue.
    TakeMeanwhileActions(window);
    Perform(window, action);
}

void Desktop::Perform(Window& window, const Action& action) {
    switch (action.kind) {
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
        default:
            break;
    }
    // A verb of the program's dialogs, or an answer that is one too ("ok"
    // presses an OK button).
    if (const OperatorTarget* target = VerbTarget(window.dialogTemplate->id, action.verb)) {
        return PerformVerb(window, *target, action.number);
    }
    throw ScriptError("'" + action.text + "' answers a message box, but the dialog \"" +
                      window.caption + "\" shows none");
}

// The script's "meanwhile" actions that come next: clicks and keys made while
// the handler runs. They wait in the queue for the window.
void Desktop::TakeMeanwhileActions(Window& window) {
    while (const Action* next = m_script.Peek()) {
        if (!next->meanwhile) return;
        Action action = *m_script.Next();
        m_transcript.Add("> " + action.text);
        QueuedInput input{window.hwnd, window.hwnd, WM_LBUTTONDOWN, 0, action};
        if (action.kind == ActionKind::Enter || action.kind == ActionKind::Escape) {
            input.message = WM_KEYDOWN;
            input.wParam = action.kind == ActionKind::Enter ? VK_RETURN : VK_ESCAPE;
        } else if (action.kind == ActionKind::CloseBox) {
            input.message = WM_NCLBUTTONDOWN;
            input.wParam = HTCLOSE;
        } else if (const OperatorTarget* target =
                       VerbTarget(window.dialogTemplate->id, action.verb)) {
            HWND control = GetDlgItem(window.hwnd, target->id);
            if (control != NULL_HWND) input.target = control;
        }
        m_input.push_back(input);
    }
}

// The first click or key that waits reaches the window, as the operator's
// action would have.
bool Desktop::DeliverQueuedInput(Window& window) {
    if (m_input.empty()) return false;
    if (m_input.front().dialog != window.hwnd) {
        throw NotImplementedError(
            "a click or key queued for a dialog that a modal window covers: " +
            m_input.front().action.text);
    }
    Action action = m_input.front().action;
    m_input.pop_front();
    m_transcript.Add("queued " + action.text.substr(action.text.find(' ') + 1) + " reaches " +
                     Transcript::QuoteUtf8(window.caption));
    Perform(window, action);
    return true;
}

// The box runs a loop of its own: the thread takes messages, and what waits
// to be painted is painted before the box appears.
int Desktop::MessageBoxA(HWND owner, const char* text, const char* caption, UINT type) {
    (void)owner;
    std::string shown = "message box [" + IconName(type) + ", " + ButtonsName(type) + "] " +
                        Transcript::Quote(caption ? caption : "") + ": " + Transcript::Quote(text);
    if (!m_input.empty()) {
        throw NotImplementedError("a message box while clicks or keys wait in the queue: " +
                                  m_input.front().action.text);
    }
    TookMessages();
    RunBarAnimations();
    PaintWindows();
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
        TookMessages();
        if (!m_windows.empty()) TakeMeanwhileActions(*m_windows.back());
        return answer;
    }
}

}  // namespace veldra::sim
