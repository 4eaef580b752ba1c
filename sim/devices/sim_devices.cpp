#include "sim/devices/sim_devices.h"

#include <array>
#include <charconv>
#include <cstddef>
#include <cstring>
#include <vector>

#include "host/text.h"
#include "platform/mbcs.h"
#include "sim/files/file_system.h"
#include "sim/kernel/errors.h"

namespace veldra::sim {
namespace {

constexpr char kPhysicalDrive[] = "\\\\.\\PHYSICALDRIVE";
constexpr std::size_t kMbrSignature = 440;
constexpr std::size_t kMbrTable = 446;

DWORD Le32(const BYTE* p) {
    return static_cast<DWORD>(p[0]) | (static_cast<DWORD>(p[1]) << 8) |
           (static_cast<DWORD>(p[2]) << 16) | (static_cast<DWORD>(p[3]) << 24);
}

void PutLe32(BYTE* p, DWORD value) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<BYTE>(value >> (8 * i));
}

// A GPT disk: a protective master boot record (an entry of type 0xEE) and
// the GPT header's signature in the next sector. The legacy layout requests
// describe only master boot records; for any other partition style the
// partition manager refuses them with STATUS_INVALID_DEVICE_REQUEST, which
// reaches the program as ERROR_INVALID_FUNCTION.
bool IsGptDisk(BlockDevice& device) {
    std::uint32_t size = device.SectorSize();
    if (size < 512 || device.Size() < 2ull * size) return false;
    std::vector<BYTE> sectors(2ull * size);
    if (device.Read(0, sectors.data(), sectors.size()) != ERROR_SUCCESS) return false;
    if (sectors[510] != 0x55 || sectors[511] != 0xAA) return false;
    bool protective = false;
    for (int i = 0; i < 4; ++i) protective |= sectors[kMbrTable + 16 * i + 4] == 0xEE;
    return protective && std::memcmp(&sectors[size], "EFI PART", 8) == 0;
}

bool IsFatPartitionType(BYTE type) {
    return type == 0x01 || type == 0x04 || type == 0x06 || type == 0x0B || type == 0x0C ||
           type == 0x0E;
}

}  // namespace

SimDevices::SimDevices(Kernel& kernel) : m_kernel(kernel) {
    for (const auto& [id, config] : kernel.Config().devices) {
        m_devices[id] = std::make_unique<SimDevice>(config, kernel.Config().FollowsVistaRules());
    }
    for (const auto& [letter, drive] : kernel.Config().drives) {
        if (!drive.device) continue;
        m_letters[letter] = *drive.device;
        SimDevice& device = *Find(*drive.device);
        if (device.Config().lettersGoTo && kernel.Config().FollowsVistaRules())
            m_movesAfter[letter] = device.Volume(kernel.Now()).generation;
    }
}

SimDevice* SimDevices::DeviceOf(char letter) {
    auto it = m_letters.find(AsciiUpper(letter));
    return it == m_letters.end() ? nullptr : Find(it->second);
}

// The letter goes once the disk's volume has gone and come back.
void SimDevices::CheckLetterMoves() {
    for (auto it = m_movesAfter.begin(); it != m_movesAfter.end();) {
        SimDevice& from = *DeviceOf(it->first);
        VolumeView view = from.Volume(m_kernel.Now());
        if (!view.present || view.generation == it->second) {
            ++it;
            continue;
        }
        char letter = it->first;
        m_letters[letter] = *from.Config().lettersGoTo;
        it = m_movesAfter.erase(it);
        if (m_moved) m_moved(letter, *DeviceOf(letter));
    }
}

SimDevice* SimDevices::Find(DeviceId id) {
    auto it = m_devices.find(id);
    return it == m_devices.end() ? nullptr : it->second.get();
}

// "\\.\PhysicalDriveN" is the disk that has number N now: the system hands a
// pulled disk's number to the next one that comes.
SimDevice* SimDevices::DiskNumbered(DWORD number) {
    for (auto& [id, device] : m_devices) {
        if (id.kind == DeviceKind::Disk && device->Config().deviceType == FILE_DEVICE_DISK &&
            device->Plugged() && device->Number() == number) {
            return device.get();
        }
    }
    return nullptr;
}

