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

// What a volume says about its device number.
struct DeviceNumberAnswer {
    bool volumeOpened = false;
    bool answered = false;  // the request succeeded
    DWORD deviceNumber = 0;
    DWORD partitionNumber = 0;
};

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
