#include "fuzz/campaign/fat_reader.h"

#include <algorithm>

namespace veldra::campaign {
namespace {

std::uint32_t Le(const std::string& image, std::uint64_t at, int bytes) {
    std::uint32_t value = 0;
    for (int i = bytes - 1; i >= 0; --i)
        value = (value << 8) | static_cast<std::uint8_t>(image[at + static_cast<unsigned>(i)]);
    return value;
}

std::uint32_t NextCluster(const std::string& image, const FatVolume& volume,
                          std::uint32_t cluster) {
    std::uint64_t fat = volume.FatOffset();
    if (volume.bits == 32) return Le(image, fat + cluster * 4ull, 4) & 0x0FFFFFFF;
    if (volume.bits == 16) return Le(image, fat + cluster * 2ull, 2);
    std::uint32_t pair = Le(image, fat + cluster * 3ull / 2, 2);
    return cluster % 2 ? pair >> 4 : pair & 0xFFF;
}

bool EndOfChain(const FatVolume& volume, std::uint32_t next) {
    return next >= (volume.bits == 32 ? 0x0FFFFFF8u : volume.bits == 16 ? 0xFFF8u : 0xFF8u);
}

}  // namespace

std::optional<FatVolume> ReadFatVolume(const std::string& image, std::uint64_t offset) {
    if (offset + 512 > image.size()) return std::nullopt;
    auto byte = [&](int at) { return static_cast<std::uint8_t>(image[offset + at]); };
    if (byte(0) != 0xEB && byte(0) != 0xE9) return std::nullopt;
    if (Le(image, offset + 11, 2) != 512) return std::nullopt;
    FatVolume v;
    v.offset = offset;
    v.sectorsPerCluster = byte(13);
    v.reservedSectors = Le(image, offset + 14, 2);
    v.fats = byte(16);
    v.rootEntries = Le(image, offset + 17, 2);
    std::uint32_t sectors = Le(image, offset + 19, 2);
    if (sectors == 0) sectors = Le(image, offset + 32, 4);
    v.fatSectors = Le(image, offset + 22, 2);
    bool fat32 = v.fatSectors == 0;
    if (fat32) {
        v.fatSectors = Le(image, offset + 36, 4);
        v.rootCluster = Le(image, offset + 44, 4);
    }
    bool powerOfTwo =
        v.sectorsPerCluster != 0 && (v.sectorsPerCluster & (v.sectorsPerCluster - 1)) == 0;
    if (!powerOfTwo || v.reservedSectors == 0 || v.fats == 0 || v.fatSectors == 0 ||
        (v.rootEntries == 0) != fat32)
        return std::nullopt;
    v.bytes = sectors * 512ull;
    if (offset + v.bytes > image.size() || v.DataOffset() >= offset + v.bytes) return std::nullopt;
    v.clusterCount =
        static_cast<std::uint32_t>((offset + v.bytes - v.DataOffset()) / v.ClusterBytes());
    v.bits = v.clusterCount < 4085 ? 12 : v.clusterCount < 65525 ? 16 : 32;
    if ((v.bits == 32) != fat32) return std::nullopt;
    if (fat32 && (v.rootCluster < 2 || v.rootCluster >= v.clusterCount + 2)) return std::nullopt;
    if (v.FatOffset() + v.fatSectors * 512ull <
        v.FatOffset() + (v.clusterCount + 2ull) * v.bits / 8)
        return std::nullopt;
    return v;
}

std::vector<FatFile> RootFiles(const std::string& image, const FatVolume& volume,
                               std::string* error) {
    // Where the root's entries lie: a fixed area, or FAT32's chain of clusters.
    std::vector<std::uint64_t> entries;
    for (std::uint32_t i = 0; i < volume.rootEntries; ++i)
        entries.push_back(volume.RootOffset() + i * 32ull);
    for (std::uint32_t c = volume.rootCluster; c >= 2 && !EndOfChain(volume, c);
         c = NextCluster(image, volume, c)) {
        if (c >= volume.clusterCount + 2 || entries.size() > 32ull * volume.clusterCount) {
            *error = "broken chain of the root";
            return {};
        }
        for (std::uint32_t i = 0; i < volume.ClusterBytes() / 32; ++i)
            entries.push_back(volume.ClusterOffset(c) + i * 32ull);
    }
    std::vector<FatFile> files;
    for (std::uint64_t at : entries) {
        auto first = static_cast<std::uint8_t>(image[at]);
        if (first == 0x00) break;
        auto attributes = static_cast<std::uint8_t>(image[at + 11]);
        if (first == 0xE5 || (attributes & 0x0F) == 0x0F || (attributes & 0x08)) continue;
        FatFile file;
        std::string base = image.substr(at, 8), ext = image.substr(at + 8, 3);
        base.erase(base.find_last_not_of(' ') + 1);
        ext.erase(ext.find_last_not_of(' ') + 1);
        if (first == 0x05) base[0] = static_cast<char>(0xE5);
        file.name = ext.empty() ? base : base + "." + ext;
        file.attributes = attributes;
        file.createdTenths = static_cast<std::uint8_t>(image[at + 13]);
        file.createdTime = static_cast<std::uint16_t>(Le(image, at + 14, 2));
        file.createdDate = static_cast<std::uint16_t>(Le(image, at + 16, 2));
        file.accessDate = static_cast<std::uint16_t>(Le(image, at + 18, 2));
        file.writtenTime = static_cast<std::uint16_t>(Le(image, at + 22, 2));
        file.writtenDate = static_cast<std::uint16_t>(Le(image, at + 24, 2));
        file.size = Le(image, at + 28, 4);
        std::uint32_t cluster = Le(image, at + 26, 2);
        if (volume.bits == 32) cluster |= Le(image, at + 20, 2) << 16;
        while (cluster >= 2 && !EndOfChain(volume, cluster)) {
            if (cluster >= volume.clusterCount + 2 || file.clusters.size() > volume.clusterCount) {
                *error = "broken chain of " + file.name;
                return {};
            }
            file.clusters.push_back(cluster);
            cluster = NextCluster(image, volume, cluster);
        }
        files.push_back(file);
    }
    return files;
}

std::string FileBytes(const std::string& image, const FatVolume& volume, const FatFile& file) {
    std::string bytes;
    for (std::uint32_t cluster : file.clusters)
        bytes += image.substr(volume.ClusterOffset(cluster), volume.ClusterBytes());
    bytes.resize(std::min<std::size_t>(bytes.size(), file.size));
    return bytes;
}

std::uint32_t FreeClusters(const std::string& image, const FatVolume& volume) {
    std::uint32_t free = 0;
    for (std::uint32_t c = 2; c < volume.clusterCount + 2; ++c)
        free += NextCluster(image, volume, c) == 0;
    return free;
}

}  // namespace veldra::campaign
