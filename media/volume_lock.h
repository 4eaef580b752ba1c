// The volume locks around a pass of raw writes. From Windows Vista on, a
// write into the sectors of a mounted volume succeeds only while that volume
// is locked or dismounted, whether it goes through the volume or through the
// disk below it. So before a pass every volume on the target disk is locked
// (all of them, not only the picked letter's), or, for a floppy whose volume
// had to be opened sharing writing, the target's own handle; each is then
// dismounted, so that the file system forgets what it cached of the sectors
// about to change. The locks are given back when the pass ends.
//
// Explorer, AutoPlay or an antivirus let go of a volume only some time after a
// lock request, so the lock is asked for again every 100 ms for up to five
// seconds; a volume that still cannot be locked is dismounted all the same,
// and the writes report what the system says. Windows XP needs none of it and
// takes no harm from it.
#pragma once

#include <memory>
#include <vector>

#include "disk/target_open.h"

namespace veldra {

constexpr DWORD kLockRetryMs = 100;
constexpr DWORD kLockPatienceMs = 5000;

// One volume: locked (with patience) and dismounted at construction, unlocked
// at destruction.
class VolumeLock {
public:
    // On a handle the caller keeps open (a floppy's target).
    VolumeLock(DiskPorts& ports, HANDLE volume);
    // On a handle of its own, closed at destruction.
    VolumeLock(DiskPorts& ports, UniqueFileHandle volume);
    ~VolumeLock();
    VolumeLock(const VolumeLock&) = delete;
    VolumeLock& operator=(const VolumeLock&) = delete;

    bool Locked() const { return m_bLocked; }

private:
    void LockAndDismount();
    BOOL Request(DWORD code);

    DiskPorts& m_ports;
    UniqueFileHandle m_owned;
    HANDLE m_hVolume;
    bool m_bLocked = false;
};

// The locks one pass over a target needs: every volume whose letter answers
// the disk's device number, for a whole disk; the target's own volume, for a
// floppy opened sharing writing; none for a floppy opened for itself alone
// (that open holds the volume's lock by itself).
class PassLocks {
public:
    PassLocks(CDiskInfo& disk, const CreateTarget& target);
    PassLocks(const PassLocks&) = delete;
    PassLocks& operator=(const PassLocks&) = delete;

    std::size_t Count() const { return m_locks.size(); }
    // The disk's volumes as they are now, locked anew: the empty partition
    // table leaves a stick formatted from its first sector a volume, which
    // the system mounts again (and Explorer or AutoPlay open) during the pass.
    void Renew();

private:
    CDiskInfo& m_disk;
    const CreateTarget& m_target;
    std::vector<std::unique_ptr<VolumeLock>> m_locks;
};

}  // namespace veldra
