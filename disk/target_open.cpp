#include "disk/target_open.h"

namespace veldra {
namespace {

HANDLE Store(CreateTarget& target, HANDLE handle) {
    target.hDevice = handle;
    if (target.pDrive != nullptr) target.pDrive->Device = handle;
    return handle;
}

}  // namespace

std::string TargetGeometryPath(const CreateTarget& target) {
    return PhysicalDrivePath(target.pDrive != nullptr ? target.pDrive->DeviceNumber
                                                      : DEVICE_NUMBER_NONE);
}

std::string TargetVolumePath(const CreateTarget& target) {
    return "\\\\.\\" + target.strDrive;
}

bool StillOnListedDisk(CDiskInfo& disk, const DriveRecord& record) {
    if (record.Letters.empty()) return false;
    return disk.LetterOnDisk(record.Letters[0], DWORD{record.DeviceNumber});
}

bool VolumeOnListedDevice(CDiskInfo& disk, const DriveRecord& record) {
    if (record.Letters.empty()) return false;
    SystemPort& system = disk.Ports().system;
    UniqueFileHandle volume(system, disk.OpenVolumeToAsk(record.Letters[0]));
    UniqueFileHandle physical(system, disk.OpenDevicePath(PhysicalDrivePath(record.DeviceNumber)));
    DISK_GEOMETRY ofVolume{};
    DISK_GEOMETRY ofDisk{};
    if (!volume || !physical || !disk.QueryGeometry(volume.get(), &ofVolume) ||
        !disk.QueryGeometry(physical.get(), &ofDisk)) {
        return true;
    }
    return ofVolume.Cylinders.QuadPart == ofDisk.Cylinders.QuadPart &&
           ofVolume.MediaType == ofDisk.MediaType &&
           ofVolume.TracksPerCylinder == ofDisk.TracksPerCylinder &&
           ofVolume.SectorsPerTrack == ofDisk.SectorsPerTrack &&
           ofVolume.BytesPerSector == ofDisk.BytesPerSector;
}

HANDLE OpenTargetOnce(CDiskInfo& disk, CreateTarget& target, const std::string& geometryPath) {
    target.deviceMoved = false;
    target.diskDoubtful = false;
    target.openError = ERROR_SUCCESS;
    if (target.platformId != VER_PLATFORM_WIN32_NT || target.pDrive == nullptr)
        return Store(target, INVALID_HANDLE_VALUE);
    DriveRecord& record = *target.pDrive;
    // An unclassified drive would be opened as whatever physical drive its
    // number names, which need not be the drive the operator picked.
    if (record.DeviceClass == DEVCLASS_NONE) {
        // Discovery could not ask its volume: a volume that may not be opened
        // for writing (a policy, an account without the rights) is a refusal.
        if (!record.Letters.empty()) {
            UniqueFileHandle volume(disk.Ports().system, disk.OpenVolumeToAsk(record.Letters[0]));
            if (!volume && disk.Ports().system.GetLastError() == ERROR_ACCESS_DENIED)
                target.openError = ERROR_ACCESS_DENIED;
        }
        return Store(target, INVALID_HANDLE_VALUE);
    }
    bool floppy = record.DeviceClass == DEVCLASS_FLOPPY;
    if (!floppy && !StillOnListedDisk(disk, record)) {
        // A volume that may not be opened for writing cannot be asked either:
        // that is a refusal, not a moved disk.
        if (disk.Ports().system.GetLastError() == ERROR_ACCESS_DENIED) {
            target.openError = ERROR_ACCESS_DENIED;
        } else {
            target.deviceMoved = true;
        }
        return Store(target, INVALID_HANDLE_VALUE);
    }
    if (!floppy && !VolumeOnListedDevice(disk, record)) {
        target.diskDoubtful = true;
        return Store(target, INVALID_HANDLE_VALUE);
    }

    // A failure leaves the earlier geometry; the check below decides.
    disk.ReadGeometry(geometryPath, record);
    HANDLE device = disk.OpenDrive(record);
    bool shared = false;
    if (device == INVALID_HANDLE_VALUE && floppy &&
        disk.Ports().system.GetLastError() == ERROR_SHARING_VIOLATION) {
        constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE;
        disk.ReadGeometry(geometryPath, record, kShareAll);
        device = disk.OpenDrive(record, kShareAll);
        shared = true;
    }
    if (device == INVALID_HANDLE_VALUE) {
        target.openError = disk.Ports().system.GetLastError();
        return Store(target, INVALID_HANDLE_VALUE);
    }

    DISK_GEOMETRY geometry{};
    bool usable = disk.QueryGeometry(device, &geometry) &&
                  AcceptsMedium(record.DeviceClass, geometry.MediaType) &&
                  IsUsableSectorSize(record.BytesPerSector);
    if (usable && !disk.IsWritable(device) &&
        disk.Ports().system.GetLastError() == ERROR_WRITE_PROTECT) {
        target.openError = ERROR_WRITE_PROTECT;
        usable = false;
    }
    if (!usable) {
        disk.Ports().system.CloseHandle(device);
        return Store(target, INVALID_HANDLE_VALUE);
    }
    target.volumeShared = shared;
    return Store(target, device);
}

HANDLE OpenTargetWithAttempts(CDiskInfo& disk, CreateTarget& target,
                              const std::string& geometryPath) {
    HANDLE device = OpenTargetOnce(disk, target, geometryPath);
    for (int attempt = 1; attempt < kTargetOpenAttempts && device == INVALID_HANDLE_VALUE &&
                          !target.deviceMoved && !target.diskDoubtful;
         ++attempt) {
        disk.Ports().system.Sleep(kTargetOpenPauseMs);
        device = OpenTargetOnce(disk, target, geometryPath);
    }
    return device;
}

}  // namespace veldra
