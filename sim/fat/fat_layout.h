// Where a FAT file system lies on a medium and how it is laid out: the
// partition rules and the boot sector's parameter block, checked so that
// every region they name lies inside the volume. Images come from anywhere
// (the program writes boot sectors raw), so a value that does not add up
// makes the volume unrecognized rather than trusted.
#pragma once

#include <cstdint>
#include <optional>

#include "sim/devices/block_device.h"

namespace veldra::sim {

// Little-endian fields of on-disk structures.
inline std::uint16_t Le16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
inline std::uint32_t Le32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
inline void PutLe16(std::uint8_t* p, std::uint16_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}
inline void PutLe32(std::uint8_t* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

// FAT volumes have sectors of 512 to this many bytes.
constexpr std::uint32_t kMaxSectorBytes = 4096;

// Byte range of a medium that holds a FAT volume.
struct FatPartition {
    std::uint64_t offset = 0;
    std::uint64_t size = 0;
};

// The whole medium when its first sector is a FAT boot sector (a
// "superfloppy"), else the first partition of its master boot record when
// that is of a FAT type and lies on the medium. *partition stays empty when
// neither holds; the error is the device's (ERROR_NOT_READY without a medium).
DWORD FindFatPartition(BlockDevice& medium, std::optional<FatPartition>* partition);

enum class FatType { Fat12, Fat16, Fat32 };

// The volume's geometry in bytes and clusters, from its boot sector.
struct FatLayout {
    FatType type = FatType::Fat12;
    std::uint32_t sectorBytes = 0;
    std::uint32_t clusterBytes = 0;
    std::uint32_t clusterCount = 0;  // data clusters, numbered 2 .. clusterCount + 1
    std::uint64_t fatOffset = 0;     // the first FAT copy
    std::uint64_t fatBytes = 0;      // one copy
    std::uint32_t fatCount = 0;
    std::uint32_t activeFat = 0;   // the copy that is read
    bool mirrored = true;          // every copy is written, not the active one alone
    std::uint64_t rootOffset = 0;  // FAT12/16: the fixed root directory
    std::uint32_t rootEntries = 0;
    std::uint32_t rootCluster = 0;  // FAT32: the root directory's first cluster
    std::uint64_t dataOffset = 0;
    std::uint64_t fsInfoOffset = 0;  // FAT32: 0 when the volume has no FSInfo sector

    std::uint32_t MaxCluster() const { return clusterCount + 1; }
    bool IsCluster(std::uint32_t cluster) const { return cluster >= 2 && cluster <= MaxCluster(); }
    std::uint64_t ClusterOffset(std::uint32_t cluster) const {
        return dataOffset + std::uint64_t{cluster - 2} * clusterBytes;
    }
};

// The layout a boot sector describes for a volume of volumeBytes, whose
// device has sectors of sectorBytes; nullopt when it is no FAT boot sector or
// names regions the volume does not hold.
std::optional<FatLayout> ParseFatBootSector(const std::uint8_t* sector, std::uint32_t sectorBytes,
                                            std::uint64_t volumeBytes);

}  // namespace veldra::sim
