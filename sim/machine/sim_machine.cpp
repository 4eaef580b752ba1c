#include "sim/machine/sim_machine.h"

#include <algorithm>

#include "platform/mbcs.h"
#include "sim/fat/fat_mount.h"
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
    if (Config().majorVersion >= 6) {
        // The shell looks at a removable disk's volume as it arrives; a
        // floppy drive reports no arrival.
        for (const auto& [letter, drive] : Config().drives) {
            if (!drive.device || drive.type != DRIVE_REMOVABLE ||
                drive.device->kind != DeviceKind::Disk) {
                continue;
            }
            SimDevice& device = *m_devices.Find(*drive.device);
            device.WatchArrivals([this, &device, letter = letter] {
                std::optional<FatMount> mount;
                if (FatMount::Open(device, &mount) != ERROR_SUCCESS)
                    m_rawArrivals.push_back(letter);
            });
        }
        m_desktop.SetAutoPlay(
            [this] { return RawArrivals(); },
            [this, &transcript](char letter) {
                m_formatPrompts.push_back(letter);
                transcript.Add(std::string("AutoPlay prompt [Format disk/Cancel]: ") +
                               "\"You need to format the disk in drive " + letter +
                               ": before you can use it.\"");
            });
    }
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
            m_devices.Find(*drive->second.device)->Insert(Now());
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
        if (action.kind == ActionKind::FormatPrompt) {
            if (m_formatPrompts.empty())
                throw ScriptError("'" + action.text + "': no format prompt is up");
            char letter = m_formatPrompts.front();
            m_formatPrompts.erase(m_formatPrompts.begin());
            transcript.Add("> " + action.text);
            if (action.number == 0) return;
            // Quick format: a new, empty file system over what was there.
            // The simulator does not make one; it clears the volume's
            // first sectors, which loses every file as surely.
            SimDevice& stick = *m_devices.Find(*Config().drives.at(letter).device);
            VolumeExtent extent = stick.Volume(Now()).extent;
            std::vector<BYTE> zeros(std::min<std::uint64_t>(extent.size, 64 * 1024), 0);
            if (stick.Write(extent.offset, zeros.data(), zeros.size()) != ERROR_SUCCESS)
                throw NotImplementedError("format of a medium that cannot be written");
            transcript.Add(std::string("AutoPlay formats ") + letter + ":");
            return;
        }
        if (action.kind == ActionKind::PlugPort || action.kind == ActionKind::UnplugPort) {
            transcript.Add("> " + action.text);
            bool arrives = action.kind == ActionKind::PlugPort;
            m_desktop.BroadcastDevnodesChanged();
            m_desktop.BroadcastPortChange(arrives ? DBT_DEVICEARRIVAL : DBT_DEVICEREMOVECOMPLETE,
                                          action.port);
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
            // The system tells every top-level window: first that the
            // device tree changed, then the volume (DEV_BROADCAST_VOLUME with
            // the letter's bit).
            m_desktop.BroadcastDevnodesChanged();
            m_desktop.BroadcastVolumeChange(arrives ? DBT_DEVICEARRIVAL : DBT_DEVICEREMOVECOMPLETE,
                                            action.drive);
            m_desktop.DeliverSentMessages();
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

std::vector<char> SimMachine::RawArrivals() {
    std::vector<char> arrived;
    arrived.swap(m_rawArrivals);
    return arrived;
}

// The process ends before its parts go: what it left open is closed while
// the volumes behind it are still there.
SimMachine::~SimMachine() {
    EndProcess();
}

}  // namespace veldra::sim
