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

std::string SectorText(std::uint64_t sectors) {
    return std::to_string(sectors) + (sectors == 1 ? " sector" : " sectors");
}

// "sector 5" or "sectors 5 to 9" for sectors [first, end).
std::string SectorsText(std::uint64_t first, std::uint64_t end) {
    if (end - first == 1) return "sector " + std::to_string(first);
    return "sectors " + std::to_string(first) + " to " + std::to_string(end - 1);
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

void CheckSectorNumbers(const ImageReader& image) {
    if (image.Sectors() > kSectorLimit) {
        image.Fail("the image has " + SectorText(image.Sectors()) + "; sector numbers end at 2^32");
    }
}

// The end of the last partition the MBR lists; 1 when it lists none. What a
// partition holds, where it starts (sector 0 too) and whether it overlaps
// another is the image's business: only its end counts. An entry of type 0
// lists no partition, whatever its size.
std::uint64_t PartitionsEnd(ImageReader& image) {
    std::vector<BYTE> mbr = image.Read(0, 1);
    if (mbr[510] != 0x55 || mbr[511] != 0xAA) image.Fail("sector 0 is no MBR (no 55 AA at 510)");
    std::uint64_t end = 1;
    for (std::size_t i = 0; i < 4; ++i) {
        const BYTE* entry = &mbr[kMbrPartitions + kMbrEntrySize * i];
        std::uint64_t start = ReadLe32(entry + 8), count = ReadLe32(entry + 12);
        if (entry[4] == 0 || count == 0) continue;
        std::string which = "partition " + std::to_string(i + 1);
        if (start + count > kSectorLimit) {
            image.Fail(which + " ends at sector " + std::to_string(start + count) + ", past 2^32");
        }
        if (start + count > image.Sectors()) {
            image.Fail(which + " ends at sector " + std::to_string(start + count) +
                       " but the image has " + SectorText(image.Sectors()));
        }
        end = std::max(end, start + count);
    }
    return end;
}

// One past the last sector that is not all zero; 0 when every one is.
std::uint64_t DataEnd(const std::vector<bool>& zero) {
    std::uint64_t end = zero.size();
    while (end > 0 && zero[end - 1]) --end;
    return end;
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

// A maximal run of zero sectors, as indices into a zero map.
struct ZeroStretch {
    std::uint64_t begin = 0;
    std::uint64_t end = 0;

    std::uint64_t Length() const { return end - begin; }
    // The zero fills it takes: one Size holds at most ENTRY_MAX_SECTORS.
    std::uint64_t Fills() const { return (Length() + ENTRY_MAX_SECTORS - 1) / ENTRY_MAX_SECTORS; }
};

std::vector<ZeroStretch> FindZeroStretches(const std::vector<bool>& zero, std::uint64_t minLength) {
    std::vector<ZeroStretch> stretches;
    const std::uint64_t n = zero.size();
    for (std::uint64_t i = 0; i < n;) {
        if (!zero[i]) {
            ++i;
            continue;
        }
        std::uint64_t end = i;
        while (end < n && zero[end]) ++end;
        if (end - i >= minLength) stretches.push_back({i, end});
        i = end;
    }
    return stretches;
}

// Which stretches stay zero fills: all of them when the entries fit, else
// the shortest (the earlier of equal ones) are given up to the data around
// them until the entries fit or none is left. With k stretches kept, the k + 1
// pieces around them all hold data, except the first when a kept stretch
// starts the range and the last when one ends it: maximal stretches never
// touch each other.
std::vector<bool> KeepLongestZeroStretches(const std::vector<ZeroStretch>& stretches,
                                           std::uint64_t n, std::size_t maxEntries) {
    std::vector<bool> kept(stretches.size(), true);
    std::uint64_t fills = 0;
    for (const ZeroStretch& z : stretches) fills += z.Fills();
    std::uint64_t count = stretches.size();
    bool head = !stretches.empty() && stretches.front().begin == 0;
    bool tail = !stretches.empty() && stretches.back().end == n;
    auto entries = [&] {
        std::uint64_t data = n == 0 ? 0 : count + 1 - (head ? 1 : 0) - (tail ? 1 : 0);
        return fills + data;
    };
    std::vector<std::size_t> order(stretches.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        return stretches[a].Length() < stretches[b].Length();
    });
    for (std::size_t i : order) {
        if (entries() <= maxEntries) break;
        kept[i] = false;
        fills -= stretches[i].Fills();
        --count;
        if (i == 0) head = false;
        if (i + 1 == stretches.size()) tail = false;
    }
    return kept;
}

}  // namespace

std::vector<SectorRun> PlanSectorRuns(const std::vector<bool>& zero, std::uint64_t first,
                                      std::uint64_t minZeroRun, std::size_t maxEntries) {
    const std::uint64_t n = zero.size();
    std::vector<ZeroStretch> stretches =
        FindZeroStretches(zero, std::max<std::uint64_t>(minZeroRun, 1));
    std::vector<bool> kept = KeepLongestZeroStretches(stretches, n, maxEntries);
    std::vector<SectorRun> runs;
    std::uint64_t dataStart = 0;
    for (std::size_t i = 0; i < stretches.size(); ++i) {
        if (!kept[i]) continue;
        const ZeroStretch& z = stretches[i];
        if (z.begin > dataStart) runs.push_back({first + dataStart, z.begin - dataStart, false});
        for (std::uint64_t s = z.begin; s < z.end; s += ENTRY_MAX_SECTORS) {
            runs.push_back({first + s, std::min(ENTRY_MAX_SECTORS, z.end - s), true});
        }
        dataStart = z.end;
    }
    if (n > dataStart) runs.push_back({first + dataStart, n - dataStart, false});
    return runs;
}

DataFileSpec DataFileFromImage(const ImageDataFileOptions& options) {
    ImageReader image(options.image);
    CheckSectorNumbers(image);
    const bool floppy = options.layout == ImageLayout::Floppy;
    std::uint64_t listedEnd = floppy ? image.Sectors() : PartitionsEnd(image);
    const std::size_t besideRuns = 1 + options.files.size();
    if (besideRuns > static_cast<std::size_t>(HDR_MAX_ENTRIES)) {
        throw DataFileError("sector 0 and " + std::to_string(options.files.size()) +
                            " files take " + std::to_string(besideRuns) + " entries; at most " +
                            std::to_string(HDR_MAX_ENTRIES) + " fit");
    }

    std::vector<bool> zero = image.ZeroMap(0, image.Sectors());
    const std::uint64_t end = std::max(listedEnd, DataEnd(zero));
    const std::size_t budget = HDR_MAX_ENTRIES - besideRuns;
    std::vector<SectorRun> runs = PlanSectorRuns(
        std::vector<bool>(zero.begin() + 1, zero.begin() + static_cast<std::ptrdiff_t>(end)), 1,
        options.minZeroRun, budget);
    if (runs.size() > budget) {
        image.Fail(SectorsText(1, end) + " would be left without an entry: sector 0 and " +
                   std::to_string(options.files.size()) + " files take all " +
                   std::to_string(HDR_MAX_ENTRIES) + " (each --file takes one)");
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

    DataFileEntrySpec boot;
    boot.kind = ENTRY_SECTORS_ABSOLUTE;
    boot.startSector = 0;
    boot.payload = image.Read(0, 1);
    model.entries.push_back(std::move(boot));
    for (const SectorRun& run : runs) {
        DataFileEntrySpec e;
        e.kind = run.zero ? ENTRY_ZERO_FILL : ENTRY_SECTORS;
        e.startSector = static_cast<std::uint32_t>(run.first);
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
