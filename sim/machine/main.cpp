// veldra: the program on a simulated Windows machine.
//
//   veldra --machine DIR [--do ACTIONS]... [-- COMMAND-LINE-TAIL...]
//   veldra --machine DIR --scan
//   veldra --version
//
// Every visible event goes to standard output, one UTF-8 line each. The exit
// code is the program's, or 2 (usage, machine description), 3 (script) or 4
// (something the machine does not simulate).
#include <iostream>
#include <string>
#include <vector>

#include "host/release.h"
#include "sim/kernel/errors.h"
#include "sim/machine/scan_report.h"
#include "sim/machine/sim_run.h"

namespace {

constexpr char kUsage[] =
    "usage: veldra --machine DIR [--do ACTIONS]... [-- COMMAND-LINE-TAIL...]\n"
    "       veldra --machine DIR --scan\n"
    "       veldra --version\n"
    "  DIR      a machine directory (see docs/machine.md)\n"
    "  ACTIONS  the operator's actions, comma-separated (see docs/script.md),\n"
    "           e.g. --do \"program 2, help, ok, exit\"\n"
    "  --scan   print what drive discovery finds on the machine, and end\n";

int UsageError(const std::string& what) {
    std::cerr << "veldra: " << what << "\n" << kUsage;
    return veldra::sim::EXIT_USAGE;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace veldra::sim;
    std::string machineDir;
    OperatorScript script;
    std::vector<std::string> tail;
    bool scan = false;
    try {
        for (int i = 1; i < argc; ++i) {
            std::string arg = argv[i];
            if (arg == "--") {
                tail.assign(argv + i + 1, argv + argc);
                break;
            }
            if (arg == "--help" || arg == "-h") {
                std::cout << kUsage;
                return 0;
            }
            if (arg == "--version") {
                std::cout << veldra::host::VersionLine("veldra");
                return 0;
            }
            if ((arg == "--machine" || arg == "--do") && i + 1 >= argc) {
                return UsageError(arg + " needs a value");
            }
            if (arg == "--scan") {
                scan = true;
            } else if (arg == "--machine") {
                machineDir = argv[++i];
            } else if (arg == "--do") {
                script.Append(OperatorScript::Parse(argv[++i]));
            } else {
                return UsageError("unknown argument '" + arg + "'");
            }
        }
    } catch (const ScriptError& e) {
        return UsageError(e.what());
    }
    if (machineDir.empty()) return UsageError("--machine is required");

    MachineConfig config;
    try {
        config = LoadMachineDescription(machineDir);
        AppendCommandLineTail(config, tail);
    } catch (const MachineDescriptionError& e) {
        std::cerr << "veldra: " << e.what() << "\n";
        return EXIT_USAGE;
    }

    if (scan) {
        try {
            for (const std::string& line : ScanReport(config)) std::cout << line << "\n";
        } catch (const NotImplementedError& e) {
            std::cerr << "veldra: not simulated: " << e.what() << "\n";
            return EXIT_NOT_SIMULATED;
        }
        return 0;
    }

    Transcript transcript(&std::cout);
    std::string error;
    RunStats stats;
    int exitCode = RunProgram(config, script, transcript, &error, &stats);
    std::size_t unused = stats.unusedActions;
    if (!error.empty()) std::cerr << "veldra: " << error << "\n";
    // Not an error, but usually a script that expected more of the program.
    if (error.empty() && unused > 0) {
        std::cerr << "veldra: note: " << unused << " action(s) of the script were not used\n";
    }
    return exitCode;
}
