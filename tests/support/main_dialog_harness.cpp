#include "tests/support/main_dialog_harness.h"

#include "app/startup_rules.h"
#include "app/tavexfd_app.h"
#include "disk/disk_info.h"
#include "res/message_text.h"
#include "res/resource.h"
#include "sim/machine/sim_machine.h"
#include "sim/machine/sim_run.h"

namespace veldra::testing {

RunResult RunMainDialog(const TestMachine& machine, const std::string& actions,
                        const std::function<void(CTAVEXFDDlg&)>& inspect) {
    machine.WriteMachineDescription();
    sim::MachineConfig config = sim::LoadMachineDescription(machine.Dir());
    sim::Transcript transcript;
    sim::SimMachine simMachine(config, sim::OperatorScript::Parse(actions), transcript);
    Ports ports = simMachine.ports();

    CDiskInfo diskInfo(DiskPorts{ports.system, ports.files, ports.devices, ports.registry});
    CTAVEXFDApp app(ports);
    app.m_pszAppName = LoadStringText(ports.ui, IDS_APP_NAME);
    app.m_nPlatformId = VER_PLATFORM_WIN32_NT;
    app.m_nRunMode = RUNMODE_NORMAL;
    ExePaths paths = ExePathsOf(config.modulePath);
    app.m_strExeDir = paths.exeDir;
    app.m_strExeDirSlash = paths.exeDirSlash;
    app.m_strIniPath = paths.iniPath;

    RunResult result;
    try {
        CTAVEXFDDlg dialog(ports);
        dialog.DoModal();
        result.exitCode = app.m_nExitCode;
        inspect(dialog);
    } catch (const sim::ScriptError& e) {
        result.exitCode = sim::EXIT_SCRIPT;
        result.error = std::string("script: ") + e.what();
    }
    result.lines = transcript.Lines();
    return result;
}

}  // namespace veldra::testing
