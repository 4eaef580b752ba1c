// The FAT layer of the simulated machine over a hostile medium (a floppy or a
// disk with an MBR), held in memory. Every directory is walked, every file
// found again by name and read to its end, then one file is created and
// written, as the Create command does on a medium whose sectors came from a
// data file.
//
// The input is the medium's size in sectors (4 bytes, little-endian), then its
// first bytes; the rest of it reads as zeros. A FAT16 volume needs megabytes,
// nearly all of them empty: an input that held them all would cost libFuzzer
// a copy and a hash of megabytes per run, and run a few hundred a second.
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "host/text.h"
#include "sim/fat/fat_mount.h"
#include "sim/fat/fat_volume.h"

namespace {

using namespace veldra;
using namespace veldra::sim;

constexpr std::uint32_t kSector = 512;
// Past FAT16's smallest volumes, and far from FAT32's.
constexpr std::uint64_t kMaxSectors = 16u << 10;

// The input's bytes as the medium's start, read in place; the sectors the
// volume writes are kept aside.
class SparseMedium final : public BlockDevice {
public:
    SparseMedium(std::uint64_t sectors, const std::uint8_t* data, std::size_t size)
        : m_data(data),
          m_dataSize(size),
          m_size(std::clamp<std::uint64_t>(sectors, 1, kMaxSectors) * kSector) {}

    std::uint32_t SectorSize() const override { return kSector; }
    std::uint64_t Size() const override { return m_size; }
    bool WriteProtected() const override { return false; }
    DWORD Read(std::uint64_t offset, void* buffer, std::size_t bytes) override {
        if (offset > m_size || bytes > m_size - offset) return ERROR_SECTOR_NOT_FOUND;
        auto* out = static_cast<std::uint8_t*>(buffer);
        while (bytes > 0) {
            std::size_t within = offset % kSector, take = std::min(bytes, kSector - within);
            auto written = m_written.find(offset / kSector);
            if (written != m_written.end()) {
                std::memcpy(out, written->second.data() + within, take);
            } else {
                CopyOriginal(offset, out, take);
            }
            offset += take;
            out += take;
            bytes -= take;
        }
        return ERROR_SUCCESS;
    }
    DWORD Write(std::uint64_t offset, const void* buffer, std::size_t bytes) override {
        if (offset > m_size || bytes > m_size - offset) return ERROR_SECTOR_NOT_FOUND;
        const auto* in = static_cast<const std::uint8_t*>(buffer);
        while (bytes > 0) {
            std::size_t within = offset % kSector, take = std::min(bytes, kSector - within);
            auto [sector, fresh] = m_written.try_emplace(offset / kSector);
            if (fresh) CopyOriginal(offset - within, sector->second.data(), kSector);
            std::memcpy(sector->second.data() + within, in, take);
            offset += take;
            in += take;
            bytes -= take;
        }
        return ERROR_SUCCESS;
    }

private:
    // The medium as the input gave it: its bytes, then zeros.
    void CopyOriginal(std::uint64_t offset, std::uint8_t* out, std::size_t bytes) const {
        std::size_t from = offset < m_dataSize ? std::min(bytes, m_dataSize - offset) : 0;
        if (from > 0) std::memcpy(out, m_data + offset, from);
        std::memset(out + from, 0, bytes - from);
    }

