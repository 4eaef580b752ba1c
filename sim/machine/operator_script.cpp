#include "sim/machine/operator_script.h"

#include <charconv>
#include <map>
#include <sstream>

#include "host/text.h"
#include "res/operator_table.h"

namespace veldra::sim {
namespace {

using host::TrimBlanks;

std::optional<int> ParsePositive(const std::string& text) {
    int value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || value < 1) return std::nullopt;
    return value;
}

// "250ms", "2s" or a bare number of milliseconds.
std::optional<std::chrono::milliseconds> ParseDuration(const std::string& text) {
    std::string digits = text;
    long long scale = 1;
    if (digits.size() > 2 && digits.compare(digits.size() - 2, 2, "ms") == 0) {
        digits.resize(digits.size() - 2);
    } else if (digits.size() > 1 && digits.back() == 's') {
        digits.pop_back();
        scale = 1000;
    }
    long long value = 0;
    auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (ec != std::errc() || end != digits.data() + digits.size() || value < 0 || digits.empty()) {
        return std::nullopt;
    }
    // A longer hold is a mistake in the script, not a test; the bound also
    // keeps the count of milliseconds from overflowing.
    constexpr long long kLongestWaitMs = 60LL * 60 * 1000;
    if (value > kLongestWaitMs / scale) return std::nullopt;
    return std::chrono::milliseconds(value * scale);
}

const std::map<std::string, ActionKind>& PlainActions() {
    static const std::map<std::string, ActionKind> kActions = {
        {"enter", ActionKind::Enter},     {"esc", ActionKind::Escape},
        {"close", ActionKind::CloseBox},  {"minimize", ActionKind::Minimize},
        {"restore", ActionKind::Restore}, {"yes", ActionKind::Yes},
        {"no", ActionKind::No},           {"ok", ActionKind::Ok},
        {"cancel", ActionKind::Cancel},
    };
    return kActions;
}

// What a verb of the program's dialogs does; None when no dialog has it.
OperatorVerbKind DialogVerbKind(const std::string& verb) {
    for (const OperatorDialog& dialog : OperatorDialogs()) {
        for (const OperatorTarget& target : dialog.targets) {
            if (target.verb != nullptr && verb == target.verb) return target.kind;
        }
    }
    return OperatorVerbKind::None;
}

Action ParseAction(const std::string& text) {
    std::istringstream words(text);
    std::string verb, argument, extra;
    words >> verb;
    std::getline(words, argument);
    argument = TrimBlanks(argument);

    Action action{ActionKind::Verb, verb, 0, {}, {}, 0, {}, text};
    auto plain = PlainActions().find(verb);
    OperatorVerbKind dialogVerb = DialogVerbKind(verb);
    if (plain != PlainActions().end() ||
        (dialogVerb != OperatorVerbKind::None && dialogVerb != OperatorVerbKind::PickLine)) {
        if (!argument.empty()) throw ScriptError("action '" + text + "' takes no argument");
        if (plain != PlainActions().end()) action.kind = plain->second;
        return action;
    }
    if (dialogVerb == OperatorVerbKind::PickLine) {
        auto line = ParsePositive(argument);
        if (!line) throw ScriptError("action '" + text + "' needs a line number from 1");
        action.number = *line;
        return action;
    }
    if (verb == "wait") {
        auto duration = ParseDuration(argument);
        if (!duration)
            throw ScriptError("action '" + text +
                              "' needs a duration such as 500ms or 2s, at most an hour");
        action.kind = ActionKind::Wait;
        action.duration = *duration;
        return action;
    }
    if (verb == "meanwhile") {
        if (argument.empty()) throw ScriptError("action '" + text + "' needs a click or a key");
        Action queued = ParseAction(argument);
        bool queueable = queued.kind == ActionKind::Enter || queued.kind == ActionKind::Escape ||
                         queued.kind == ActionKind::CloseBox ||
                         (queued.kind == ActionKind::Verb &&
                          DialogVerbKind(queued.verb) != OperatorVerbKind::SystemCommand);
        if (!queueable || queued.meanwhile) {
            throw ScriptError("action '" + text +
                              "': only a button, a box, enter, esc or close can be done meanwhile");
        }
        queued.meanwhile = true;
        queued.text = text;
        return queued;
    }
    if (verb == "replug" || verb == "pull" || verb == "insert" || verb == "plug" ||
        verb == "unplug") {
        std::string letter = host::UpperAscii(argument);
        if (letter.size() == 2 && letter[1] == ':') letter.pop_back();
        if (letter.size() != 1 || letter[0] < 'A' || letter[0] > 'Z')
            throw ScriptError("action '" + text + "' needs a drive letter, such as " + verb + " E");
        action.kind = verb == "pull"     ? ActionKind::Pull
                      : verb == "insert" ? ActionKind::Insert
                      : verb == "plug"   ? ActionKind::Plug
                      : verb == "unplug" ? ActionKind::Unplug
                                         : ActionKind::Replug;
        action.drive = letter[0];
        return action;
    }
    if (verb == "plug-port" || verb == "unplug-port") {
        if (argument.empty() || argument.find(' ') != std::string::npos)
            throw ScriptError("action '" + text + "' needs a port name, such as " + verb + " COM3");
        action.kind = verb == "plug-port" ? ActionKind::PlugPort : ActionKind::UnplugPort;
        action.port = argument;
        return action;
    }
    if (verb == "format-prompt") {
        if (argument != "format" && argument != "cancel")
            throw ScriptError("action '" + text +
                              "' is format-prompt format or format-prompt cancel");
        action.kind = ActionKind::FormatPrompt;
        action.number = argument == "format" ? 1 : 0;
        return action;
    }
    if (verb == "wait-for") {
        if (argument.empty()) throw ScriptError("action '" + text + "' needs a host file path");
        action.kind = ActionKind::WaitFor;
        action.file = argument;
        action.duration = std::chrono::seconds(60);
        return action;
    }
    throw ScriptError("unknown action '" + text + "'");
}

}  // namespace

OperatorScript OperatorScript::Parse(const std::string& actions) {
    OperatorScript script;
    std::istringstream in(actions);
    std::string piece;
    while (std::getline(in, piece, ',')) {
        std::string text = TrimBlanks(piece);
        if (text.empty()) {
            if (!TrimBlanks(actions).empty())
                throw ScriptError("empty action in '" + actions + "'");
            continue;
        }
        script.m_actions.push_back(ParseAction(text));
    }
    // getline() does not report the empty piece after a final comma.
    std::string all = TrimBlanks(actions);
    if (!all.empty() && all.back() == ',') throw ScriptError("empty action in '" + actions + "'");
    return script;
}

void OperatorScript::Append(const OperatorScript& more) {
    m_actions.insert(m_actions.end(), more.m_actions.begin(), more.m_actions.end());
}

std::optional<Action> OperatorScript::Next() {
    while (!m_actions.empty()) {
        Action action = m_actions.front();
        m_actions.pop_front();
        bool hardware =
            action.kind == ActionKind::Replug || action.kind == ActionKind::Pull ||
            action.kind == ActionKind::Insert || action.kind == ActionKind::Plug ||
            action.kind == ActionKind::Unplug || action.kind == ActionKind::FormatPrompt ||
            action.kind == ActionKind::PlugPort || action.kind == ActionKind::UnplugPort;
        if (hardware && m_hands) {
            m_hands(action);
            continue;
        }
        return action;
    }
    return std::nullopt;
}

}  // namespace veldra::sim
