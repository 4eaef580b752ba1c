#include "media/volume_lock.h"

namespace veldra {

VolumeLock::VolumeLock(DiskPorts& ports, HANDLE volume)
    : m_ports(ports), m_owned(ports.system), m_hVolume(volume) {
    LockAndDismount();
}

VolumeLock::VolumeLock(DiskPorts& ports, UniqueFileHandle volume)
    : m_ports(ports), m_owned(std::move(volume)), m_hVolume(m_owned.get()) {
    LockAndDismount();
}

VolumeLock::~VolumeLock() {
    if (m_bLocked) Request(FSCTL_UNLOCK_VOLUME);
}

BOOL VolumeLock::Request(DWORD code) {
    DWORD returned = 0;
    return m_ports.devices.DeviceIoControl(m_hVolume, code, nullptr, 0, nullptr, 0, &returned);
}

// A volume in use answers ERROR_ACCESS_DENIED until its users let go; any
// other answer will not change by waiting.
void VolumeLock::LockAndDismount() {
    for (DWORD waited = 0;; waited += kLockRetryMs) {
        m_bLocked = Request(FSCTL_LOCK_VOLUME) != FALSE;
        if (m_bLocked || waited >= kLockPatienceMs ||
            m_ports.system.GetLastError() != ERROR_ACCESS_DENIED) {
            break;
        }
        m_ports.system.Sleep(kLockRetryMs);
    }
    Request(FSCTL_DISMOUNT_VOLUME);
}

PassLocks::PassLocks(CDiskInfo& disk, const CreateTarget& target) : m_disk(disk), m_target(target) {
    const DriveRecord& record = *target.pDrive;
    if (record.DeviceClass == DEVCLASS_FLOPPY) {
        if (target.volumeShared)
            m_locks.push_back(std::make_unique<VolumeLock>(disk.Ports(), target.hDevice));
        return;
    }
    Renew();
}

void PassLocks::Renew() {
    const DriveRecord& record = *m_target.pDrive;
    if (record.DeviceClass == DEVCLASS_FLOPPY) return;
    DiskPorts& ports = m_disk.Ports();
    m_locks.clear();
    for (char letter = 'A'; letter <= 'Z'; ++letter) {
        const char root[] = {letter, ':', '\\', '\0'};
        UINT type = ports.devices.GetDriveTypeA(root);
        if (type != DRIVE_REMOVABLE && type != DRIVE_FIXED) continue;
        // Only a volume that lies on the target disk: a RAM or virtual disk
        // answering the same number is another disk, not to be dismounted.
        if (!m_disk.LetterOnDisk(letter, DWORD{record.DeviceNumber})) continue;
        UniqueFileHandle volume(ports.system, m_disk.OpenVolumeToAsk(letter));
        if (!volume) continue;
        m_locks.push_back(std::make_unique<VolumeLock>(ports, std::move(volume)));
    }
}

}  // namespace veldra
