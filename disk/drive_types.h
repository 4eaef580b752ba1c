// The records of drive discovery: one entry per drive letter, and the list of
// drives that the drive box shows (line i of the box is record i).
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "platform/handle.h"
#include "platform/win32_types.h"

namespace veldra {

enum : std::int32_t {
    DEVCLASS_NONE = 0,
    DEVCLASS_FLOPPY = 1,  // opened through its volume
    DEVCLASS_DISK = 2,    // opened as a physical drive
};

constexpr std::int32_t DRIVE_READY = 4;
constexpr std::uint8_t DEVICE_NUMBER_NONE = 255;
constexpr int DRIVE_LETTER_COUNT = 26;

struct LetterEntry {
    std::string Name;
    std::uint8_t DeviceNumber = DEVICE_NUMBER_NONE;
    std::int32_t PartitionNumber = -1;
    std::int32_t DriveType = static_cast<std::int32_t>(DRIVE_UNKNOWN);
    std::int32_t DeviceClass = DEVCLASS_NONE;
    // The volume answers a device number it does not lie on (a RAM or
    // virtual disk, a volume over several disks): not a target.
    bool Unlinked = false;
};

struct LetterTable {
    std::array<LetterEntry, DRIVE_LETTER_COUNT> Entries;
    std::int32_t LegacyFloppyCount = 0;
};

struct DriveRecord {
    std::string Letters;
    std::string Name;
    std::int32_t DriveType = static_cast<std::int32_t>(DRIVE_UNKNOWN);
    std::uint8_t DeviceNumber = DEVICE_NUMBER_NONE;
    std::uint32_t Cylinders = 0;
    std::uint32_t TracksPerCylinder = 0;
    std::uint32_t SectorsPerTrack = 0;
    std::uint64_t TotalSectors = 0;
    std::uint32_t BytesPerSector = 0;
    std::uint8_t ListIndex = 0;
    HANDLE Device = INVALID_HANDLE_VALUE;
    std::int32_t State = 0;
    std::int32_t DeviceClass = DEVCLASS_NONE;
    bool Unlinked = false;  // as the letter's entry
};

struct DriveList {
    std::int32_t Count = 0;
    std::array<DriveRecord, DRIVE_LETTER_COUNT> Records;
};

// Results of the dialog's drive list refresh.
enum class DriveListRefresh : int {
    NotNt = 0,  // drive discovery runs only on the NT line: nothing done
    Rebuilt = 1,
};

// Keeps the removable drives whose first letter suits the medium (C to Z for
// USB memory, A and B for a floppy disk), moved to the front in their order;
// Count becomes the number kept.
void KeepDrivesForMedium(DriveList& list, bool usbMedium);

}  // namespace veldra
