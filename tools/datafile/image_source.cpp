#include "tools/datafile/image_source.h"

#include <algorithm>
#include <fstream>
#include <span>

namespace veldra {
namespace {

namespace fs = std::filesystem;

constexpr std::uint64_t kSectorLimit = std::uint64_t{1} << 32;
constexpr std::uint64_t kPayloadMax = 0xFFFFFFFFu;

// MBR: four 16-byte partition entries from byte 446, then 55 AA.
constexpr std::size_t kMbrPartitions = 446;
constexpr std::size_t kMbrEntrySize = 16;

bool IsExtendedPartition(BYTE type) {
    return type == 0x05 || type == 0x0F || type == 0x85;
}

std::string SectorText(std::uint64_t sectors) {
    return std::to_string(sectors) + (sectors == 1 ? " sector" : " sectors");
}

class ImageReader {
public:
    explicit ImageReader(const fs::path& path) : path_(path) {
        std::error_code ec;
        if (!fs::is_regular_file(path, ec)) Fail("not a readable file");
        size_ = fs::file_size(path, ec);
        if (ec) Fail("cannot read the image: " + ec.message());
        in_.open(path, std::ios::binary);
        if (!in_) Fail("cannot open the image");
        if (size_ % IMAGE_SECTOR_SIZE != 0) {
            Fail("the image is " + std::to_string(size_) + " bytes, not a whole number of " +
                 std::to_string(IMAGE_SECTOR_SIZE) + "-byte sectors");
        }
        if (size_ == 0) Fail("the image is empty");
    }

    [[noreturn]] void Fail(const std::string& message) const {
        throw DataFileError(path_.string() + ": " + message);
    }

    std::uint64_t Sectors() const { return size_ / IMAGE_SECTOR_SIZE; }

    std::vector<BYTE> Read(std::uint64_t first, std::uint64_t count) {
        std::vector<BYTE> bytes(count * IMAGE_SECTOR_SIZE);
        in_.seekg(static_cast<std::streamoff>(first * IMAGE_SECTOR_SIZE));
        in_.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        if (!in_ || in_.gcount() != static_cast<std::streamsize>(bytes.size())) {
            Fail("cannot read " + SectorText(count) + " from sector " + std::to_string(first));
        }
        return bytes;
    }

    // Which of the sectors are all zero, read a chunk at a time.
    std::vector<bool> ZeroMap(std::uint64_t first, std::uint64_t count) {
        constexpr std::uint64_t kChunk = 128;
        std::vector<bool> zero(count);
        for (std::uint64_t done = 0; done < count; done += kChunk) {
            std::uint64_t n = std::min(kChunk, count - done);
            std::vector<BYTE> bytes = Read(first + done, n);
            for (std::uint64_t s = 0; s < n; ++s) {
                auto sector = bytes.begin() + static_cast<std::ptrdiff_t>(s * IMAGE_SECTOR_SIZE);
                zero[done + s] =
                    std::all_of(sector, sector + IMAGE_SECTOR_SIZE, [](BYTE b) { return b == 0; });
            }
        }
        return zero;
    }

private:
    fs::path path_;
    std::ifstream in_;
    std::uint64_t size_ = 0;
};

// The sectors that become relative entries, and the base they are counted from.
struct Volume {
    std::uint64_t first = 0;
    std::uint64_t count = 0;
    std::uint32_t baseSector = 0;
};

Volume FloppyVolume(const ImageReader& image) {
    if (image.Sectors() > kSectorLimit) {
        image.Fail("the image has " + SectorText(image.Sectors()) + "; sector numbers end at 2^32");
    }
    return Volume{1, image.Sectors() - 1, 0};
}

Volume DiskVolume(ImageReader& image) {
    std::vector<BYTE> mbr = image.Read(0, 1);
    if (mbr[510] != 0x55 || mbr[511] != 0xAA) image.Fail("sector 0 is no MBR (no 55 AA at 510)");
    for (std::size_t i = 0; i < 4; ++i) {
        const BYTE* entry = &mbr[kMbrPartitions + kMbrEntrySize * i];
        BYTE type = entry[4];
        std::uint64_t start = ReadLe32(entry + 8);
        std::uint64_t count = ReadLe32(entry + 12);
        if (type == 0 || count == 0 || IsExtendedPartition(type)) continue;
        std::string which = "partition " + std::to_string(i + 1);
        if (type == 0xEE) image.Fail("a GPT disk; only MBR partitions can be taken");
        if (start == 0) image.Fail(which + " starts at sector 0, over the MBR");
        if (start + count > kSectorLimit) {
            image.Fail(which + " ends at sector " + std::to_string(start + count) + ", past 2^32");
        }
        if (start + count > image.Sectors()) {
            image.Fail(which + " ends at sector " + std::to_string(start + count) +
                       " but the image has " + SectorText(image.Sectors()));
        }
        return Volume{start, count, static_cast<std::uint32_t>(start)};
    }
    image.Fail("the MBR lists no primary partition");
}

void CheckFileEntry(const ImageFileEntry& file) {
    std::string name = "file '" + file.name + "'";
    if (file.name.size() > ENTRY_FILE_NAME_MAX) {
        throw DataFileError(name + ": the name is " + std::to_string(file.name.size()) +
                            " bytes in code page 932; at most " +
                            std::to_string(ENTRY_FILE_NAME_MAX) + " fit");
    }
    std::vector<BYTE> field(ENTRY_FILE_NAME_SIZE, 0);
    std::copy(file.name.begin(), file.name.end(), field.begin());
    if (!IsPlainRootFileName(field)) {
        throw DataFileError(name + ": not a plain file name in the root directory");
    }
}

std::vector<BYTE> ReadHostFile(const fs::path& path, std::uint64_t size) {
    std::vector<BYTE> bytes(size);
    std::ifstream in(path, std::ios::binary);
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(size));
    if (!in || in.gcount() != static_cast<std::streamsize>(size)) {
        throw DataFileError(path.string() + ": cannot read the file");
    }
    return bytes;
}

}  // namespace

