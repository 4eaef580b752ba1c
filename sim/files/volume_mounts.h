// The file system's side of the volumes that stand on devices, as Windows 6.0
// and later keep it (docs/machine.md, "Windows Vista and later"):
//   - a volume mounts at the first access after it arrived or was dismounted,
//     and knows then whether it holds a FAT file system or none it knows
//     (RAW);
//   - a lock (FSCTL_LOCK_VOLUME) needs the volume to itself: no other handle
//     on it, no holder holding it; a locked volume refuses every other opener
//     with ERROR_ACCESS_DENIED until it is unlocked or its handle closed;
//   - an open of the volume for writing that does not share writing takes the
//     lock implicitly, and is refused with ERROR_SHARING_VIOLATION while
//     anything else has the volume open;
//   - a dismount (FSCTL_DISMOUNT_VOLUME) makes every handle opened on the
//     volume before it stale (ERROR_FILE_INVALID), except the one that asked;
//   - holders (the machine description's [holder NAME]) keep the volume
//     open; a lock request that finds one holding makes it let go after its
//     delay, and it takes hold again after its own delay once the volume
//     arrives anew, is unlocked or is dismounted;
//   - a raw write into the sectors of a mounted volume with a file system is
//     refused with ERROR_ACCESS_DENIED unless the volume is locked or
//     dismounted. Through the volume's own handle the boot sector and the
//     sectors past the file system's end may always be written; through the
//     disk, whatever lies outside every volume (the master boot record, gaps).
// On Windows 5.x none of this holds: every call lets everything through, and
// holders hold nothing.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "sim/devices/sim_device.h"
#include "sim/files/drive_map.h"
#include "sim/kernel/kernel.h"

namespace veldra::sim {

class SimDevices;

class VolumeMounts final : public VolumeGate {
public:
    // Who opened a handle: its kernel object, whatever its type.
    using Opener = const void*;

    VolumeMounts(Kernel& kernel, SimDevices& devices);

    // Whether the letter's drive stands on a device, under Vista's rules.
    bool Tracks(char letter) const;

    // VolumeGate: a path on the letter, a search of it or an open of its
    // volume is about to be used.
    DWORD Access(char letter) override;
    // The letter stands on another device's volume from now on: a volume
    // that has just arrived, not mounted yet.
    void LetterMoved(char letter, SimDevice& device);

    // The count of mounts the letter's volume has seen; a handle opened under
    // an earlier one is stale.
    unsigned Epoch(char letter);

    // An open of "\\.\X:" that passed Access; othersOpen: any other live
    // handle is open on the volume.
    DWORD OpenVolume(char letter, Opener opener, DWORD access, DWORD share, bool othersOpen);
    // A handle on the volume or on a file of it is closed.
    void Closed(char letter, Opener opener);

    DWORD Lock(char letter, Opener opener, bool othersOpen);
    DWORD Unlock(char letter, Opener opener);
    // The epoch the asking handle carries on with.
    DWORD Dismount(char letter, Opener opener, unsigned* epoch);

    // A raw write through the letter's volume handle, at an offset from the
    // volume's start; through a disk handle, at an offset from the disk's.
    DWORD RawWriteThroughVolume(char letter, Opener opener, std::uint64_t offset,
                                std::uint64_t bytes);
    DWORD RawWriteThroughDisk(SimDevice& device, std::uint64_t offset, std::uint64_t bytes);

private:
    struct Holder {
        const HolderConfig* config;
        std::uint64_t armedAt = 0;
        std::optional<std::uint64_t> releaseAt;
    };
    struct Mount {
        char letter = 0;
        SimDevice* device = nullptr;
        bool hostFiles = false;  // the drive's files are a host folder's
        unsigned generation = 0;
        unsigned epoch = 0;
        bool mounted = false;
        bool fileSystem = false;  // mounted with a file system rather than RAW
        std::uint64_t fileSystemEnd = 0;
        Opener lockOwner = nullptr;
        bool implicitLock = false;
        std::vector<Holder> holders;
    };

    Mount* Find(char letter);
    const Mount* Find(char letter) const;
    // Brings the mount up to the device's view and the clock; the view.
    VolumeView CatchUp(Mount& mount);
    void MountNow(Mount& mount);
    void Rearm(Mount& mount);
    bool Holding(const Mount& mount, const Holder& holder) const;

    Kernel& m_kernel;
    SimDevices& m_devices;
    bool m_bEnforced;
    std::vector<Mount> m_mounts;
};

}  // namespace veldra::sim
