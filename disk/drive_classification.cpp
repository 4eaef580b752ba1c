#include "disk/drive_classification.h"

#include <array>

#include "res/fixed_text.h"

namespace veldra {
namespace {

constexpr int kFloppyNumberSlots = 26;

bool IsFloppyMediaType(MEDIA_TYPE type) {
    return type >= F5_1Pt2_512 && type <= F5_160_512;
}

// One scan: the floppy device numbers taken so far and the legacy floppy
// drives matched so far.
class LetterScan {
public:
    LetterScan(DriveProbes& probes, LetterTable& table) : m_probes(probes), m_table(table) {}

    void Classify(int index) {
        LetterEntry& entry = m_table.Entries[static_cast<std::size_t>(index)];
        char letter = static_cast<char>('A' + index);
        entry.DeviceClass = DEVCLASS_NONE;
        entry.DeviceNumber = DEVICE_NUMBER_NONE;
        entry.PartitionNumber = -1;
        entry.Unlinked = false;
        UINT type = m_probes.DriveType(letter);
        entry.DriveType = static_cast<std::int32_t>(type);
        if (type != DRIVE_REMOVABLE && type != DRIVE_FIXED) return;
        if (type == DRIVE_FIXED) entry.DeviceClass = DEVCLASS_DISK;
        entry.Name = kDefaultDriveName;

        DeviceNumberAnswer number = m_probes.DeviceNumber(letter);
        if (!number.volumeOpened) return;
        if (!number.answered) return ClassifyLegacyFloppy(entry, index);
        // A number the volume does not lie on names another disk: such a
        // letter keeps no number, and no class that would open that disk.
        if (!LiesOnItsDisk(number)) {
            entry.DeviceClass = DEVCLASS_NONE;
            entry.Unlinked = true;
            return;
        }

        // A number that does not fit the record would name another disk once
        // cut to 8 bits (and 255 means none): such a drive has no number.
        DWORD device = number.deviceNumber;
        if (device >= DEVICE_NUMBER_NONE) return;
        entry.DeviceNumber = static_cast<std::uint8_t>(device);
        entry.PartitionNumber = static_cast<std::int32_t>(number.partitionNumber);

        if (type == DRIVE_FIXED) {
            entry.Name = Name(EnumKey::Disk, device);
            return;
        }
        ClassifyRemovable(entry, index, device);
    }

    std::int32_t LegacyFloppyCount() const { return m_table.LegacyFloppyCount; }

private:
    // The device-number request failed: a legacy floppy drive, if the floppy
    // driver counts one more; otherwise a phantom letter dropped from lists.
    void ClassifyLegacyFloppy(LetterEntry& entry, int index) {
        DeviceNameAnswer legacy = m_probes.DeviceName(EnumKey::Flpydisk, m_table.LegacyFloppyCount);
        entry.Name = legacy.name;
        if (index < legacy.count) {
            entry.DeviceClass = DEVCLASS_FLOPPY;
            MarkFloppyNumber(static_cast<DWORD>(m_table.LegacyFloppyCount));
            m_table.LegacyFloppyCount += 1;
        } else {
            entry.DriveType = static_cast<std::int32_t>(DRIVE_UNKNOWN);
        }
    }

    void ClassifyRemovable(LetterEntry& entry, int index, DWORD device) {
        // Floppy numbers count the legacy drives first, the USB floppies after.
        std::int32_t usbFloppies = m_probes.DeviceName(EnumKey::Sfloppy, 0).count;
        std::int64_t floppyNumbers = std::int64_t{m_table.LegacyFloppyCount} + usbFloppies;
        if (static_cast<std::int64_t>(device) >= floppyNumbers) return AsDisk(entry, device);

        GeometryAnswer volume = m_probes.VolumeGeometry(static_cast<char>('A' + index));
        if (!volume.opened) return;
        if (volume.answered && IsFloppyMediaType(volume.mediaType)) return AsFloppy(entry, device);
        if (volume.answered &&
            (volume.mediaType == RemovableMedia || volume.mediaType == FixedMedia)) {
            return AsDisk(entry, device);
        }

        // No medium: the physical drive of the same number tells.
        GeometryAnswer physical = m_probes.PhysicalGeometry(device);
        if (!physical.opened) return AsFloppy(entry, device);
        if (physical.answered && physical.mediaType == FixedMedia) return AsFloppy(entry, device);
        if (index <= 2) return AsFloppy(entry, device);
        if (IsFloppyNumberUsed(device)) return AsDisk(entry, device);
    }

    void AsFloppy(LetterEntry& entry, DWORD device) {
        entry.Name =
            Name(EnumKey::Sfloppy, static_cast<std::int64_t>(device) - m_table.LegacyFloppyCount);
        entry.DeviceClass = DEVCLASS_FLOPPY;
        MarkFloppyNumber(device);
    }

    void AsDisk(LetterEntry& entry, DWORD device) {
        entry.Name = Name(EnumKey::Disk, device);
        entry.DeviceClass = DEVCLASS_DISK;
    }

    std::string Name(EnumKey key, std::int64_t index) {
        return m_probes.DeviceName(key, static_cast<std::int32_t>(index)).name;
    }

    void MarkFloppyNumber(DWORD device) {
        if (device < kFloppyNumberSlots) m_floppyNumberUsed[device] = 1;
    }
    bool IsFloppyNumberUsed(DWORD device) const {
        return device < kFloppyNumberSlots && m_floppyNumberUsed[device] == 1;
    }

    DriveProbes& m_probes;
    LetterTable& m_table;
    std::array<std::int32_t, kFloppyNumberSlots> m_floppyNumberUsed{};
};

}  // namespace

bool LiesOnItsDisk(const DeviceNumberAnswer& answer) {
    if (!answer.answered || answer.deviceType != FILE_DEVICE_DISK) return false;
    switch (answer.extents) {
        case DiskExtents::Unanswered:
            return true;
        case DiskExtents::One:
            return answer.extentDisk == answer.deviceNumber;
        case DiskExtents::Several:
            break;
    }
    return false;
}

void ClassifyDriveLetters(DriveProbes& probes, LetterTable& table) {
    table.LegacyFloppyCount = 0;
    LetterScan scan(probes, table);
    for (int i = 0; i < DRIVE_LETTER_COUNT; ++i) scan.Classify(i);
}

}  // namespace veldra
