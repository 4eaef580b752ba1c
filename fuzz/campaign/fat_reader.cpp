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
    if (volume.bits == 16) return Le(image, fat + cluster * 2ull, 2);
    std::uint32_t pair = Le(image, fat + cluster * 3ull / 2, 2);
    return cluster % 2 ? pair >> 4 : pair & 0xFFF;
}

bool EndOfChain(const FatVolume& volume, std::uint32_t next) {
    return next >= (volume.bits == 16 ? 0xFFF8u : 0xFF8u);
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
    bool powerOfTwo =
        v.sectorsPerCluster != 0 && (v.sectorsPerCluster & (v.sectorsPerCluster - 1)) == 0;
    if (!powerOfTwo || v.reservedSectors == 0 || v.fats == 0 || v.fatSectors == 0 ||
        v.rootEntries == 0)
        return std::nullopt;
    v.bytes = sectors * 512ull;
    if (offset + v.bytes > image.size() || v.DataOffset() >= offset + v.bytes) return std::nullopt;
    v.clusterCount =
        static_cast<std::uint32_t>((offset + v.bytes - v.DataOffset()) / v.ClusterBytes());
    if (v.clusterCount >= 65525) return std::nullopt;  // FAT32: not needed here
    v.bits = v.clusterCount < 4085 ? 12 : 16;
    return v;
}

std::vector<FatFile> RootFiles(const std::string& image, const FatVolume& volume,
                               std::string* error) {
    std::vector<FatFile> files;
    for (std::uint32_t i = 0; i < volume.rootEntries; ++i) {
        std::uint64_t at = volume.RootOffset() + i * 32ull;
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
