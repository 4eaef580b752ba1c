#include "sim/files/volume_mounts.h"

#include <limits>

#include "sim/devices/sim_devices.h"
#include "sim/fat/fat_mount.h"

namespace veldra::sim {

VolumeMounts::VolumeMounts(Kernel& kernel, SimDevices& devices)
    : m_kernel(kernel), m_devices(devices), m_bEnforced(kernel.Config().FollowsVistaRules()) {
    if (!m_bEnforced) return;
    for (const auto& [letter, drive] : kernel.Config().drives) {
        if (!drive.device) continue;
        Mount mount;
        mount.letter = letter;
        mount.device = devices.Find(*drive.device);
        mount.hostFiles = !drive.hostRoot.empty();
        VolumeView view = mount.device->Volume(kernel.Now());
        mount.generation = view.generation;
        for (const HolderConfig& holder : kernel.Config().holders) {
            if (holder.letter == letter)
                mount.holders.push_back(Holder{&holder, view.arrivedAt, {}});
        }
        m_mounts.push_back(std::move(mount));
    }
}

VolumeMounts::Mount* VolumeMounts::Find(char letter) {
    for (Mount& mount : m_mounts) {
        if (mount.letter == letter) return &mount;
    }
    return nullptr;
}

const VolumeMounts::Mount* VolumeMounts::Find(char letter) const {
    for (const Mount& mount : m_mounts) {
        if (mount.letter == letter) return &mount;
    }
    return nullptr;
}

bool VolumeMounts::Tracks(char letter) const {
    return Find(letter) != nullptr;
}

// A volume that went or came is another volume: not mounted, not locked, the
// handles on the old one stale, the holders waiting to take hold of the new
// one. A holder that has taken hold by now has mounted it.
VolumeView VolumeMounts::CatchUp(Mount& mount) {
    std::uint64_t now = m_kernel.Now();
    VolumeView view = mount.device->Volume(now);
    if (view.generation != mount.generation) {
        mount.generation = view.generation;
        ++mount.epoch;
        mount.mounted = false;
        mount.lockOwner = nullptr;
        mount.implicitLock = false;
        for (Holder& holder : mount.holders) {
            holder.armedAt = view.arrivedAt;
            holder.releaseAt.reset();
        }
    }
    if (!view.present || mount.mounted || mount.lockOwner != nullptr) return view;
    for (const Holder& holder : mount.holders) {
        if (holder.armedAt + holder.config->holdsAfterMs <= now) {
            MountNow(mount);
            break;
        }
    }
    return view;
}

void VolumeMounts::MountNow(Mount& mount) {
    mount.mounted = true;
    mount.fileSystem = mount.hostFiles;
    mount.fileSystemEnd = std::numeric_limits<std::uint64_t>::max();
    if (mount.hostFiles) return;
    std::optional<FatMount> fat;
    if (FatMount::Open(*mount.device, &fat) != ERROR_SUCCESS) return;
    const FatLayout& layout = fat->Layout();
    mount.fileSystem = true;
    mount.fileSystemEnd =
        layout.dataOffset + std::uint64_t{layout.clusterCount} * layout.clusterBytes;
}

// The holders take hold again after their delay.
void VolumeMounts::Rearm(Mount& mount) {
    for (Holder& holder : mount.holders) {
        holder.armedAt = m_kernel.Now();
        holder.releaseAt.reset();
    }
}

bool VolumeMounts::Holding(const Mount& mount, const Holder& holder) const {
    std::uint64_t now = m_kernel.Now();
    return mount.lockOwner == nullptr && holder.armedAt + holder.config->holdsAfterMs <= now &&
           !(holder.releaseAt && *holder.releaseAt <= now);
}

void VolumeMounts::LetterMoved(char letter, SimDevice& device) {
    Mount* mount = Find(letter);
    if (mount == nullptr) return;
    mount->device = &device;
    VolumeView view = device.Volume(m_kernel.Now());
    mount->generation = view.generation;
    ++mount->epoch;
    mount->mounted = false;
    mount->lockOwner = nullptr;
    mount->implicitLock = false;
    for (Holder& holder : mount->holders) holder.armedAt = m_kernel.Now();
}

DWORD VolumeMounts::Access(char letter) {
    m_devices.CheckLetterMoves();
    Mount* mount = Find(letter);
    if (mount == nullptr) return ERROR_SUCCESS;
    if (!CatchUp(*mount).present) return ERROR_PATH_NOT_FOUND;
    if (mount->lockOwner != nullptr) return ERROR_ACCESS_DENIED;
    if (!mount->mounted) MountNow(*mount);
    return ERROR_SUCCESS;
}

unsigned VolumeMounts::Epoch(char letter) {
    Mount* mount = Find(letter);
    if (mount == nullptr) return 0;
    CatchUp(*mount);
    return mount->epoch;
}

DWORD VolumeMounts::OpenVolume(char letter, Opener opener, DWORD access, DWORD share,
                               bool othersOpen) {
    Mount* mount = Find(letter);
    if (mount == nullptr || !(access & GENERIC_WRITE) || (share & FILE_SHARE_WRITE))
        return ERROR_SUCCESS;
    CatchUp(*mount);
    bool held = false;
    for (const Holder& holder : mount->holders) held = held || Holding(*mount, holder);
    if (othersOpen || held) return ERROR_SHARING_VIOLATION;
    mount->lockOwner = opener;
    mount->implicitLock = true;
    return ERROR_SUCCESS;
}

void VolumeMounts::Closed(char letter, Opener opener) {
    Mount* mount = Find(letter);
    if (mount == nullptr || mount->lockOwner != opener) return;
    mount->lockOwner = nullptr;
    mount->implicitLock = false;
    Rearm(*mount);
}

// A holder that the request finds holding is asked to let go; the request
// fails all the same, and a later one may succeed.
DWORD VolumeMounts::Lock(char letter, Opener opener, bool othersOpen) {
    Mount* mount = Find(letter);
    if (mount == nullptr) return ERROR_SUCCESS;
    CatchUp(*mount);
    if (mount->lockOwner != nullptr) return ERROR_ACCESS_DENIED;
    bool held = false;
    for (Holder& holder : mount->holders) {
        if (!Holding(*mount, holder)) continue;
        held = true;
        if (!holder.releaseAt && holder.config->letsGoAfterMs)
            holder.releaseAt = m_kernel.Now() + *holder.config->letsGoAfterMs;
    }
    if (held || othersOpen) return ERROR_ACCESS_DENIED;
    mount->lockOwner = opener;
    mount->implicitLock = false;
    return ERROR_SUCCESS;
}

DWORD VolumeMounts::Unlock(char letter, Opener opener) {
    Mount* mount = Find(letter);
    if (mount == nullptr) return ERROR_SUCCESS;
    CatchUp(*mount);
    if (mount->lockOwner != opener || mount->implicitLock) return ERROR_NOT_LOCKED;
    mount->lockOwner = nullptr;
    Rearm(*mount);
    return ERROR_SUCCESS;
}

// The holders' handles die with the mount; they open the volume again after
// their delay, and mount it again unless it is locked by then.
DWORD VolumeMounts::Dismount(char letter, Opener opener, unsigned* epoch) {
    Mount* mount = Find(letter);
    if (mount == nullptr) return ERROR_SUCCESS;
    CatchUp(*mount);
    if (mount->lockOwner != nullptr && mount->lockOwner != opener) return ERROR_ACCESS_DENIED;
    mount->mounted = false;
    *epoch = ++mount->epoch;
    Rearm(*mount);
    return ERROR_SUCCESS;
}

DWORD VolumeMounts::RawWriteThroughVolume(char letter, Opener opener, std::uint64_t offset,
                                          std::uint64_t bytes) {
    Mount* mount = Find(letter);
    if (mount == nullptr) return ERROR_SUCCESS;
    CatchUp(*mount);
    if (mount->lockOwner == opener || !mount->mounted || !mount->fileSystem) return ERROR_SUCCESS;
    bool bootSector = offset + bytes <= mount->device->SectorSize();
    bool pastFileSystem = offset >= mount->fileSystemEnd;
    return bootSector || pastFileSystem ? ERROR_SUCCESS : DWORD{ERROR_ACCESS_DENIED};
}

DWORD VolumeMounts::RawWriteThroughDisk(SimDevice& device, std::uint64_t offset,
                                        std::uint64_t bytes) {
    for (Mount& mount : m_mounts) {
        if (mount.device != &device) continue;
        VolumeView view = CatchUp(mount);
        const VolumeExtent& extent = view.extent;
        bool inside = offset < extent.offset + extent.size && offset + bytes > extent.offset;
        if (!view.present || !inside) continue;
        if (mount.lockOwner != nullptr || !mount.mounted || !mount.fileSystem) continue;
        return ERROR_ACCESS_DENIED;
    }
    return ERROR_SUCCESS;
}

}  // namespace veldra::sim
