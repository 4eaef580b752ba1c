// The FAT layer of the simulated machine over a hostile medium: the input is
// the medium itself (a floppy or a disk with an MBR), held in memory. Every
// directory is walked, every file found again by name and read to its end,
// then one file is created and written, as the Create command does on a
// medium whose sectors came from a data file.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "sim/fat/fat_volume.h"

namespace {

using namespace veldra;
using namespace veldra::sim;

// The input, cut to whole sectors, as a medium the volume may also write.
class MemoryDevice final : public BlockDevice {
public:
    MemoryDevice(const std::uint8_t* data, std::size_t size)
        : m_bytes(data, data + size - size % 512) {}

    std::uint32_t SectorSize() const override { return 512; }
    std::uint64_t Size() const override { return m_bytes.size(); }
    bool WriteProtected() const override { return false; }
    DWORD Read(std::uint64_t offset, void* buffer, std::size_t bytes) override {
        if (offset > m_bytes.size() || bytes > m_bytes.size() - offset)
            return ERROR_SECTOR_NOT_FOUND;
        std::memcpy(buffer, m_bytes.data() + offset, bytes);
        return ERROR_SUCCESS;
    }
    DWORD Write(std::uint64_t offset, const void* buffer, std::size_t bytes) override {
        if (offset > m_bytes.size() || bytes > m_bytes.size() - offset)
            return ERROR_SECTOR_NOT_FOUND;
        std::memcpy(m_bytes.data() + offset, buffer, bytes);
        return ERROR_SUCCESS;
    }

private:
    std::vector<std::uint8_t> m_bytes;
};

SYSTEMTIME Clock() {
    return SYSTEMTIME{2024, 5, 5, 3, 17, 9, 41, 730};
}

// A hostile medium may claim files of gigabytes, or chains that loop; the
// reads of one input stop after 256 KiB, past every file of the seeds, so
// that the time goes to inputs rather than to one long read.
constexpr std::uint64_t kReadLimit = 256u << 10;

void ReadWhole(FatVolume& volume, const VolumePath& path, std::uint64_t* budget) {
    DWORD error = ERROR_SUCCESS;
    auto file = volume.Open(path, VolumeOpen{}, &error);
    FUZZ_REQUIRE((file != nullptr) == (error == ERROR_SUCCESS));
    if (!file) return;
    std::uint64_t size = 0;
    if (file->Size(&size) == ERROR_SUCCESS) {
        // Small reads, so a file of a few clusters costs a few clusters.
        static std::vector<std::uint8_t> buffer(4096);
        std::uint64_t at = 0;
        while (at < size && *budget != 0) {
            DWORD read = 0;
            if (file->Read(at, buffer.data(), static_cast<DWORD>(buffer.size()), &read) !=
                    ERROR_SUCCESS ||
                read == 0)
                break;
            FUZZ_REQUIRE(read <= buffer.size());
            at += read;
            *budget -= std::min<std::uint64_t>(*budget, read);
        }
    }
    file->Close();
}

void Walk(FatVolume& volume, const VolumePath& directory, int depth, std::uint64_t* budget) {
    std::vector<std::string> names;
    if (volume.List(directory, &names) != ERROR_SUCCESS) return;
    for (const std::string& name : names) {
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
    if (size < 512 || size > (8u << 20)) return 0;
    MemoryDevice medium(data, size);
    FatVolume volume(medium, Clock);
    std::uint64_t budget = kReadLimit;
    (void)volume.FreeBytes();
    Walk(volume, {}, 0, &budget);

    DWORD error = ERROR_SUCCESS;
    auto file = volume.Open({"NEW.TXT"}, VolumeOpen{true, true, false, 0}, &error);
    if (file) {
        static const char kText[] = "NOVUS-KT\r\n";
        DWORD written = 0;
        file->Write(0, kText, sizeof kText - 1, &written);
        FUZZ_REQUIRE(written <= sizeof kText - 1);
        file->SetTimes(nullptr, nullptr, nullptr);
        file->Close();
        Walk(volume, {}, 3, &budget);
    }
    return 0;
}
