// How a drive letter is classified: floppy drive (opened through its volume)
// or disk (opened as a physical drive), with its device number and name.
//
// The rules decide over what the system answers about each letter and never
// touch the system themselves: the answers come through DriveProbes, asked
// in the order the rules need them, so that a letter costs only the probes
// its classification needs. CDiskInfo answers them from the real devices;
// tests answer them from tables.
#pragma once

#include <cstdint>
#include <string>

#include "disk/drive_types.h"
#include "platform/device_port.h"

namespace veldra {

// The driver enumeration keys that name devices.
enum class EnumKey { Disk, Sfloppy, Flpydisk };

// What IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS says of a volume: nothing (the
// request is not served: a system or a driver without a volume manager
// behind the letter), one extent, or more than one (a volume over several
// disks).
enum class DiskExtents { Unanswered, One, Several };

// What a volume says about its device number, and where it lies.
struct DeviceNumberAnswer {
    bool volumeOpened = false;
    bool answered = false;  // the device-number request succeeded
    DWORD deviceType = FILE_DEVICE_DISK;
    DWORD deviceNumber = 0;
    DWORD partitionNumber = 0;
    DiskExtents extents = DiskExtents::Unanswered;
    DWORD extentDisk = 0;  // the disk of the one extent
};

// Whether the answers tie the volume to the disk whose number it gives: a
// disk device, lying, where the system can tell, wholly on that disk. A RAM
// or virtual disk driver answers a number of its own, which may be another
// disk's "\\.\PhysicalDriveN": only the extents are Windows' own link.
bool LiesOnItsDisk(const DeviceNumberAnswer& answer);

// What an opened device says about its geometry.
struct GeometryAnswer {
    bool opened = false;
    bool answered = false;
    MEDIA_TYPE mediaType = Unknown;
};

// A device name read from an enumeration key, with the key's "Count".
struct DeviceNameAnswer {
    std::string name;
    std::int32_t count = 0;
};

class DriveProbes {
public:
    // GetDriveTypeA of "X:\".
    virtual UINT DriveType(char letter) = 0;
    // Opens the volume "\\.\X:" and asks IOCTL_STORAGE_GET_DEVICE_NUMBER.
    virtual DeviceNumberAnswer DeviceNumber(char letter) = 0;
    // Opens the volume "\\.\X:" and asks IOCTL_DISK_GET_DRIVE_GEOMETRY.
    virtual GeometryAnswer VolumeGeometry(char letter) = 0;
    // Opens "\\.\PhysicalDriveN" and asks IOCTL_DISK_GET_DRIVE_GEOMETRY.
    virtual GeometryAnswer PhysicalGeometry(DWORD number) = 0;
    // The name at index in the key (the default name when there is none).
    virtual DeviceNameAnswer DeviceName(EnumKey key, std::int32_t index) = 0;

protected:
    ~DriveProbes() = default;
};

// Fills every entry of the table, A to Z, and its LegacyFloppyCount.
void ClassifyDriveLetters(DriveProbes& probes, LetterTable& table);

}  // namespace veldra
