// Drive discovery and raw device access: the program's one CDiskInfo. It
// keeps no drive state of its own; every operation works on the tables the
// main dialog owns and passes in.
#pragma once

#include <cstdint>
#include <string>

#include "disk/drive_classification.h"
#include "disk/drive_types.h"
#include "platform/device_port.h"
#include "platform/file_port.h"
#include "platform/registry_port.h"
#include "platform/system_port.h"

namespace veldra {

// The ports drive discovery and device access work through.
struct DiskPorts {
    SystemPort& system;
    FilePort& files;
    DevicePort& devices;
    RegistryPort& registry;
};

// Positions a file or device at a 64-bit offset; false when the seek fails or
// lands anywhere else.
bool SeekFile(DiskPorts& ports, HANDLE file, std::uint64_t offset);

// The registry's enumeration keys, under HKEY_LOCAL_MACHINE.
constexpr char kDiskEnumKey[] = "SYSTEM\\CurrentControlSet\\Services\\Disk\\Enum";
constexpr char kSfloppyEnumKey[] = "SYSTEM\\CurrentControlSet\\Services\\Sfloppy\\Enum";
constexpr char kFlpydiskEnumKey[] = "SYSTEM\\CurrentControlSet\\Services\\Flpydisk\\Enum";
constexpr char kDeviceEnumKey[] = "SYSTEM\\CurrentControlSet\\Enum";
constexpr DWORD kRegStringBufferSize = 320;

// What a sector read came to.
enum class SectorRead : int {
    Read = 0,
    Failed = -1,  // not ready, or the seek or the read failed or fell short
};

// What a sector write came to: ERROR_SUCCESS, SECTOR_WRITE_NOT_READY for a
// record that is not ready (nothing done), or the system's error code.
constexpr DWORD SECTOR_WRITE_NOT_READY = 0xFFFFFFFFu;

class CDiskInfo {
public:
    explicit CDiskInfo(DiskPorts ports);
    virtual ~CDiskInfo();
    CDiskInfo(const CDiskInfo&) = delete;
    CDiskInfo& operator=(const CDiskInfo&) = delete;

    // Drive enumeration.
    void ScanDriveLetters(LetterTable& table);
    int ListRemovableDrives(DriveList& list, LetterTable& table);
    std::string QueryDeviceName(const std::string& enumKey, const std::string& defaultName,
                                std::int32_t index, std::int32_t* count);
    LONG QueryRegString(HKEY key, const char* valueName, char* buffer, DWORD bufferSize);
    LONG QueryRegDword(HKEY key, const char* valueName, DWORD* value);

    // Raw device access. ReadGeometry returns 0 when it stored a geometry and
    // -1 when the open or the request failed (record unchanged). The devices
    // are opened sharing reading only, unless share says otherwise.
    int ReadGeometry(const std::string& devicePath, DriveRecord& record,
                     DWORD share = FILE_SHARE_READ);
    HANDLE OpenDrive(DriveRecord& record, DWORD share = FILE_SHARE_READ);
    SectorRead ReadSectors(const DriveRecord& record, std::uint32_t lba, std::uint16_t count,
                           void* buffer);
    DWORD WriteSectors(const DriveRecord& record, std::uint32_t lba, std::uint16_t count,
                       const void* buffer);
    SectorRead ReadSectorsRaw(HANDLE device, std::uint32_t lba, std::uint32_t sectorSize,
                              std::uint16_t count, void* buffer);
    DWORD WriteSectorsRaw(HANDLE device, std::uint32_t lba, std::uint32_t sectorSize,
                          std::uint16_t count, const void* buffer);

    // Opens a device path for raw access as every device open here does.
    HANDLE OpenDevicePath(const std::string& path, DWORD share = FILE_SHARE_READ);
    // Opens the volume "\\.\X:" to ask it something, sharing reading and
    // writing: a question must not be refused because another program has
    // the volume open.
    HANDLE OpenVolumeToAsk(char letter);
    // The same, falling back to an open without access rights where the
    // drive has no medium: what drive discovery asks needs none.
    HANDLE OpenVolumeToProbe(char letter);
    // IOCTL_DISK_GET_DRIVE_GEOMETRY on an open device.
    bool QueryGeometry(HANDLE device, DISK_GEOMETRY* geometry);
    // IOCTL_DISK_IS_WRITABLE on an open device: false, with the last error
    // (ERROR_WRITE_PROTECT), for a write-protected medium.
    bool IsWritable(HANDLE device);
    // IOCTL_STORAGE_GET_DEVICE_NUMBER on an open device.
    bool QueryDeviceNumber(HANDLE device, STORAGE_DEVICE_NUMBER* number);
    // IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS on an open volume, with room for
    // one extent; *disk is that extent's disk.
    DiskExtents QueryDiskExtents(HANDLE volume, DWORD* disk);
    // What the volume of a letter says its device number is, and where it lies.
    DeviceNumberAnswer AskDeviceNumber(char letter);
    // Whether the letter's volume lies on the disk of that number (LiesOnItsDisk).
    bool LetterOnDisk(char letter, DWORD number);

    DiskPorts& Ports() { return m_ports; }

private:
    std::string NameFromEnumKey(HKEY enumHandle, const std::string& defaultName, std::int32_t index,
                                std::int32_t* count);

    DiskPorts m_ports;
};

// The program's one instance: set while a CDiskInfo exists.
CDiskInfo* TheDiskInfo();

// "\\.\X:" and "\\.\PhysicalDriveN".
std::string VolumePath(char letter);
std::string PhysicalDrivePath(std::uint32_t number);

}  // namespace veldra
