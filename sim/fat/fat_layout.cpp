#include "sim/fat/fat_layout.h"

#include <array>

namespace veldra::sim {
namespace {

bool IsPowerOfTwo(std::uint32_t v) {
    return v != 0 && (v & (v - 1)) == 0;
}

// Sector sizes Windows mounts FAT on.
bool IsSectorSize(std::uint32_t bytes) {
    return IsPowerOfTwo(bytes) && bytes >= 512 && bytes <= kMaxSectorBytes;
}

// Partition types of FAT volumes: FAT12, FAT16 below 32 MiB, FAT16, FAT32
// (CHS and LBA addressed), FAT16 LBA addressed.
bool IsFatPartitionType(std::uint8_t type) {
    switch (type) {
        case 0x01:
        case 0x04:
        case 0x06:
        case 0x0B:
        case 0x0C:
        case 0x0E:
            return true;
        default:
            return false;
    }
}

// Bytes one FAT needs for its entries of clusters 0 .. maxCluster.
std::uint64_t FatBytesNeeded(FatType type, std::uint32_t maxCluster) {
    std::uint64_t entries = std::uint64_t{maxCluster} + 1;
    switch (type) {
        case FatType::Fat12:
            return (entries * 3 + 1) / 2;
        case FatType::Fat16:
            return entries * 2;
        case FatType::Fat32:
            return entries * 4;
    }
    return entries * 4;
}

}  // namespace

std::optional<FatLayout> ParseFatBootSector(const std::uint8_t* s, std::uint32_t sectorBytes,
                                            std::uint64_t volumeBytes) {
    if (!IsSectorSize(sectorBytes)) return std::nullopt;
    if (s[0] != 0xEB && s[0] != 0xE9) return std::nullopt;
    std::uint32_t bytesPerSector = Le16(s + 11);
    std::uint32_t sectorsPerCluster = s[13];
    std::uint32_t reserved = Le16(s + 14);
    std::uint32_t fatCount = s[16];
    std::uint32_t rootEntries = Le16(s + 17);
    std::uint32_t media = s[21];
    std::uint32_t fatSectors16 = Le16(s + 22);
    std::uint32_t totalSectors = Le16(s + 19) != 0 ? Le16(s + 19) : Le32(s + 32);
    if (bytesPerSector != sectorBytes || !IsPowerOfTwo(sectorsPerCluster) || reserved == 0 ||
        fatCount == 0 || (media != 0xF0 && media < 0xF8) || totalSectors == 0) {
        return std::nullopt;
    }
    bool fat32Shaped = fatSectors16 == 0;
    std::uint32_t fatSectors = fat32Shaped ? Le32(s + 36) : fatSectors16;
    if (fatSectors == 0) return std::nullopt;
    if (fat32Shaped && (rootEntries != 0 || Le16(s + 42) != 0)) return std::nullopt;
    if (!fat32Shaped && rootEntries == 0) return std::nullopt;

    std::uint64_t rootSectors =
        (std::uint64_t{rootEntries} * 32 + bytesPerSector - 1) / bytesPerSector;
    std::uint64_t metaSectors = reserved + std::uint64_t{fatCount} * fatSectors + rootSectors;
    if (std::uint64_t{totalSectors} * bytesPerSector > volumeBytes || metaSectors >= totalSectors) {
        return std::nullopt;
    }
    std::uint64_t clusters = (totalSectors - metaSectors) / sectorsPerCluster;
    if (clusters == 0 || clusters > 0x0FFFFFF5) return std::nullopt;

    FatLayout layout;
    // The cluster count alone decides the FAT's width.
    layout.type = clusters < 4085    ? FatType::Fat12
                  : clusters < 65525 ? FatType::Fat16
                                     : FatType::Fat32;
    if ((layout.type == FatType::Fat32) != fat32Shaped) return std::nullopt;
    layout.sectorBytes = bytesPerSector;
    layout.clusterBytes = bytesPerSector * sectorsPerCluster;
    layout.clusterCount = static_cast<std::uint32_t>(clusters);
    layout.fatOffset = std::uint64_t{reserved} * bytesPerSector;
    layout.fatBytes = std::uint64_t{fatSectors} * bytesPerSector;
    layout.fatCount = fatCount;
    if (FatBytesNeeded(layout.type, layout.MaxCluster()) > layout.fatBytes) return std::nullopt;
    layout.rootOffset = layout.fatOffset + layout.fatBytes * fatCount;
    layout.rootEntries = rootEntries;
    layout.dataOffset = (metaSectors)*bytesPerSector;
    if (layout.type == FatType::Fat32) {
        std::uint16_t flags = Le16(s + 40);
        layout.mirrored = (flags & 0x80) == 0;
        layout.activeFat = layout.mirrored ? 0 : (flags & 0x0F);
        if (layout.activeFat >= fatCount) return std::nullopt;
        layout.rootCluster = Le32(s + 44);
        if (!layout.IsCluster(layout.rootCluster)) return std::nullopt;
        std::uint32_t fsInfo = Le16(s + 48);
        if (fsInfo >= 1 && fsInfo < reserved) {
            layout.fsInfoOffset = std::uint64_t{fsInfo} * bytesPerSector;
        }
    }
    return layout;
}

DWORD FindFatPartition(BlockDevice& medium, std::optional<FatPartition>* partition) {
    partition->reset();
    std::uint64_t size = medium.Size();
    if (size == 0) return ERROR_NOT_READY;
    std::uint32_t sectorBytes = medium.SectorSize();
    if (!IsSectorSize(sectorBytes) || size < sectorBytes) return ERROR_SUCCESS;
    std::array<std::uint8_t, kMaxSectorBytes> sector;
    if (DWORD error = medium.Read(0, sector.data(), sectorBytes)) return error;
    if (ParseFatBootSector(sector.data(), sectorBytes, size)) {
        *partition = FatPartition{0, size};
        return ERROR_SUCCESS;
    }
    if (sector[510] != 0x55 || sector[511] != 0xAA) return ERROR_SUCCESS;
    for (int i = 0; i < 4; ++i) {
        const std::uint8_t* entry = sector.data() + 446 + 16 * i;
        if (entry[0] != 0x00 && entry[0] != 0x80) return ERROR_SUCCESS;  // no partition table
    }
    for (int i = 0; i < 4; ++i) {
        const std::uint8_t* entry = sector.data() + 446 + 16 * i;
        if (entry[4] == 0) continue;
        // Windows mounts only the first partition of a removable medium.
        std::uint64_t start = std::uint64_t{Le32(entry + 8)} * sectorBytes;
        std::uint64_t length = std::uint64_t{Le32(entry + 12)} * sectorBytes;
        if (IsFatPartitionType(entry[4]) && start != 0 && length != 0 && start <= size &&
            length <= size - start) {
            *partition = FatPartition{start, length};
        }
        return ERROR_SUCCESS;
    }
    return ERROR_SUCCESS;
}

}  // namespace veldra::sim
