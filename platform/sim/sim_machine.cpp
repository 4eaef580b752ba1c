#include "platform/sim/sim_machine.h"

#include "platform/mbcs.h"
#include "platform/sim/host_volume.h"

namespace veldra::sim {

SimMachine::SimMachine(MachineConfig config, OperatorScript script, Transcript& transcript)
    : Kernel(std::move(config), transcript),
      m_config(Config()),
      m_script(std::move(script)),
      m_transcript(transcript),
      m_drives(AsciiUpper(m_config.modulePath[0])),
      m_files(*this, m_drives),
      m_profile(*this, m_files),
      m_shell(m_drives, m_config.viewers, transcript),
      m_hCursor(static_cast<HCURSOR>(IDC_ARROW)) {
    for (const auto& [letter, drive] : m_config.drives) {
        m_drives.Mount(letter, std::make_unique<HostFolderVolume>(drive.hostRoot, drive.readOnly,
                                                                  drive.freeBytes));
    }
}

SimMachine::~SimMachine() {
    EndProcess();
}

DWORD SimMachine::Fail(DWORD error) {
    SetLastError(error);
    return error;
}

}  // namespace veldra::sim
