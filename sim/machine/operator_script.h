// The operator's script: what the person at the machine does, in order.
// Actions are separated by commas; docs/script.md lists them. Besides the
// actions every window knows, the script speaks the verbs of the program's
// dialogs, as res/operator_table gives them.
#pragma once

#include <chrono>
#include <deque>
#include <filesystem>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>

namespace veldra::sim {

// A script that cannot go on: malformed, run out, or an action that does not
// fit what the screen shows.
class ScriptError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

enum class ActionKind {
    Verb,  // a verb of the program's dialogs: `verb`, with line `number` for a pick
    Enter,
    Escape,
    CloseBox,  // the window's close box
    Minimize,
    Restore,
    Yes,
    No,
    Ok,
    Cancel,
    Wait,          // `duration` of real time
    WaitFor,       // until `file` exists on the host (at most `duration`)
    Replug,        // the stick behind drive `drive` is pulled and plugged in again
    Insert,        // a medium is put into the empty drive `drive`
    Pull,          // the medium behind drive `drive` is pulled, and stays out
    Plug,          // the stick of drive `drive` is plugged in: its volume arrives
    Unplug,        // the stick of drive `drive` is taken out whole: its volume goes
    FormatPrompt,  // AutoPlay's format prompt answered: `number` 1 formats, 0 cancels
    PlugPort,      // a serial port `port` (a USB adapter) arrives
    UnplugPort,    // the serial port `port` goes
};

struct Action {
    ActionKind kind;
    std::string verb;  // the first word: for Verb, the dialog verb
    int number = 0;
    std::chrono::milliseconds duration{0};
    std::filesystem::path file;
    char drive = 0;    // for the hardware actions: the letter, upper case
    std::string port;  // for PlugPort and UnplugPort: "COM3"
    std::string text;  // as written, for the transcript and errors
    // "meanwhile ACTION": a click or key made while a handler runs; it waits
    // in the queue (Verb for a button or a box, Enter, Escape, CloseBox).
    bool meanwhile = false;
};

class OperatorScript {
public:
    OperatorScript() = default;
    // Throws ScriptError naming the action that does not parse.
    static OperatorScript Parse(const std::string& actions);

    void Append(const OperatorScript& more);
    bool Empty() const { return m_actions.empty(); }
    // The next action for the screen. Actions on the machine's hardware
    // (replug, pull) are handed to the hands given here as the script reaches them,
    // whatever window waits: the operator can pull a stick while a message
    // box is up as well as while the dialog is idle.
    std::optional<Action> Next();
    const Action* Peek() const { return m_actions.empty() ? nullptr : &m_actions.front(); }
    std::size_t Remaining() const { return m_actions.size(); }
    void SetHardwareHands(std::function<void(const Action&)> hands) { m_hands = std::move(hands); }

private:
    std::deque<Action> m_actions;
    std::function<void(const Action&)> m_hands;
};

}  // namespace veldra::sim