void SimDevices::Replug(char letter) {
    auto drive = m_kernel.Config().drives.find(AsciiUpper(letter));
    SimDevice* stick = drive != m_kernel.Config().drives.end() && drive->second.device
                           ? Find(*drive->second.device)
                           : nullptr;
    if (stick == nullptr || stick->Config().id.kind != DeviceKind::Disk)
        throw NotImplementedError(std::string("replug of ") + letter + ":, which is no disk");
    SimDevice* other = nullptr;
    for (auto& [id, device] : m_devices) {
        bool removable = device->Config().mediaType == RemovableMedia;
        if (id.kind == DeviceKind::Disk && device.get() != stick && removable &&
            device->MediumPresent() && other == nullptr) {
            other = device.get();
        }
    }
    if (other == nullptr) {
        throw NotImplementedError(std::string("replug of ") + letter +
                                  ": with no other removable disk to take its number");
    }
    if (m_pFiles->HandlesOn(*stick) || m_pFiles->HandlesOn(*other))
        throw NotImplementedError(std::string("replug of ") + letter + ": while a handle is open");
    std::optional<DWORD> number = stick->Number();
    stick->Replugged(other->Number(), m_kernel.Now());
    other->Replugged(number, m_kernel.Now());
}

BOOL SimDevices::Fail(DWORD error) {
    m_kernel.SetLastError(error);
    return FALSE;
}

bool SimDevices::IsDevicePath(const std::string& path) {
    return path.rfind("\\\\.\\", 0) == 0;
}

std::unique_ptr<VolumeFile> SimDevices::Open(const std::string& path, std::string* key,
                                             DWORD* error) {
    *key = host::UpperAscii(path);
    const std::string& name = *key;
    if (name.rfind(kPhysicalDrive, 0) == 0) {
        std::string digits = name.substr(sizeof kPhysicalDrive - 1);
        int unit = -1;
        auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), unit);
        SimDevice* device = (ec == std::errc() && end == digits.data() + digits.size() && unit >= 0)
                                ? DiskNumbered(static_cast<DWORD>(unit))
                                : nullptr;
        if (device == nullptr) {
            *error = ERROR_FILE_NOT_FOUND;
            return nullptr;
        }
        return std::make_unique<DeviceFile>(*device, '\0', 0);
    }
    if (name.size() == 6 && name[5] == ':' && name[4] >= 'A' && name[4] <= 'Z') {
        CheckLetterMoves();
        auto drive = m_kernel.Config().drives.find(name[4]);
        if (drive == m_kernel.Config().drives.end()) {
            *error = ERROR_FILE_NOT_FOUND;
            return nullptr;
        }
        // A drive on a host folder has no device behind it to open.
        if (!drive->second.device) {
            *error = ERROR_ACCESS_DENIED;
            return nullptr;
        }
        // An unplugged stick's letter is gone with it.
        if (!DeviceOf(name[4])->Plugged()) {
            *error = ERROR_FILE_NOT_FOUND;
            return nullptr;
        }
        return std::make_unique<DeviceFile>(*DeviceOf(name[4]), name[4],
                                            drive->second.partitionNumber);
    }
    throw NotImplementedError("device path " + path);
}

bool SimDevices::Removable(const SimDevice& device) const {
    if (device.Config().id.kind == DeviceKind::Floppy) return true;
    for (const auto& [letter, drive] : m_kernel.Config().drives) {
        if (drive.device == device.Config().id && drive.type == DRIVE_REMOVABLE) return true;
    }
    return false;
}

UINT SimDevices::GetDriveTypeA(const char* rootPathName) {
    std::string root = rootPathName ? rootPathName : "";
    if (root.size() != 3 || root[1] != ':' || root[2] != '\\') {
        throw NotImplementedError("GetDriveTypeA of '" + root + "'");
    }
    auto drive = m_kernel.Config().drives.find(AsciiUpper(root[0]));
    if (drive == m_kernel.Config().drives.end()) return DRIVE_NO_ROOT_DIR;
    // A letter whose volume has gone (a new partition table not yet read) is
    // no drive for the while.
    CheckLetterMoves();
    if (drive->second.device && !DeviceOf(drive->first)->Volume(m_kernel.Now()).present)
        return DRIVE_NO_ROOT_DIR;
    return static_cast<UINT>(drive->second.type);
}

