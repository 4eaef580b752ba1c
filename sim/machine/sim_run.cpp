#include "sim/machine/sim_run.h"

#include "app/tavexfd_app.h"
#include "host/cp932.h"
#include "sim/machine/sim_machine.h"

namespace veldra::sim {

void AppendCommandLineTail(MachineConfig& config, const std::vector<std::string>& tailUtf8) {
    std::string line = config.commandLine.value_or("\"" + config.modulePath + "\"");
    for (const std::string& word : tailUtf8) {
        auto cp932 = host::Utf8ToCp932(word);
        if (!cp932)
            throw MachineDescriptionError("command line", 0,
                                          "'" + word + "' has no code page 932 form");
        line += " " + *cp932;
    }
    config.commandLine = line;
}

int RunProgram(const MachineConfig& config, const OperatorScript& script, Transcript& transcript,
               std::string* error, RunStats* stats) {
    SimMachine machine(config, script, transcript);
    Ports ports = machine.ports();
    int exitCode;
    try {
        exitCode = RunTavexApplication(ports);
    } catch (const ScriptError& e) {
        *error = std::string("script: ") + e.what();
        exitCode = EXIT_SCRIPT;
    } catch (const NotImplementedError& e) {
        *error = std::string("not simulated: ") + e.what();
        exitCode = EXIT_NOT_SIMULATED;
    }
    if (stats) {
        stats->unusedActions = machine.ScriptRemaining();
        stats->sleptMs = machine.SleptMilliseconds();
        stats->heapBlocksLeft = machine.HeapBlockCount();
        stats->handlesLeft = machine.OpenHandleCount() + machine.OpenKeyCount();
    }
    return exitCode;
}

}  // namespace veldra::sim
