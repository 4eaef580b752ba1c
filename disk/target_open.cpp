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
    if (target.pDrive != nullptr && target.pDrive->DeviceClass == DEVCLASS_FLOPPY)
        return TargetVolumePath(target);
    return PhysicalDrivePath(target.pDrive != nullptr ? target.pDrive->DeviceNumber
                                                      : DEVICE_NUMBER_NONE);
}

std::string TargetVolumePath(const CreateTarget& target) {
    return "\\\\.\\" + target.strDrive;
}

HANDLE OpenTargetOnce(CDiskInfo& disk, CreateTarget& target, const std::string& geometryPath) {
    if (target.platformId != VER_PLATFORM_WIN32_NT || target.pDrive == nullptr)
        return Store(target, INVALID_HANDLE_VALUE);
    DriveRecord& record = *target.pDrive;
    // An unclassified drive would be opened as whatever physical drive its
    // number names, which need not be the drive the operator picked.
    if (record.DeviceClass == DEVCLASS_NONE) return Store(target, INVALID_HANDLE_VALUE);

    // A failure leaves the earlier geometry; the check below decides.
    disk.ReadGeometry(geometryPath, record);
    HANDLE device = disk.OpenDrive(record);
    if (device == INVALID_HANDLE_VALUE) return Store(target, INVALID_HANDLE_VALUE);

    DISK_GEOMETRY geometry{};
    bool usable = disk.QueryGeometry(device, &geometry) &&
                  AcceptsMedium(record.DeviceClass, geometry.MediaType) &&
                  IsUsableSectorSize(record.BytesPerSector);
    if (!usable) {
        disk.Ports().system.CloseHandle(device);
        return Store(target, INVALID_HANDLE_VALUE);
    }
    return Store(target, device);
}

HANDLE OpenTargetWithAttempts(CDiskInfo& disk, CreateTarget& target,
                              const std::string& geometryPath) {
    HANDLE device = OpenTargetOnce(disk, target, geometryPath);
    for (int attempt = 1; attempt < kTargetOpenAttempts && device == INVALID_HANDLE_VALUE;
         ++attempt) {
        disk.Ports().system.Sleep(kTargetOpenPauseMs);
        device = OpenTargetOnce(disk, target, geometryPath);
    }
    return device;
}

}  // namespace veldra
