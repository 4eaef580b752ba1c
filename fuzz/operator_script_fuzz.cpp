// The operator's script: Parse returns or throws ScriptError, and what it
// returns holds only actions a run can carry out.
#include <cstdint>
#include <string>

#include "fuzz/fuzz_support.h"
#include "res/operator_table.h"
#include "sim/machine/operator_script.h"

using veldra::sim::ActionKind;
using veldra::sim::OperatorScript;
using veldra::sim::ScriptError;

namespace {

bool PicksLine(const std::string& verb) {
    for (const veldra::OperatorDialog& dialog : veldra::OperatorDialogs()) {
        for (const veldra::OperatorTarget& target : dialog.targets) {
            if (target.verb != nullptr && verb == target.verb) {
                return target.kind == veldra::OperatorVerbKind::PickLine;
            }
        }
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    OperatorScript script;
    try {
        script = OperatorScript::Parse(std::string(veldra::fuzz::AsText(data, size)));
    } catch (const ScriptError&) {
        return 0;
    }
    while (auto action = script.Next()) {
        FUZZ_REQUIRE(!action->text.empty());
        FUZZ_REQUIRE(action->duration.count() >= 0);
        if (action->kind == ActionKind::Verb) {
            FUZZ_REQUIRE(action->number >= (PicksLine(action->verb) ? 1 : 0));
        }
        if (action->kind == ActionKind::WaitFor) FUZZ_REQUIRE(!action->file.empty());
    }
    return 0;
}
