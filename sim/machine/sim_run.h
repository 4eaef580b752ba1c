// One run of the program on a simulated machine: what `veldra` does, callable
// from tests in the same process.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sim/machine/machine_description.h"
#include "sim/machine/operator_script.h"
#include "sim/machine/transcript.h"

namespace veldra::sim {

// Exit codes of `veldra` besides the program's own.
enum : int {
    EXIT_USAGE = 2,          // bad arguments or a malformed machine description
    EXIT_SCRIPT = 3,         // the operator script could not go on
    EXIT_NOT_SIMULATED = 4,  // the program used something the machine does not implement
};

// Appends the words after "--" to the machine's command line.
void AppendCommandLineTail(MachineConfig& config, const std::vector<std::string>& tailUtf8);

// What a run leaves besides its transcript.
struct RunStats {
    std::size_t unusedActions = 0;   // script actions left when the program ended
    std::uint64_t sleptMs = 0;       // time the program slept on the virtual clock
    std::size_t heapBlocksLeft = 0;  // blocks of the process heap never freed
    std::size_t handlesLeft = 0;     // kernel handles and registry keys never closed
};

// Runs the program; returns its exit code, or one of the codes above with the
// reason in error. stats, when given, receives what the run leaves.
int RunProgram(const MachineConfig& config, const OperatorScript& script, Transcript& transcript,
               std::string* error, RunStats* stats = nullptr);

}  // namespace veldra::sim
