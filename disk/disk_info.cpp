#include "disk/disk_info.h"

#include <algorithm>
#include <cstring>

#include "disk/drive_classification.h"
#include "res/fixed_text.h"

namespace veldra {
namespace {

CDiskInfo* g_pDiskInfo = nullptr;

constexpr LONG kRegSuccess = static_cast<LONG>(ERROR_SUCCESS);

// Every device open of drive access: read and write, no buffering, and
// write-through: a device with a cache of its own is asked to put each write
// on the medium before it reports it done.
constexpr DWORD kDeviceAccess = GENERIC_READ | GENERIC_WRITE;
constexpr DWORD kDeviceFlags = FILE_FLAG_NO_BUFFERING | FILE_FLAG_WRITE_THROUGH;

const char* EnumKeyPath(EnumKey key) {
    switch (key) {
        case EnumKey::Disk:
            return kDiskEnumKey;
        case EnumKey::Sfloppy:
            return kSfloppyEnumKey;
        case EnumKey::Flpydisk:
            return kFlpydiskEnumKey;
    }
    return kDiskEnumKey;
}

// The answers of the real devices and registry, for the classification.
class PortProbes final : public DriveProbes {
public:
    explicit PortProbes(CDiskInfo& disk) : m_disk(disk), m_ports(disk.Ports()) {}

    UINT DriveType(char letter) override {
        const char root[] = {letter, ':', '\\', '\0'};
        return m_ports.devices.GetDriveTypeA(root);
    }

    DeviceNumberAnswer DeviceNumber(char letter) override { return m_disk.AskDeviceNumber(letter); }

    GeometryAnswer VolumeGeometry(char letter) override {
        return GeometryOf(UniqueFileHandle(m_ports.system, m_disk.OpenVolumeToProbe(letter)));
    }

    GeometryAnswer PhysicalGeometry(DWORD number) override {
        return GeometryOf(
            UniqueFileHandle(m_ports.system, m_disk.OpenDevicePath(PhysicalDrivePath(number))));
    }

    DeviceNameAnswer DeviceName(EnumKey key, std::int32_t index) override {
        DeviceNameAnswer answer;
        answer.name =
            m_disk.QueryDeviceName(EnumKeyPath(key), kDefaultDriveName, index, &answer.count);
        return answer;
    }

private:
    GeometryAnswer GeometryOf(UniqueFileHandle device) {
        GeometryAnswer answer;
        if (!device) return answer;
        answer.opened = true;
        DISK_GEOMETRY geometry{};
        answer.answered = m_disk.QueryGeometry(device.get(), &geometry);
        answer.mediaType = geometry.MediaType;
        return answer;
    }

