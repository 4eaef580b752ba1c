// An open file of a FatVolume. It keeps where its short entry lies and what
// this open has done (written, given times), and reads the entry afresh on
// every call; when the entry there is no longer this file, because the
// medium was changed beneath it, calls fail with ERROR_FILE_INVALID.
#pragma once

#include <array>
#include <memory>

#include "sim/fat/fat_mount.h"
#include "sim/fat/fat_volume.h"

namespace veldra::sim {

class FatFile final : public VolumeFile {
public:
    // modified: the open changed the file already (created or truncated it).
    FatFile(BlockDevice& medium, FatVolume::LocalClock clock, std::uint64_t entryOffset,
            const ShortName& name, bool modified, std::int32_t zoneMinutes = 0);
    ~FatFile() override;
    FatFile(const FatFile&) = delete;
    FatFile& operator=(const FatFile&) = delete;

    DWORD Read(std::uint64_t offset, void* buffer, DWORD bytes, DWORD* read) override;
    DWORD Write(std::uint64_t offset, const void* buffer, DWORD bytes, DWORD* written) override;
    DWORD Size(std::uint64_t* size) override;
    DWORD SetTimes(const FILETIME* creation, const FILETIME* lastAccess,
                   const FILETIME* lastWrite) override;
    // The file system keeps nothing of its own between calls; the device
    // below may (MediumVolume passes the flush on to it).
    DWORD Flush() override { return ERROR_SUCCESS; }
    DWORD Close() override;

private:
    using Entry = std::array<std::uint8_t, kEntryBytes>;

    DWORD Load(std::optional<FatMount>* mount, Entry* entry);
    // Writes at an offset no further than the file's end, growing its chain.
    DWORD WriteAt(FatMount& mount, Entry& entry, std::uint64_t offset, const std::uint8_t* data,
                  std::size_t bytes, std::size_t* done);

    BlockDevice& m_medium;
    FatVolume::LocalClock m_clock;
    std::uint64_t m_entryOffset;
    ShortName m_name;
    bool m_modified;
    bool m_lastWriteGiven = false;
    bool m_lastAccessGiven = false;
    bool m_closed = false;
    std::int32_t m_nZoneMinutes;
};

}  // namespace veldra::sim
