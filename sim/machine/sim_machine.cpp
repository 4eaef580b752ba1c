#include "sim/machine/sim_machine.h"

#include "platform/mbcs.h"
#include "sim/files/host_volume.h"
#include "sim/files/medium_volume.h"

namespace veldra::sim {

SimMachine::SimMachine(MachineConfig config, OperatorScript script, Transcript& transcript)
    : Kernel(std::move(config), transcript),
      m_drives(AsciiUpper(Config().modulePath[0])),
      m_devices(*this),
      m_registry(Config().registry),
      m_files(*this, m_drives, m_devices),
      m_profile(*this, m_files),
      m_shell(m_drives, Config().viewers, transcript),
      m_desktop(*this, WithHands(std::move(script), transcript), transcript) {
    m_devices.Attach(m_files);
    auto clock = [this] {
        SYSTEMTIME now{};
        GetLocalTime(&now);
        return now;
    };
    m_devices.OnLetterMoved([this, clock](char letter, SimDevice& device) {
        m_drives.Mount(letter,
                       std::make_unique<MediumVolume>(device, clock, Config().timeZoneMinutes));
        m_files.LetterMoved(letter, device);
    });
    for (const auto& [letter, drive] : Config().drives) {
        if (drive.hostRoot.empty()) {
            m_drives.Mount(letter, std::make_unique<MediumVolume>(*m_devices.Find(*drive.device),
                                                                  clock, Config().timeZoneMinutes));
        } else {
            m_drives.Mount(letter, std::make_unique<HostFolderVolume>(
                                       drive.hostRoot, drive.readOnly, drive.freeBytes));
        }
    }
}

OperatorScript SimMachine::WithHands(OperatorScript script, Transcript& transcript) {
    script.SetHardwareHands([this, &transcript](const Action& action) {
        auto drive = Config().drives.find(action.drive);
        if (action.kind == ActionKind::Insert) {
            if (drive == Config().drives.end() || !drive->second.device)
                throw ScriptError("'" + action.text + "': drive " + action.drive +
                                  " stands on no device");
            transcript.Add("> " + action.text);
            m_devices.Find(*drive->second.device)->Insert();
            return;
        }
        if (action.kind == ActionKind::Pull) {
            if (drive == Config().drives.end() || !drive->second.device) {
                throw ScriptError("'" + action.text + "': drive " + action.drive +
                                  ": stands on no device whose medium could be pulled");
            }
            transcript.Add("> " + action.text);
            m_devices.Find(*drive->second.device)->Pull();
            return;
        }
        if (action.kind == ActionKind::Plug || action.kind == ActionKind::Unplug) {
            if (drive == Config().drives.end() || !drive->second.device ||
                drive->second.device->kind != DeviceKind::Disk) {
                throw ScriptError("'" + action.text + "': drive " + action.drive +
                                  ": stands on no disk that could be plugged in or out");
            }
            transcript.Add("> " + action.text);
            SimDevice& stick = *m_devices.Find(*drive->second.device);
            bool arrives = action.kind == ActionKind::Plug;
            if (arrives) {
                stick.Plug(Now());
            } else {
                stick.Unplug();
            }
            // The system tells every top-level window (WM_DEVICECHANGE,
            // DEV_BROADCAST_VOLUME with the letter's bit).
            m_desktop.BroadcastVolumeChange(arrives ? DBT_DEVICEARRIVAL : DBT_DEVICEREMOVECOMPLETE,
                                            action.drive);
            return;
        }
        if (drive == Config().drives.end() || !drive->second.device ||
            drive->second.device->kind != DeviceKind::Disk) {
            throw ScriptError("'" + action.text + "': drive " + action.drive +
                              ": stands on no disk that could be pulled");
        }
        transcript.Add("> " + action.text);
        m_devices.Replug(action.drive);
    });
    return script;
}

// The process ends before its parts go: what it left open is closed while
// the volumes behind it are still there.
SimMachine::~SimMachine() {
    EndProcess();
}

}  // namespace veldra::sim
