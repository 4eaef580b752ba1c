// Devices: kernel32's GetDriveTypeA and DeviceIoControl, with the disk
// driver's requests and structures.
//
// Device paths ("\\.\A:" for a volume, "\\.\PhysicalDrive1" for a whole disk)
// open through FilePort::CreateFileA like files, with the same access and
// share-mode rules, and are read and written with ReadFile, WriteFile and
// SetFilePointer. Transfers on such a handle are whole sectors at sector-
// aligned offsets (FILE_FLAG_NO_BUFFERING); a write to a write-protected
// medium fails with ERROR_WRITE_PROTECT, a transfer on a drive without a
// medium with ERROR_NOT_READY.
//
// On Windows Vista and later a raw write into the sectors of a mounted volume
// fails with ERROR_ACCESS_DENIED unless the volume is locked
// (FSCTL_LOCK_VOLUME, refused with ERROR_ACCESS_DENIED while anything else has
// the volume open) or dismounted (FSCTL_DISMOUNT_VOLUME); a volume opened for
// writing without FILE_SHARE_WRITE is refused with ERROR_SHARING_VIOLATION
// while anything else has it open; and after IOCTL_DISK_SET_DRIVE_LAYOUT a
// disk's volumes are gone until the system reads the table again
// (IOCTL_DISK_UPDATE_PROPERTIES asks it to).
//
// A volume's link to the disk it lies on is IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS
// (Windows 2000 on for fixed disks, XP SP1 on for removable media; before,
// and for volumes no volume manager serves, such as virtual disks and floppy
// units, ERROR_INVALID_FUNCTION). IOCTL_STORAGE_GET_DEVICE_NUMBER's number is
// the driver's own word: a RAM or virtual disk answers one of its own, with a
// DeviceType other than FILE_DEVICE_DISK or not.
//
// DeviceIoControl is synchronous here (no OVERLAPPED). A request that the
// device does not support fails with ERROR_INVALID_FUNCTION; an output buffer
// too small for the answer fails with ERROR_INSUFFICIENT_BUFFER (a drive
// layout larger than the buffer: ERROR_INSUFFICIENT_BUFFER as well); no medium
// in the drive: ERROR_NOT_READY.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/handle.h"
#include "platform/win32_types.h"

namespace veldra {

#ifdef _WIN32

using ::DISK_EXTENT;
using ::DISK_GEOMETRY;
using ::DRIVE_LAYOUT_INFORMATION;
using ::GET_LENGTH_INFORMATION;
using ::LARGE_INTEGER;
using ::MEDIA_TYPE;
using ::PARTITION_INFORMATION;
using ::STORAGE_DEVICE_NUMBER;
using ::VOLUME_DISK_EXTENTS;

#else

union LARGE_INTEGER {
    struct {
        DWORD LowPart;
        std::int32_t HighPart;
    } u;
    std::int64_t QuadPart = 0;
};

// DISK_GEOMETRY.MediaType: 1 to 10 are floppy formats.
enum MEDIA_TYPE {
    Unknown = 0,
    F5_1Pt2_512 = 1,
    F3_1Pt44_512 = 2,
    F3_2Pt88_512 = 3,
    F3_20Pt8_512 = 4,
    F3_720_512 = 5,
    F5_360_512 = 6,
    F5_320_512 = 7,
    F5_320_1024 = 8,
    F5_180_512 = 9,
    F5_160_512 = 10,
    RemovableMedia = 11,
    FixedMedia = 12,
};

struct DISK_GEOMETRY {
    LARGE_INTEGER Cylinders;
    MEDIA_TYPE MediaType = Unknown;
    DWORD TracksPerCylinder = 0;
    DWORD SectorsPerTrack = 0;
    DWORD BytesPerSector = 0;
};

// IOCTL_DISK_GET_LENGTH_INFO: the disk's, or the volume's, length in bytes.
struct GET_LENGTH_INFORMATION {
    LARGE_INTEGER Length;
};

struct STORAGE_DEVICE_NUMBER {
    DWORD DeviceType = 0;
    DWORD DeviceNumber = 0;
    DWORD PartitionNumber = 0;
};

// IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS: where a volume lies, one extent per
// disk it spans; a buffer of one extent that is too small for the answer
// fails with ERROR_MORE_DATA.
struct DISK_EXTENT {
    DWORD DiskNumber = 0;
    LARGE_INTEGER StartingOffset;
    LARGE_INTEGER ExtentLength;
};

struct VOLUME_DISK_EXTENTS {
    DWORD NumberOfDiskExtents = 0;
    DISK_EXTENT Extents[1];
};

struct PARTITION_INFORMATION {
    LARGE_INTEGER StartingOffset;
    LARGE_INTEGER PartitionLength;
    DWORD HiddenSectors = 0;
    DWORD PartitionNumber = 0;
    BYTE PartitionType = 0;
    BYTE BootIndicator = 0;
    BYTE RecognizedPartition = 0;
    BYTE RewritePartition = 0;
};

// A layout of PartitionCount entries is 8 + 32 x PartitionCount bytes: the
// caller passes a buffer with room for as many as it expects.
struct DRIVE_LAYOUT_INFORMATION {
    DWORD PartitionCount = 0;
    DWORD Signature = 0;
    PARTITION_INFORMATION PartitionEntry[1];
};

#endif

static_assert(sizeof(LARGE_INTEGER) == 8);
static_assert(sizeof(DISK_GEOMETRY) == 24);
static_assert(sizeof(GET_LENGTH_INFORMATION) == 8);
static_assert(sizeof(STORAGE_DEVICE_NUMBER) == 12);
static_assert(sizeof(PARTITION_INFORMATION) == 32);
static_assert(sizeof(DISK_EXTENT) == 24 && offsetof(DISK_EXTENT, StartingOffset) == 8);
static_assert(sizeof(VOLUME_DISK_EXTENTS) == 32 && offsetof(VOLUME_DISK_EXTENTS, Extents) == 8);
static_assert(offsetof(DRIVE_LAYOUT_INFORMATION, PartitionEntry) == 8);

// The layout buffer of a partition-table reset: room for 104 entries.
constexpr DWORD kDriveLayoutEntries = 104;
constexpr DWORD kDriveLayoutBufferSize = 8 + kDriveLayoutEntries * sizeof(PARTITION_INFORMATION);
static_assert(kDriveLayoutBufferSize == 3336);

class DevicePort {
public:
    // The type of the drive whose root is given ("A:\"): DRIVE_REMOVABLE,
    // DRIVE_FIXED, ...; DRIVE_NO_ROOT_DIR for a letter without a drive.
    virtual UINT GetDriveTypeA(const char* rootPathName) = 0;
    virtual BOOL DeviceIoControl(HANDLE device, DWORD ioControlCode, const void* inBuffer,
                                 DWORD inBufferSize, void* outBuffer, DWORD outBufferSize,
                                 DWORD* bytesReturned) = 0;

protected:
    ~DevicePort() = default;
};

}  // namespace veldra
