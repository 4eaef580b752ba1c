#include "sim/fat/fat_mount.h"

#include <array>
#include <cstring>

#include "sim/kernel/errors.h"

namespace veldra::sim {

namespace {

// A BitLocker volume carries "-FVE-FS-" where a boot sector has its OEM name;
// while locked, nothing on it can be read. The volume is the medium's first
// partition, or the whole medium when sector 0 is that boot sector.
bool IsLockedBitLockerVolume(BlockDevice& medium) {
    std::uint32_t bytes = medium.SectorSize();
    if (bytes < 512 || bytes > kMaxSectorBytes || medium.Size() < bytes) return false;
    std::array<std::uint8_t, kMaxSectorBytes> sector;
    if (medium.Read(0, sector.data(), bytes)) return false;
    auto fve = [&] { return std::memcmp(sector.data() + 3, "-FVE-FS-", 8) == 0; };
    if (fve()) return true;
    if (sector[510] != 0x55 || sector[511] != 0xAA) return false;
    const std::uint8_t* entry = sector.data() + 446;
    std::uint64_t start = std::uint64_t{Le32(entry + 8)} * bytes;
    if (entry[4] == 0 || start == 0 || start + bytes > medium.Size()) return false;
    if (medium.Read(start, sector.data(), bytes)) return false;
    return fve();
}

}  // namespace

DWORD FatMount::Open(BlockDevice& medium, std::optional<FatMount>* mount) {
    mount->reset();
    if (medium.Size() != 0 && IsLockedBitLockerVolume(medium)) return FVE_E_LOCKED_VOLUME;
    std::optional<FatPartition> partition;
    if (DWORD error = FindFatPartition(medium, &partition)) return error;
    if (!partition) return ERROR_UNRECOGNIZED_VOLUME;
    // FindFatPartition found a sector size FAT allows.
    std::array<std::uint8_t, kMaxSectorBytes> boot;
    if (DWORD error = medium.Read(partition->offset, boot.data(), medium.SectorSize())) {
        return error;
    }
    std::optional<FatLayout> layout =
        ParseFatBootSector(boot.data(), medium.SectorSize(), partition->size);
    if (!layout) return ERROR_UNRECOGNIZED_VOLUME;
    mount->emplace(medium, *partition, *layout);
    return ERROR_SUCCESS;
}

FatMount::FatMount(BlockDevice& medium, const FatPartition& partition, const FatLayout& layout)
    : m_window(medium, partition.offset, partition.size),
      m_layout(layout),
      m_table(m_window, m_layout),
      m_view{m_window, m_layout, m_table} {}

DWORD FatMount::DirectoryAt(std::span<const std::string> path, std::uint32_t* directory) {
    std::uint32_t at = RootDirectory(m_layout);
    for (const std::string& name : path) {
        std::optional<FatFound> found;
        if (DWORD error = FindEntry(m_view, at, name, &found)) return error;
        if (!found || !found->IsDirectory()) return ERROR_PATH_NOT_FOUND;
        at = FirstCluster(m_layout, found->entry.data());
        // Only the root goes without a cluster of its own.
        if (!m_layout.IsCluster(at)) return ERROR_FILE_CORRUPT;
    }
    *directory = at;
    return ERROR_SUCCESS;
}

DWORD FatMount::EntryAt(const VolumePath& path, std::uint32_t* parent,
                        std::optional<FatFound>* found) {
    found->reset();
    if (DWORD error = DirectoryAt(std::span(path).first(path.size() - 1), parent)) return error;
    if (DWORD error = FindEntry(m_view, *parent, path.back(), found)) return error;
    return *found ? ERROR_SUCCESS : DWORD{ERROR_FILE_NOT_FOUND};
}

}  // namespace veldra::sim
