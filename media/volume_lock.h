// A USB stick is written through its physical drive, below its volume. On
// Windows Vista and later such a write into the sectors of a mounted volume
// succeeds only while that volume is locked or dismounted, so the volume of
// the drive the operator picked is locked and dismounted for as long as the
// raw writes last, and unlocked after them. Windows XP needs none of it and
// takes no harm from it; where the lock cannot be had (a program holds files
// open on the stick), the writes go ahead and report what the system says.
#pragma once

#include <string>

#include "disk/disk_info.h"

namespace veldra {

class VolumeLock {
public:
    VolumeLock(DiskPorts& ports, const std::string& strDrive);
    ~VolumeLock();
    VolumeLock(const VolumeLock&) = delete;
    VolumeLock& operator=(const VolumeLock&) = delete;

    bool Locked() const { return m_bLocked; }

private:
    DiskPorts& m_ports;
    UniqueFileHandle m_volume;
    bool m_bLocked = false;
};

}  // namespace veldra
