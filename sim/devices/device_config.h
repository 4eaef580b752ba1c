// The devices of a simulated machine as machine.ini describes them: disks
// ("\\.\PhysicalDriveN") and floppy units behind drive letters, each backed by
// an image file, with the answers it gives to the device requests and the
// faults it is to show; and the registry's keys. docs/machine.md describes
// the sections.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/device_port.h"

namespace veldra::sim {

enum class DeviceKind { Disk, Floppy };

// A device as a drive section names it: "disk 1", "floppy 0".
struct DeviceId {
    DeviceKind kind = DeviceKind::Disk;
    int unit = 0;
    bool operator<(const DeviceId& other) const {
        return kind != other.kind ? kind < other.kind : unit < other.unit;
    }
    bool operator==(const DeviceId& other) const = default;
};

// A device's own write cache, as the disk class driver meets it: none; one
// that a write-through handle's writes pass (the driver sets FUA on them);
// or one that keeps those too, because the driver knows the device does not
// take FUA or a bridge drops it. Whatever it holds reaches the medium only
// with a flush.
enum class WriteCache { None, Fua, NoFua };

struct DeviceConfig {
    DeviceId id;
    std::filesystem::path image;  // absolute; empty with no medium
    bool mediumPresent = true;
    // A USB disk not plugged in when the machine starts: no letter, no
    // "\\.\PhysicalDriveN", until the operator plugs it in.
    bool plugged = true;
    bool writeProtected = false;
    // IOCTL_STORAGE_GET_DEVICE_NUMBER's DeviceNumber; nullopt: the request
    // fails, as a legacy floppy controller's does.
    std::optional<DWORD> deviceNumber;
    // STORAGE_DEVICE_NUMBER.DeviceType. A device that is no disk-class disk
    // (a RAM or virtual disk driver) has no "\\.\PhysicalDriveN" of its own,
    // whatever number it answers.
    DWORD deviceType = FILE_DEVICE_DISK;
    MEDIA_TYPE mediaType = RemovableMedia;
    DWORD bytesPerSector = 512;
    DWORD sectorsPerTrack = 63;
    DWORD tracksPerCylinder = 255;
    // The layout the disk reports needs this many entries (more than four:
    // logical drives in extended partitions).
    std::optional<DWORD> layoutEntries;

    // Faults.
    int failingWrites = 0;               // raw writes that fail, after ...
    int writesBeforeFailing = 0;         // ... this many that succeed
    DWORD writeError = ERROR_CRC;        // what the failing writes report
    std::optional<int> pullAfterFiles;   // pulled once this many files were written on it
    std::optional<int> pullAtClose;      // pulled as the file written of this number closes
    std::optional<int> pullAfterWrites;  // pulled after this many raw writes
    // The raw write of this number (from 1) reports success but stores its
    // first byte inverted: a fault only reading back can see.
    std::optional<int> corruptWrite;
    // The same for the write of this number to a file on the medium's volume.
    std::optional<int> corruptFileWrite;
    int unmountedCreates = 0;  // file creations refused after each layout change
    // The raw transfer (read or write, counted together from 1) of this number
    // moves one sector less than asked and says so, as a transfer cut short by
    // a bus reset does.
    std::optional<int> shortTransfer;
    // The seek of this number on the device lands one sector before the
    // position asked for and reports where it landed.
    std::optional<int> straySeek;
    WriteCache writeCache = WriteCache::None;
    // The flush of this number (FlushFileBuffers on a handle of the device or
    // of a file on its volume, counted from 1) fails with writeError.
    std::optional<int> failingFlush;
    // The drive-layout change of this number (IOCTL_DISK_SET_DRIVE_LAYOUT,
    // counted from 1) fails with writeError: the device refuses the write of
    // its first sector.
    std::optional<int> failingLayout;

    // Windows 6.0 and later: after a drive-layout request the disk's volume is
    // gone until the system reads the partition table again, which it does on
    // IOCTL_DISK_UPDATE_PROPERTIES or on its own this long after the request
    // (nullopt: only when asked); the volume found then arrives this long
    // after the re-read. Milliseconds of the virtual clock.
    std::optional<std::uint64_t> rereadAfterMs = 5000;
    std::uint64_t appearAfterMs = 1000;
    // Windows 6.0 and later: once this disk's partition table has been read
    // again, the drive letters of its volume stand on that disk's volume
    // instead (the mount manager handed them on).
    std::optional<DeviceId> lettersGoTo;
};

// A registry value: REG_SZ text (code page 932) or a REG_DWORD.
struct RegistryValue {
    DWORD type = REG_SZ;
    std::string text;
    DWORD number = 0;
    bool terminated = true;  // REG_SZ stored with its NUL, as most writers do
};

// Keys by their path under HKEY_LOCAL_MACHINE, upper-cased; values by their
// upper-cased name.
using RegistryConfig = std::map<std::string, std::map<std::string, RegistryValue>>;

}  // namespace veldra::sim
