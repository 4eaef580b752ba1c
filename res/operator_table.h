// What the person at the machine can do to the program's dialogs, for the
// simulated machine's operator script and transcript: per dialog template,
// the controls whose changes the transcript shows, by name, and the script's
// verbs with what each does. docs/script.md lists the verbs.
#pragma once

#include <span>

namespace veldra {

enum class OperatorVerbKind {
    None,           // no verb: the target is only named
    PickLine,       // "VERB N" picks line N (from 1) of a box
    PressButton,    // "VERB" presses a button
    SystemCommand,  // "VERB" picks an item of the window's system menu
};

struct OperatorTarget {
    int id;            // control id; for SystemCommand, the menu item's command
    const char* name;  // as the transcript and the script's errors name it
    bool watched;      // the transcript shows the control's changes
    const char* verb;  // the script's word for it; nullptr: none
    OperatorVerbKind kind;
};

struct OperatorDialog {
    int templateId;
    std::span<const OperatorTarget> targets;
};

std::span<const OperatorDialog> OperatorDialogs();

// The dialog with this template id, or nullptr.
const OperatorDialog* FindOperatorDialog(int templateId);

}  // namespace veldra