BOOL SimDevices::DeviceIoControl(HANDLE handle, DWORD code, const void* in, DWORD inSize, void* out,
                                 DWORD outSize, DWORD* returned) {
    if (returned) *returned = 0;
    VolumeFile* behind = m_pFiles ? m_pFiles->FileBehind(handle) : nullptr;
    if (behind == nullptr) return FALSE;  // ERROR_INVALID_HANDLE is set
    auto* file = dynamic_cast<DeviceFile*>(behind);
    if (file == nullptr) return Fail(ERROR_INVALID_FUNCTION);
    DWORD ignored = 0;
    DWORD* count = returned ? returned : &ignored;
    bool floppy = file->Device().Config().id.kind == DeviceKind::Floppy;
    if (file->IsVolume() && m_pFiles->IsStale(handle)) return Fail(ERROR_FILE_INVALID);
    switch (code) {
        case IOCTL_STORAGE_GET_DEVICE_NUMBER:
            return DeviceNumber(*file, out, outSize, count);
        case IOCTL_DISK_GET_DRIVE_GEOMETRY:
            return Geometry(*file, out, outSize, count);
        case IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS:
            return DiskExtents(*file, out, outSize, count);
        case IOCTL_DISK_GET_LENGTH_INFO:
            if (floppy) return Fail(ERROR_INVALID_FUNCTION);
            return Length(*file, out, outSize, count);
        case IOCTL_DISK_GET_DRIVE_LAYOUT:
            if (floppy) return Fail(ERROR_INVALID_FUNCTION);
            return GetLayout(*file, out, outSize, count);
        case IOCTL_DISK_SET_DRIVE_LAYOUT:
            if (floppy) return Fail(ERROR_INVALID_FUNCTION);
            return SetLayout(*file, in, inSize);
        // The disk and floppy drivers ask the medium's write-protect state
        // here; the open of the device does not (it succeeds, and only the
        // writes fail).
        case IOCTL_DISK_IS_WRITABLE:
            if (!file->Device().MediumPresent()) return Fail(ERROR_NOT_READY);
            if (file->Device().WriteProtected()) return Fail(ERROR_WRITE_PROTECT);
            m_kernel.SetLastError(ERROR_SUCCESS);
            return TRUE;
        case IOCTL_DISK_UPDATE_PROPERTIES:
            if (floppy) return Fail(ERROR_INVALID_FUNCTION);
            file->Device().UpdateProperties(m_kernel.Now());
            m_kernel.SetLastError(ERROR_SUCCESS);
            return TRUE;
        case FSCTL_LOCK_VOLUME:
        case FSCTL_UNLOCK_VOLUME:
        case FSCTL_DISMOUNT_VOLUME:
            if (!file->IsVolume()) return Fail(ERROR_INVALID_PARAMETER);
            return m_pFiles->VolumeControl(handle, code);
        default:
            throw NotImplementedError("DeviceIoControl request " + std::to_string(code));
    }
}

BOOL SimDevices::DeviceNumber(DeviceFile& file, void* out, DWORD outSize, DWORD* returned) {
    std::optional<DWORD> deviceNumber = file.Device().Number();
    if (!deviceNumber) return Fail(ERROR_INVALID_FUNCTION);
    if (out == nullptr || outSize < sizeof(STORAGE_DEVICE_NUMBER))
        return Fail(ERROR_INSUFFICIENT_BUFFER);
    STORAGE_DEVICE_NUMBER number{};
    number.DeviceType = file.Device().Config().deviceType;
    number.DeviceNumber = *deviceNumber;
    number.PartitionNumber = file.IsVolume() ? file.PartitionNumber() : 0;
    std::memcpy(out, &number, sizeof number);
    *returned = sizeof number;
    return TRUE;
}

