#include "media/volume_lock.h"

namespace veldra {

VolumeLock::VolumeLock(DiskPorts& ports, const std::string& strDrive)
    : m_ports(ports),
      m_volume(ports.system,
               ports.files.CreateFileA(("\\\\.\\" + strDrive).c_str(), GENERIC_READ | GENERIC_WRITE,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING, 0)) {
    if (!m_volume) return;
    DWORD returned = 0;
    m_bLocked = m_ports.devices.DeviceIoControl(m_volume.get(), FSCTL_LOCK_VOLUME, nullptr, 0,
                                                nullptr, 0, &returned) != FALSE;
    m_ports.devices.DeviceIoControl(m_volume.get(), FSCTL_DISMOUNT_VOLUME, nullptr, 0, nullptr, 0,
                                    &returned);
}

VolumeLock::~VolumeLock() {
    if (!m_volume) return;
    DWORD returned = 0;
    if (m_bLocked) {
        m_ports.devices.DeviceIoControl(m_volume.get(), FSCTL_UNLOCK_VOLUME, nullptr, 0, nullptr, 0,
                                        &returned);
    }
}

}  // namespace veldra
