// The file allocation table of a FAT volume, read and written a sector at a
// time so that memory stays small whatever the medium's size. One FatTable
// serves one call on the volume: it keeps the sector it last touched and
// what it allocated, and Flush writes them (to every FAT copy, and the
// FAT32 free-space hints).
#pragma once

#include <array>
#include <cstddef>
#include <vector>

#include "sim/fat/fat_layout.h"

namespace veldra::sim {

// Byte ranges through whole-sector transfers, as a disk takes them.
DWORD ReadBytes(BlockDevice& volume, std::uint32_t sectorBytes, std::uint64_t offset, void* buffer,
                std::size_t bytes);
DWORD WriteBytes(BlockDevice& volume, std::uint32_t sectorBytes, std::uint64_t offset,
                 const void* buffer, std::size_t bytes);

class FatTable {
public:
    FatTable(BlockDevice& volume, const FatLayout& layout);

    // The cluster after this one in its chain; *end when the chain ends
    // here. ERROR_FILE_CORRUPT when the entry is free, bad or outside the
    // volume: a chain that leads there is broken.
    DWORD Next(std::uint32_t cluster, std::uint32_t* next, bool* end);
    // The cluster at this index of a chain (0: first itself), walking no more
    // links than the volume has clusters.
    DWORD Seek(std::uint32_t first, std::uint64_t index, std::uint32_t* cluster);
    // The last cluster of a chain and how many it has.
    DWORD Last(std::uint32_t first, std::uint32_t* last, std::uint32_t* count);

    // A free cluster, looking from hint onwards and around, marked as the end
    // of a chain; ERROR_DISK_FULL when there is none.
    DWORD Allocate(std::uint32_t hint, std::uint32_t* cluster);
    // Links previous to next (previous becomes a middle link).
    DWORD Link(std::uint32_t previous, std::uint32_t next);
    // Frees every cluster of a chain; stops quietly at a broken link, as the
    // rest of such a chain belongs to nothing sound.
    DWORD FreeChain(std::uint32_t first);

    DWORD CountFree(std::uint32_t* free);
    // The FAT32 hint where a search for free clusters starts; 2 without one.
    DWORD FreeHint(std::uint32_t* hint);
    DWORD Flush();

private:
    DWORD Entry(std::uint32_t cluster, std::uint32_t* value);
    DWORD SetEntry(std::uint32_t cluster, std::uint32_t value);
    DWORD Byte(std::uint64_t fatByte, std::uint8_t** byte);
    DWORD FlushSector();
    DWORD UpdateFsInfo();

    BlockDevice& m_volume;
    const FatLayout& m_layout;
    std::array<std::uint8_t, kMaxSectorBytes> m_sector;  // sectorBytes of it
    std::uint64_t m_sectorIndex = ~std::uint64_t{0};     // within one FAT copy; none yet
    bool m_dirty = false;
    std::int64_t m_freedMinusAllocated = 0;
    std::uint32_t m_lastAllocated = 0;
};

}  // namespace veldra::sim