// Where a volume lies: one extent on the disk it stands on, unless the drive
// says otherwise. Floppy units, whole disks and devices that are no disks (a
// RAM or virtual disk driver) are served by no volume manager.
BOOL SimDevices::DiskExtents(DeviceFile& file, void* out, DWORD outSize, DWORD* returned) {
    if (!file.IsVolume()) return Fail(ERROR_INVALID_FUNCTION);
    const DriveConfig& drive = m_kernel.Config().drives.at(file.Letter());
    const DeviceConfig& config = file.Device().Config();
    bool served = config.id.kind == DeviceKind::Disk &&
                  (config.deviceType == FILE_DEVICE_DISK || !drive.extentDisks.empty());
    if (!served || drive.extentsFail) return Fail(ERROR_INVALID_FUNCTION);
    if (out == nullptr || outSize < sizeof(VOLUME_DISK_EXTENTS))
        return Fail(ERROR_INSUFFICIENT_BUFFER);
    std::vector<DWORD> disks = drive.extentDisks;
    if (disks.empty()) {
        if (!file.Device().Number()) return Fail(ERROR_INVALID_FUNCTION);
        disks.push_back(*file.Device().Number());
    }
    VolumeExtent where = MbrVolume(file.Device()).value_or(VolumeExtent{});
    DWORD room = 1 + (outSize - DWORD{sizeof(VOLUME_DISK_EXTENTS)}) / DWORD{sizeof(DISK_EXTENT)};
    std::vector<BYTE> answer(outSize, 0);
    PutLe32(answer.data(), static_cast<DWORD>(disks.size()));
    if (disks.size() > room) {
        std::memcpy(out, answer.data(), sizeof(VOLUME_DISK_EXTENTS));
        *returned = sizeof(VOLUME_DISK_EXTENTS);
        return Fail(ERROR_MORE_DATA);
    }
    for (std::size_t i = 0; i < disks.size(); ++i) {
        DISK_EXTENT extent{};
        extent.DiskNumber = disks[i];
        extent.StartingOffset.QuadPart = static_cast<std::int64_t>(where.offset);
        extent.ExtentLength.QuadPart = static_cast<std::int64_t>(where.size);
        std::memcpy(&answer[offsetof(VOLUME_DISK_EXTENTS, Extents) + i * sizeof extent], &extent,
                    sizeof extent);
    }
    DWORD size = DWORD{sizeof(VOLUME_DISK_EXTENTS)} +
                 static_cast<DWORD>(disks.size() - 1) * DWORD{sizeof(DISK_EXTENT)};
    std::memcpy(out, answer.data(), size);
    *returned = size;
    m_kernel.SetLastError(ERROR_SUCCESS);
    return TRUE;
}

BOOL SimDevices::Geometry(DeviceFile& file, void* out, DWORD outSize, DWORD* returned) {
    if (out == nullptr || outSize < sizeof(DISK_GEOMETRY)) return Fail(ERROR_INSUFFICIENT_BUFFER);
    if (!file.Device().MediumPresent()) return Fail(ERROR_NOT_READY);
    DISK_GEOMETRY geometry = file.Device().Geometry();
    std::memcpy(out, &geometry, sizeof geometry);
    *returned = sizeof geometry;
    return TRUE;
}

// As the disk driver answers it (DiskIoctlGetLengthInfo): the capacity read
// from the medium now, or through a volume's handle its partition's length.
BOOL SimDevices::Length(DeviceFile& file, void* out, DWORD outSize, DWORD* returned) {
    if (out == nullptr || outSize < sizeof(GET_LENGTH_INFORMATION))
        return Fail(ERROR_INSUFFICIENT_BUFFER);
    SimDevice& device = file.Device();
    if (!device.MediumPresent()) return Fail(ERROR_NOT_READY);
    std::uint64_t bytes = device.Size();
    if (file.IsVolume()) {
        std::optional<VolumeExtent> volume = MbrVolume(device);
        bytes = volume ? volume->size : 0;
    }
    GET_LENGTH_INFORMATION length{};
    length.Length.QuadPart = static_cast<std::int64_t>(bytes);
    std::memcpy(out, &length, sizeof length);
    *returned = sizeof length;
    return TRUE;
}