std::vector<SectorRun> PlanSectorRuns(const std::vector<bool>& zero, std::uint64_t first,
                                      std::uint64_t minZeroRun) {
    minZeroRun = std::max<std::uint64_t>(minZeroRun, 1);
    std::vector<SectorRun> runs;
    const std::uint64_t n = zero.size();
    std::uint64_t dataStart = 0;
    for (std::uint64_t i = 0; i < n;) {
        if (!zero[i]) {
            ++i;
            continue;
        }
        std::uint64_t end = i;
        while (end < n && zero[end]) ++end;
        if (end - i >= minZeroRun) {
            if (i > dataStart) runs.push_back({first + dataStart, i - dataStart, false});
            for (std::uint64_t s = i; s < end; s += ENTRY_MAX_SECTORS) {
                runs.push_back({first + s, std::min(ENTRY_MAX_SECTORS, end - s), true});
            }
            dataStart = end;
        }
        i = end;
    }
    if (n > dataStart) runs.push_back({first + dataStart, n - dataStart, false});
    return runs;
}

DataFileSpec DataFileFromImage(const ImageDataFileOptions& options) {
    ImageReader image(options.image);
    Volume volume = options.layout == ImageLayout::Floppy ? FloppyVolume(image) : DiskVolume(image);

    std::vector<SectorRun> runs =
        PlanSectorRuns(image.ZeroMap(volume.first, volume.count), volume.first, options.minZeroRun);
    std::size_t entries = 1 + runs.size() + options.files.size();
    if (entries > static_cast<std::size_t>(HDR_MAX_ENTRIES)) {
        image.Fail(std::to_string(entries) + " entries (sector 0, " + std::to_string(runs.size()) +
                   " runs, " + std::to_string(options.files.size()) + " files); at most " +
                   std::to_string(HDR_MAX_ENTRIES) + " fit (a larger --min-zero-run merges more)");
    }

    // Everything is sized before anything is read: an image or file too big
    // for the payload's 32-bit offsets fails at once.
    std::uint64_t payload = IMAGE_SECTOR_SIZE;
    for (const SectorRun& run : runs) {
        if (!run.zero) payload += run.count * IMAGE_SECTOR_SIZE;
    }
    std::vector<std::uint64_t> fileSizes;
    for (const ImageFileEntry& file : options.files) {
        CheckFileEntry(file);
        std::error_code ec;
        if (!fs::is_regular_file(file.hostPath, ec)) {
            throw DataFileError(file.hostPath.string() + ": not a readable file");
        }
        fileSizes.push_back(fs::file_size(file.hostPath, ec));
        if (ec) throw DataFileError(file.hostPath.string() + ": " + ec.message());
        payload += fileSizes.back();
    }
    if (payload > kPayloadMax) {
        throw DataFileError("the payloads total " + std::to_string(payload) +
                            " bytes; a data file holds at most " + std::to_string(kPayloadMax));
    }

    DataFileSpec model;
    model.programName = options.programName;
    model.mediaKind = options.mediaKind;
    model.contentKind = options.contentKind;
    model.fileStamp = options.stamp;
    model.baseSector = volume.baseSector;

    DataFileEntrySpec boot;
    boot.kind = ENTRY_SECTORS_ABSOLUTE;
    boot.startSector = 0;
    boot.payload = image.Read(0, 1);
    model.entries.push_back(std::move(boot));
    for (const SectorRun& run : runs) {
        DataFileEntrySpec e;
        e.kind = run.zero ? ENTRY_ZERO_FILL : ENTRY_SECTORS;
        e.startSector = static_cast<std::uint32_t>(run.first - volume.baseSector);
        if (run.zero) {
            e.size = static_cast<std::uint32_t>(run.count * IMAGE_SECTOR_SIZE);
        } else {
            e.payload = image.Read(run.first, run.count);
        }
        model.entries.push_back(std::move(e));
    }
    for (std::size_t i = 0; i < options.files.size(); ++i) {
        const ImageFileEntry& file = options.files[i];
        DataFileEntrySpec e;
        e.kind = ENTRY_FILE;
        e.fileName = file.name;
        e.fileTime = file.time.value_or(options.stamp);
        e.payload = ReadHostFile(file.hostPath, fileSizes[i]);
        model.entries.push_back(std::move(e));
    }
    return model;
}

}  // namespace veldra
