// A FAT12, FAT16 or FAT32 volume on a removable medium of the simulated
// machine. Nothing of the file system is kept between calls: each call finds
// the volume on the medium and reads what it needs afresh, as the program
// also writes sectors of the medium raw and both must see the other's
// changes. An open file remembers only where its directory entry lies.
//
// A medium without a FAT volume, or with a boot sector that does not add up,
// answers every call with ERROR_UNRECOGNIZED_VOLUME, as Windows does for an
// unformatted medium; a drive without a medium with ERROR_NOT_READY.
#pragma once

#include <functional>

#include "sim/devices/block_device.h"
#include "sim/files/volume.h"

namespace veldra::sim {

class FatVolume final : public Volume {
public:
    // The machine's local time, which stamps new and changed files.
    using LocalClock = std::function<SYSTEMTIME()>;

    // The medium is the whole device; the volume is where FindFatPartition
    // says. Both must outlive the volume and its open files.
    // zoneMinutes: the machine's time zone, east of UTC. FAT holds local
    // time: the driver converts the FILETIMEs it is given (UTC) with it, and
    // the times it reports back.
    FatVolume(BlockDevice& medium, LocalClock clock, std::int32_t zoneMinutes = 0);

    bool WriteProtected() const override { return m_medium.WriteProtected(); }
    // The free clusters' bytes; 0 when the medium holds no volume.
    std::optional<std::uint64_t> FreeBytes() const override;
    DWORD Find(const VolumePath& directory, const std::string& name,
               std::optional<VolumeEntry>* entry) override;
    DWORD List(const VolumePath& directory, std::vector<std::string>* names) override;
    DWORD Info(const VolumePath& path, VolumeEntryInfo* info) override;
    DWORD SetAttributes(const VolumePath& path, DWORD attributes) override;
    std::unique_ptr<VolumeFile> Open(const VolumePath& path, const VolumeOpen& how,
                                     DWORD* error) override;

private:
    BlockDevice& m_medium;
    LocalClock m_clock;
    std::int32_t m_nZoneMinutes;
};

}  // namespace veldra::sim
