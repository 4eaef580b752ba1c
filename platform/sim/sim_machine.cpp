#include "platform/sim/sim_machine.h"

#include <unistd.h>

namespace veldra::sim {

SimMachine::SimMachine(MachineConfig config, OperatorScript script, Transcript& transcript)
    : Kernel(std::move(config), transcript),
      m_config(Config()),
      m_script(std::move(script)),
      m_transcript(transcript),
      m_hCursor(static_cast<HCURSOR>(IDC_ARROW)) {
    for (const auto& [letter, drive] : m_config.drives) {
        if (drive.freeBytes) m_freeBytes[letter] = *drive.freeBytes;
    }
}

SimMachine::~SimMachine() {
    EndProcess();
}

SimMachine::OpenFile::~OpenFile() {
    ::close(fd);
}

DWORD SimMachine::Fail(DWORD error) {
    SetLastError(error);
    return error;
}

}  // namespace veldra::sim