// The four primary entries of the master boot record, as the disk driver
// reports them; a layout of more entries (logical drives) only as far as the
// buffer holds them all.
BOOL SimDevices::GetLayout(DeviceFile& file, void* out, DWORD outSize, DWORD* returned) {
    SimDevice& device = file.Device();
    if (!device.MediumPresent()) return Fail(ERROR_NOT_READY);
    if (IsGptDisk(device)) return Fail(ERROR_INVALID_FUNCTION);
    DWORD entries = device.Config().layoutEntries.value_or(4);
    DWORD needed = 8 + entries * DWORD{sizeof(PARTITION_INFORMATION)};
    if (out == nullptr || outSize < needed) return Fail(ERROR_INSUFFICIENT_BUFFER);
    std::vector<BYTE> sector(device.SectorSize());
    if (sector.size() < 512) return Fail(ERROR_INVALID_FUNCTION);
    if (DWORD error = device.Read(0, sector.data(), sector.size())) return Fail(error);

    std::vector<BYTE> layout(needed, 0);
    PutLe32(&layout[0], entries);
    PutLe32(&layout[4], Le32(&sector[kMbrSignature]));
    for (DWORD i = 0; i < 4 && i < entries; ++i) {
        const BYTE* mbr = &sector[kMbrTable + 16 * i];
        PARTITION_INFORMATION partition{};
        DWORD first = Le32(mbr + 8);
        DWORD length = Le32(mbr + 12);
        partition.StartingOffset.QuadPart = std::int64_t{first} * device.SectorSize();
        partition.PartitionLength.QuadPart = std::int64_t{length} * device.SectorSize();
        partition.HiddenSectors = first;
        partition.PartitionNumber = mbr[4] != 0 ? i + 1 : 0;
        partition.PartitionType = mbr[4];
        partition.BootIndicator = mbr[0] == 0x80;
        partition.RecognizedPartition = IsFatPartitionType(mbr[4]);
        std::memcpy(&layout[8 + i * sizeof partition], &partition, sizeof partition);
    }
    std::memcpy(out, layout.data(), needed);
    *returned = needed;
    return TRUE;
}

// Writes the master boot record anew: the boot code stays, the signature and
// the four primary entries come from the layout given.
BOOL SimDevices::SetLayout(DeviceFile& file, const void* in, DWORD inSize) {
    SimDevice& device = file.Device();
    if (!device.MediumPresent()) return Fail(ERROR_NOT_READY);
    if (in == nullptr || inSize < 8) return Fail(ERROR_INVALID_PARAMETER);
    const BYTE* layout = static_cast<const BYTE*>(in);
    DWORD count = Le32(layout);
    if (count > (inSize - 8) / sizeof(PARTITION_INFORMATION)) return Fail(ERROR_INVALID_PARAMETER);
    if (IsGptDisk(device)) return Fail(ERROR_INVALID_FUNCTION);
    if (device.WriteProtected()) return Fail(ERROR_WRITE_PROTECT);
    if (device.LayoutWriteFails()) return Fail(device.Config().writeError);
    std::vector<BYTE> sector(device.SectorSize());
    if (sector.size() < 512) return Fail(ERROR_INVALID_FUNCTION);
    if (DWORD error = device.Read(0, sector.data(), sector.size())) return Fail(error);

    PutLe32(&sector[kMbrSignature], Le32(layout + 4));
    sector[444] = sector[445] = 0;
    std::memset(&sector[kMbrTable], 0, 64);
    for (DWORD i = 0; i < 4 && i < count; ++i) {
        PARTITION_INFORMATION partition{};
        std::memcpy(&partition, layout + 8 + i * sizeof partition, sizeof partition);
        if (partition.PartitionType == 0) continue;
        BYTE* mbr = &sector[kMbrTable + 16 * i];
        mbr[0] = partition.BootIndicator ? 0x80 : 0x00;
        mbr[4] = partition.PartitionType;
        PutLe32(mbr + 8,
                static_cast<DWORD>(partition.StartingOffset.QuadPart / device.SectorSize()));
        PutLe32(mbr + 12,
                static_cast<DWORD>(partition.PartitionLength.QuadPart / device.SectorSize()));
    }
    sector[510] = 0x55;
    sector[511] = 0xAA;
    if (DWORD error = device.Write(0, sector.data(), sector.size())) return Fail(error);
    device.LayoutChanged(m_kernel.Now());
    return TRUE;
}

}  // namespace veldra::sim
