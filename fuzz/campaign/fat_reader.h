// The oracle's own reader of FAT12, FAT16 and FAT32 volumes in an image: the
// root directory and each file's bytes by its cluster chain. It is kept apart from
// the simulator's file system on purpose: the campaign must not judge the
// program with the machine the program runs on.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace veldra::campaign {

struct FatFile {
    std::string name;  // "NAME.EXT", as the directory entry spells it
    std::uint8_t attributes = 0;
    std::uint32_t size = 0;
    std::uint8_t createdTenths = 0;  // 10 ms units past the 2 s of createdTime
    std::uint16_t createdTime = 0, createdDate = 0, accessDate = 0, writtenTime = 0,
                  writtenDate = 0;
    std::vector<std::uint32_t> clusters;  // in chain order
};

struct FatVolume {
    std::uint64_t offset = 0;  // of the boot sector in the image, in bytes
    std::uint64_t bytes = 0;   // the volume's extent
    int bits = 12;
    std::uint32_t sectorsPerCluster = 1, reservedSectors = 1, fats = 2, fatSectors = 0,
                  rootEntries = 0, clusterCount = 0;
    std::uint32_t rootCluster = 0;  // FAT32: the root is a chain of clusters from here
    std::uint64_t FatOffset() const { return offset + reservedSectors * 512ull; }
    std::uint64_t RootOffset() const { return FatOffset() + fats * fatSectors * 512ull; }
    std::uint64_t DataOffset() const { return RootOffset() + rootEntries * 32ull; }
    std::uint64_t ClusterOffset(std::uint32_t cluster) const {
        return DataOffset() + (cluster - 2) * sectorsPerCluster * 512ull;
    }
    std::uint32_t ClusterBytes() const { return sectorsPerCluster * 512; }
};

// The volume whose boot sector lies at offset, when it is one this reader
// understands (512-byte sectors, FAT12, FAT16 or FAT32, inside the image). The
// cluster count decides the width; a FAT32 boot sector (no 16-bit FAT size)
// over fewer than 65525 clusters, or the other way round, is none.
std::optional<FatVolume> ReadFatVolume(const std::string& image, std::uint64_t offset);

// The root's files and folders, without deleted entries, long-name pieces
// and the volume label. Empty with an error when a chain is broken.
std::vector<FatFile> RootFiles(const std::string& image, const FatVolume& volume,
                               std::string* error);
std::string FileBytes(const std::string& image, const FatVolume& volume, const FatFile& file);
std::uint32_t FreeClusters(const std::string& image, const FatVolume& volume);

}  // namespace veldra::campaign
