// A small simulated Windows machine: every port of the program, implemented
// over a machine directory on the host and driven by an operator script.
//
// It keeps Win32's contracts (results, last errors, share modes, the
// read-only attribute) and fails loudly, with NotImplementedError, on what it
// does not implement rather than pretending.
//
// The machine is its kernel (the SystemPort) with the other parts beside it:
// the drives and their volumes, the file port over them, profile files, the
// shell and the desktop.
#pragma once

#include <cstddef>
#include <map>
#include <vector>

#include "platform/ports.h"
#include "sim/desktop/desktop.h"
#include "sim/desktop/shell.h"
#include "sim/desktop/sim_registry.h"
#include "sim/devices/sim_devices.h"
#include "sim/files/drive_map.h"
#include "sim/files/file_system.h"
#include "sim/files/profile_files.h"
#include "sim/kernel/errors.h"
#include "sim/kernel/kernel.h"
#include "sim/machine/machine_description.h"
#include "sim/machine/operator_script.h"
#include "sim/machine/transcript.h"

namespace veldra::sim {

class SimMachine final : public Kernel {
public:
    SimMachine(MachineConfig config, OperatorScript script, Transcript& transcript);
    ~SimMachine();
    SimMachine(const SimMachine&) = delete;
    SimMachine& operator=(const SimMachine&) = delete;

    Ports ports() {
        return Ports{*this, m_files, m_profile, m_desktop, m_shell, m_devices, m_registry};
    }

    // What tests look at besides the transcript and the kernel's counts.
    std::size_t ScriptRemaining() const { return m_desktop.ScriptRemaining(); }
    std::size_t OpenKeyCount() const { return m_registry.OpenKeyCount(); }

private:
    // The script with the operator's hands on the machine's hardware.
    OperatorScript WithHands(OperatorScript script, Transcript& transcript);
    // AutoPlay: the removable volumes that arrived without a file system the
    // machine knows since last asked; its format prompts waiting for the operator.
    std::vector<char> RawArrivals();
    std::vector<char> m_rawArrivals;
    std::vector<char> m_formatPrompts;

    DriveMap m_drives;
    SimDevices m_devices;
    SimRegistry m_registry;
    SimFiles m_files;
    SimProfile m_profile;
    SimShell m_shell;
    Desktop m_desktop;
};

}  // namespace veldra::sim