    const std::uint8_t* m_data;
    std::size_t m_dataSize;
    std::uint64_t m_size;
    std::map<std::uint64_t, std::array<std::uint8_t, kSector>> m_written;
};

SYSTEMTIME Clock() {
    return SYSTEMTIME{2024, 5, 5, 3, 17, 9, 41, 730};
}

// What one walk may do. A hostile medium may claim files of gigabytes, or
// chains that loop, and directories of thousands of entries, each of which
// costs a scan of its directory to find again; a walk stops after so many
// entries and bytes, past all the seeds hold, so that the time goes to many
// inputs rather than to one long one.
struct Budget {
    int entries;
    std::uint64_t bytes;
};

void ReadWhole(FatVolume& volume, const VolumePath& path, Budget* budget) {
    DWORD error = ERROR_SUCCESS;
    auto file = volume.Open(path, VolumeOpen{}, &error);
    FUZZ_REQUIRE((file != nullptr) == (error == ERROR_SUCCESS));
    if (!file) return;
    std::uint64_t size = 0;
    if (file->Size(&size) == ERROR_SUCCESS) {
        // A read stops at the file's end, so a file of a few clusters costs a
        // few clusters; a long one takes a few reads, each seeking its chain
        // from the start again.
        static std::vector<std::uint8_t> buffer(64u << 10);
        std::uint64_t at = 0;
        while (at < size && budget->bytes != 0) {
            DWORD read = 0;
            if (file->Read(at, buffer.data(), static_cast<DWORD>(buffer.size()), &read) !=
                    ERROR_SUCCESS ||
                read == 0)
                break;
            FUZZ_REQUIRE(read <= buffer.size());
            at += read;
            budget->bytes -= std::min<std::uint64_t>(budget->bytes, read);
        }
    }
    file->Close();
}

// The root's names as a plain scan sees them, in upper case: as a listing
// shows each entry, and its 8.3 name.
struct Named {
    std::string name;
    std::string shortName;
    bool isDirectory = false;
};
std::vector<Named> RootNames(BlockDevice& medium) {
    std::vector<Named> names;
    std::optional<FatMount> mount;
    if (FatMount::Open(medium, &mount)) return names;
    ForEachEntry(mount->View(), RootDirectory(mount->Layout()), [&](const FatFound& found) {
        names.push_back({host::UpperAscii(found.name),
                         host::UpperAscii(found.shortText.value_or("")), found.IsDirectory()});
        return false;
    });
    return names;
}

// A lookup finds the first entry whose name or 8.3 name is the one asked
// for, without regard to ASCII case, however it compares them.
void CheckLookup(FatVolume& volume, const std::vector<Named>& root, const std::string& name) {
    std::optional<VolumeEntry> entry;
    if (volume.Find({}, name, &entry) != ERROR_SUCCESS) return;
    std::string upper = host::UpperAscii(name);
    auto expected = std::find_if(root.begin(), root.end(), [&](const Named& named) {
        return named.name == upper || (!named.shortName.empty() && named.shortName == upper);
    });
    FUZZ_REQUIRE(entry.has_value() == (expected != root.end()));
    if (entry) {
        FUZZ_REQUIRE(host::UpperAscii(entry->name) == expected->name);
        FUZZ_REQUIRE(entry->isDirectory == expected->isDirectory);
    }
}

std::string LowerAscii(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    }
    return text;
}

void Walk(FatVolume& volume, const VolumePath& directory, int depth, Budget* budget) {
    std::vector<std::string> names;
    if (volume.List(directory, &names) != ERROR_SUCCESS) return;
    for (const std::string& name : names) {
        if (budget->entries-- <= 0) return;
        std::optional<VolumeEntry> entry;
        if (volume.Find(directory, name, &entry) != ERROR_SUCCESS) continue;
        // A name the listing gave is found again.
        FUZZ_REQUIRE(entry.has_value());
        VolumePath path = directory;
        path.push_back(entry->name);
        VolumeEntryInfo info;
        if (volume.Info(path, &info) != ERROR_SUCCESS) continue;
        FUZZ_REQUIRE(((info.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) == entry->isDirectory);
        if (entry->isDirectory) {
            if (depth < 4) Walk(volume, path, depth + 1, budget);
        } else {
            ReadWhole(volume, path, budget);
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 4) return 0;
    std::uint64_t sectors = data[0] | data[1] << 8 | data[2] << 16 | std::uint64_t{data[3]} << 24;
    SparseMedium medium(sectors, data + 4, size - 4);
    FatVolume volume(medium, Clock);
    Budget budget{32, 64u << 10};
    (void)volume.FreeBytes();
    Walk(volume, {}, 0, &budget);
    // Lookups of the root's first names, in other case and by their 8.3
    // names, against a plain scan.
    std::vector<Named> root = RootNames(medium);
    for (std::size_t i = 0; i < root.size() && i < 8; ++i) {
        CheckLookup(volume, root, LowerAscii(root[i].name));
        CheckLookup(volume, root, LowerAscii(root[i].shortName));
        CheckLookup(volume, root, root[i].name + "~");
    }

    DWORD error = ERROR_SUCCESS;
    auto file = volume.Open({"NEW.TXT"}, VolumeOpen{true, true, false, 0}, &error);
    if (file) {
        static const char kText[] = "NOVUS-KT\r\n";
        DWORD written = 0;
        file->Write(0, kText, sizeof kText - 1, &written);
        FUZZ_REQUIRE(written <= sizeof kText - 1);
        file->SetTimes(nullptr, nullptr, nullptr);
        file->Close();
        Budget after{8, 16u << 10};
        Walk(volume, {}, 3, &after);
    }
    return 0;
}