    CDiskInfo& m_disk;
    DiskPorts& m_ports;
};

}  // namespace

CDiskInfo::CDiskInfo(DiskPorts ports) : m_ports(ports) {
    g_pDiskInfo = this;
}

CDiskInfo::~CDiskInfo() {
    if (g_pDiskInfo == this) g_pDiskInfo = nullptr;
}

// A seek that fails, or lands anywhere but where asked, must not be followed
// by a transfer: it would read or write the wrong place. A position whose low
// half is INVALID_SET_FILE_POINTER is an error only when GetLastError says so;
// SetFilePointer sets it either way.
bool SeekFile(DiskPorts& ports, HANDLE file, std::uint64_t offset) {
    std::int32_t high = static_cast<std::int32_t>(offset >> 32);
    DWORD low = ports.files.SetFilePointer(file, static_cast<std::int32_t>(offset & 0xFFFFFFFFu),
                                           &high, FILE_BEGIN);
    if (low == INVALID_SET_FILE_POINTER && ports.system.GetLastError() != ERROR_SUCCESS)
        return false;
    return ((std::uint64_t{static_cast<std::uint32_t>(high)} << 32) | low) == offset;
}

CDiskInfo* TheDiskInfo() {
    return g_pDiskInfo;
}

std::string VolumePath(char letter) {
    return std::string("\\\\.\\") + letter + ":";
}

std::string PhysicalDrivePath(std::uint32_t number) {
    return "\\\\.\\PhysicalDrive" + std::to_string(number);
}

void CDiskInfo::ScanDriveLetters(LetterTable& table) {
    PortProbes probes(*this);
    ClassifyDriveLetters(probes, table);
}

int CDiskInfo::ListRemovableDrives(DriveList& list, LetterTable& table) {
    ScanDriveLetters(table);
    std::int32_t count = 0;
    for (int i = 0; i < DRIVE_LETTER_COUNT; ++i) {
        const LetterEntry& entry = table.Entries[static_cast<std::size_t>(i)];
        if (entry.DriveType != static_cast<std::int32_t>(DRIVE_REMOVABLE)) continue;
        // Geometry, handle and the like stay as an earlier open left them.
        DriveRecord& record = list.Records[static_cast<std::size_t>(count)];
        record.Letters = std::string(1, static_cast<char>('A' + i));
        record.Name = entry.Name;
        record.DriveType = static_cast<std::int32_t>(DRIVE_REMOVABLE);
        record.DeviceNumber = entry.DeviceNumber;
        record.DeviceClass = entry.DeviceClass;
        record.Unlinked = entry.Unlinked;
        record.State = DRIVE_READY;
        record.ListIndex = static_cast<std::uint8_t>(count);
        ++count;
    }
    list.Count = count;
    return 0;
}

LONG CDiskInfo::QueryRegString(HKEY key, const char* valueName, char* buffer, DWORD bufferSize) {
    if (bufferSize == 0) return static_cast<LONG>(ERROR_INSUFFICIENT_BUFFER);
    buffer[0] = '\0';
    DWORD size = bufferSize;
    LONG result = m_ports.registry.RegQueryValueExA(key, valueName, nullptr,
                                                    reinterpret_cast<BYTE*>(buffer), &size);
    // A value stored without its NUL, or of another type, still ends inside
    // the buffer.
    if (result == static_cast<LONG>(ERROR_SUCCESS)) {
        buffer[std::min<DWORD>(size, bufferSize - 1)] = '\0';
    } else {
        buffer[0] = '\0';
    }
    return result;
}

LONG CDiskInfo::QueryRegDword(HKEY key, const char* valueName, DWORD* value) {
    *value = 0;
    DWORD size = sizeof(DWORD);
    return m_ports.registry.RegQueryValueExA(key, valueName, nullptr,
                                             reinterpret_cast<BYTE*>(value), &size);
}

std::string CDiskInfo::QueryDeviceName(const std::string& enumKey, const std::string& defaultName,
                                       std::int32_t index, std::int32_t* count) {
    *count = 0;
    HKEY enumHandle = NULL_HKEY;
    if (m_ports.registry.RegOpenKeyExA(HKEY_LOCAL_MACHINE, enumKey.c_str(), KEY_READ,
                                       &enumHandle) != kRegSuccess) {
        return defaultName;
    }
    std::string name = NameFromEnumKey(enumHandle, defaultName, index, count);
    m_ports.registry.RegCloseKey(enumHandle);
    return name;
}

// The open enumeration key's "Count", and the name of its device at index:
// the device key's FriendlyName, or its deviceDesc when that tells nothing.
std::string CDiskInfo::NameFromEnumKey(HKEY enumHandle, const std::string& defaultName,
                                       std::int32_t index, std::int32_t* count) {
    DWORD counted = 0;
    if (QueryRegDword(enumHandle, "Count", &counted) != kRegSuccess) return defaultName;
    *count = static_cast<std::int32_t>(counted);
    if (index >= *count) return defaultName;

    std::string valueName = std::to_string(static_cast<unsigned>(index));
    char instance[kRegStringBufferSize];
    if (QueryRegString(enumHandle, valueName.c_str(), instance, sizeof instance) != kRegSuccess)
        return defaultName;
    std::string devicePath = std::string(kDeviceEnumKey) + "\\" + instance;
    HKEY deviceHandle = NULL_HKEY;
    if (m_ports.registry.RegOpenKeyExA(HKEY_LOCAL_MACHINE, devicePath.c_str(), KEY_READ,
                                       &deviceHandle) != kRegSuccess) {
        return defaultName;
    }
    char text[kRegStringBufferSize];
    std::string name =
        QueryRegString(deviceHandle, "FriendlyName", text, sizeof text) == kRegSuccess
            ? std::string(text)
            : defaultName;
    if (name.empty() || name == defaultName) {
        name = QueryRegString(deviceHandle, "deviceDesc", text, sizeof text) == kRegSuccess
                   ? std::string(text)
                   : defaultName;
    }
    m_ports.registry.RegCloseKey(deviceHandle);
    return name;
}

HANDLE CDiskInfo::OpenDevicePath(const std::string& path, DWORD share) {
    return m_ports.files.CreateFileA(path.c_str(), kDeviceAccess, share, OPEN_EXISTING,
                                     kDeviceFlags);
}

HANDLE CDiskInfo::OpenVolumeToAsk(char letter) {
    return OpenDevicePath(VolumePath(letter), FILE_SHARE_READ | FILE_SHARE_WRITE);
}

// An open that asks for data access mounts the volume, and fails with
// ERROR_NOT_READY while no medium is in the drive; one without access rights
// mounts nothing and is still answered the device requests, which need none.
HANDLE CDiskInfo::OpenVolumeToProbe(char letter) {
    HANDLE volume = OpenVolumeToAsk(letter);
    if (volume != INVALID_HANDLE_VALUE || m_ports.system.GetLastError() != ERROR_NOT_READY)
        return volume;
    return m_ports.files.CreateFileA(VolumePath(letter).c_str(), 0,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING, 0);
}

bool CDiskInfo::QueryGeometry(HANDLE device, DISK_GEOMETRY* geometry) {
    DWORD returned = 0;
    return m_ports.devices.DeviceIoControl(device, IOCTL_DISK_GET_DRIVE_GEOMETRY, nullptr, 0,
                                           geometry, sizeof *geometry, &returned) &&
           returned >= sizeof *geometry;
}

bool CDiskInfo::IsWritable(HANDLE device) {
    DWORD returned = 0;
    return m_ports.devices.DeviceIoControl(device, IOCTL_DISK_IS_WRITABLE, nullptr, 0, nullptr, 0,
                                           &returned) != FALSE;
}

bool CDiskInfo::QueryDeviceNumber(HANDLE device, STORAGE_DEVICE_NUMBER* number) {
    DWORD returned = 0;
    return m_ports.devices.DeviceIoControl(device, IOCTL_STORAGE_GET_DEVICE_NUMBER, nullptr, 0,
                                           number, sizeof *number, &returned) &&
           returned >= sizeof *number;
}

DiskExtents CDiskInfo::QueryDiskExtents(HANDLE volume, DWORD* disk) {
    VOLUME_DISK_EXTENTS extents{};
    DWORD returned = 0;
    if (m_ports.devices.DeviceIoControl(volume, IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS, nullptr, 0,
                                        &extents, sizeof extents, &returned)) {
        if (returned < sizeof extents || extents.NumberOfDiskExtents == 0)
            return DiskExtents::Unanswered;
        *disk = extents.Extents[0].DiskNumber;
        return extents.NumberOfDiskExtents == 1 ? DiskExtents::One : DiskExtents::Several;
    }
    // Room for one extent only: the volume lies on more than one disk.
    return m_ports.system.GetLastError() == ERROR_MORE_DATA ? DiskExtents::Several
                                                            : DiskExtents::Unanswered;
}

DeviceNumberAnswer CDiskInfo::AskDeviceNumber(char letter) {
    DeviceNumberAnswer answer;
    UniqueFileHandle volume(m_ports.system, OpenVolumeToProbe(letter));
    if (!volume) return answer;
    answer.volumeOpened = true;
    STORAGE_DEVICE_NUMBER number{};
    answer.answered = QueryDeviceNumber(volume.get(), &number);
    answer.deviceType = number.DeviceType;
    answer.deviceNumber = number.DeviceNumber;
    answer.partitionNumber = number.PartitionNumber;
    if (answer.answered) answer.extents = QueryDiskExtents(volume.get(), &answer.extentDisk);
    return answer;
}

bool CDiskInfo::LetterOnDisk(char letter, DWORD number) {
    DeviceNumberAnswer answer = AskDeviceNumber(letter);
    return LiesOnItsDisk(answer) && answer.deviceNumber == number;
}

int CDiskInfo::ReadGeometry(const std::string& devicePath, DriveRecord& record, DWORD share) {
    UniqueFileHandle device(m_ports.system, OpenDevicePath(devicePath, share));
    if (!device) return -1;
    DISK_GEOMETRY geometry{};
    if (!QueryGeometry(device.get(), &geometry)) return -1;
    record.Cylinders = static_cast<std::uint32_t>(geometry.Cylinders.QuadPart);
    record.TracksPerCylinder = geometry.TracksPerCylinder;
    record.SectorsPerTrack = geometry.SectorsPerTrack;
    record.BytesPerSector = geometry.BytesPerSector;
    record.TotalSectors =
        std::uint64_t{record.Cylinders} * record.SectorsPerTrack * record.TracksPerCylinder;
    record.State = DRIVE_READY;
    return 0;
}

HANDLE CDiskInfo::OpenDrive(DriveRecord& record, DWORD share) {
    if (record.State != DRIVE_READY) return INVALID_HANDLE_VALUE;
    std::string path = record.DeviceClass == DEVCLASS_FLOPPY && !record.Letters.empty()
                           ? VolumePath(record.Letters[0])
                           : PhysicalDrivePath(record.DeviceNumber);
    record.Device = OpenDevicePath(path, share);
    return record.Device;
}

SectorRead CDiskInfo::ReadSectorsRaw(HANDLE device, std::uint32_t lba, std::uint32_t sectorSize,
                                     std::uint16_t count, void* buffer) {
    if (!SeekFile(m_ports, device, std::uint64_t{lba} * sectorSize)) return SectorRead::Failed;
    DWORD wanted = DWORD{count} * sectorSize;
    DWORD got = 0;
    if (!m_ports.files.ReadFile(device, buffer, wanted, &got) || got != wanted)
        return SectorRead::Failed;
    return SectorRead::Read;
}

DWORD CDiskInfo::WriteSectorsRaw(HANDLE device, std::uint32_t lba, std::uint32_t sectorSize,
                                 std::uint16_t count, const void* buffer) {
    auto failure = [this] {
        DWORD error = m_ports.system.GetLastError();
        return error != ERROR_SUCCESS ? error : DWORD{ERROR_WRITE_FAULT};
    };
    if (!SeekFile(m_ports, device, std::uint64_t{lba} * sectorSize)) return failure();
    DWORD wanted = DWORD{count} * sectorSize;
    DWORD written = 0;
    if (!m_ports.files.WriteFile(device, buffer, wanted, &written)) return failure();
    // A transfer cut short reports success and no error of its own.
    return written == wanted ? DWORD{ERROR_SUCCESS} : DWORD{ERROR_WRITE_FAULT};
}

SectorRead CDiskInfo::ReadSectors(const DriveRecord& record, std::uint32_t lba, std::uint16_t count,
                                  void* buffer) {
    if (record.State != DRIVE_READY) return SectorRead::Failed;
    return ReadSectorsRaw(record.Device, lba, record.BytesPerSector, count, buffer);
}

DWORD CDiskInfo::WriteSectors(const DriveRecord& record, std::uint32_t lba, std::uint16_t count,
                              const void* buffer) {
    if (record.State != DRIVE_READY) return SECTOR_WRITE_NOT_READY;
    return WriteSectorsRaw(record.Device, lba, record.BytesPerSector, count, buffer);
}

}  // namespace veldra
