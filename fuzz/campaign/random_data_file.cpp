#include "fuzz/campaign/random_data_file.h"

#include <algorithm>
#include <map>
#include <span>
#include <stdexcept>
#include <tuple>

#include "fuzz/campaign/fat_reader.h"
#include "fuzz/campaign/fat_time.h"
#include "fuzz/campaign/host_tools.h"
#include "records/data_file_format.h"
#include "tools/datafile/datafile_writer.h"
#include "tools/image/blank_floppy.h"

namespace veldra::campaign {
namespace {

namespace fs = std::filesystem;

constexpr std::uint32_t kSector = 512;

struct TemplateFile {
    const char* name;
    const char* attributes;  // for mattrib
    std::size_t size;
};
constexpr TemplateFile kTemplateFiles[] = {{"KEEP.TXT", "", 2000},
                                           {"RDONLY.TXT", "+r", 100},
                                           {"HIDDEN.SYS", "+h", 700},
                                           {"SYSTEM.BIN", "+s", 5000}};

// Where the templates are made, removed when the campaign ends.
const fs::path& ScratchDir() {
    static const struct Scratch {
        fs::path path = MakeTempDir("veldra-campaign-templates");
        ~Scratch() {
            std::error_code ec;
            fs::remove_all(path, ec);
        }
    } scratch;
    return scratch.path;
}

void Must(const std::string& command) {
    std::string output;
    if (Shell(command, &output) != 0)
        throw std::runtime_error("'" + command + "' failed: " + output);
}

std::string WithTemplateFiles(const std::string& volume, const std::string& name) {
    fs::path image = ScratchDir() / name;
    WriteBytes(image, volume);
    for (const TemplateFile& file : kTemplateFiles) {
        std::string bytes(file.size, '\0');
        for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>('A' + i % 26);
        fs::path host = ScratchDir() / file.name;
        WriteBytes(host, bytes);
        Must("touch -d '2001-02-03 04:05:06' " + host.string());
        Must("MTOOLS_SKIP_CHECK=1 " + ToolPath("mcopy") + " -m -i " + image.string() + " " +
             host.string() + " ::/" + file.name);
        if (*file.attributes)
            Must("MTOOLS_SKIP_CHECK=1 " + ToolPath("mattrib") + " -i " + image.string() + " " +
                 file.attributes + " ::/" + file.name);
    }
    return ReadBytes(image);
}

FILETIME AsFileTime(std::uint64_t ticks) {
    return FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

// Mostly a time FAT can hold, to the 100 ns; now and then none (zero) or one
// it cannot (before 1979-12-31, past 2107); and a fixed share from the edges
// of FAT's range and of its two seconds.
FILETIME RandomTime(Dice& dice) {
    if (dice.Chance(5)) return FILETIME{};
    std::uint64_t low = FileTimeOf(1980, 1, 1, 0, 0, 0);
    std::uint64_t high = FileTimeOf(2107, 12, 31, 23, 59, 58);
    std::uint64_t lastOf1979 = FileTimeOf(1979, 12, 31, 0, 0, 0);
    if (dice.Chance(5))
        return AsFileTime(dice.Chance(50) ? lastOf1979 - dice.Between(1, low / 8)
                                          : high + dice.Between(1, 1ull << 40));
    if (dice.Chance(20)) {
        std::uint64_t even = dice.Between(low, high) / (2 * kTicksPerSecond) * 2 * kTicksPerSecond;
        const std::vector<std::uint64_t> edges = {
            lastOf1979 - 1,  // 1979-12-30, the last tick FAT refuses
            lastOf1979,      // 1979-12-31 00:00:00, kept as 1980
            dice.Between(lastOf1979, low - 1),
            low - 1,  // the last tick of 1979
            low,      // 1980-01-01 00:00:00
            low + 1,
            even,
            even + 1,
            even - 1,
            even + kTicksPerSecond,
            high,                    // 2107-12-31 23:59:58, the last FAT holds
            high + 1,                // rounds past 2107
            high + kTicksPerSecond,  // 2107-12-31 23:59:59
        };
        return AsFileTime(dice.Pick(edges));
    }
    if (dice.Chance(10)) return AsFileTime(dice.Chance(50) ? low : high);
    return AsFileTime(dice.Between(low, high));
}

std::vector<BYTE> Bytes(const std::string& from, std::size_t at, std::size_t size) {
    return std::vector<BYTE>(from.begin() + static_cast<std::ptrdiff_t>(at),
                             from.begin() + static_cast<std::ptrdiff_t>(at + size));
}

std::vector<BYTE> Garbage(Dice& dice, std::size_t size) {
    std::vector<BYTE> bytes(size);
    for (BYTE& b : bytes) b = static_cast<BYTE>(dice.Bits());
    return bytes;
}

DataFileEntrySpec Sectors(BYTE kind, std::uint32_t start, std::vector<BYTE> payload) {
    DataFileEntrySpec e;
    e.kind = kind;
    e.startSector = start;
    e.payload = std::move(payload);
    return e;
}

DataFileEntrySpec ZeroFill(std::uint32_t start, std::uint32_t bytes) {
    DataFileEntrySpec e;
    e.kind = ENTRY_ZERO_FILL;
    e.startSector = start;
    e.size = bytes;
    return e;
}

// CON, PRN, AUX, NUL, COM1 to COM9 and LPT1 to LPT9 name devices, whatever
// the extension: no data file may name a file so.
bool IsDeviceName(const std::string& name) {
    std::string stem = name.substr(0, name.find('.'));
    if (stem == "CON" || stem == "PRN" || stem == "AUX" || stem == "NUL") return true;
    return stem.size() == 4 && (stem.starts_with("COM") || stem.starts_with("LPT")) &&
           stem[3] >= '1' && stem[3] <= '9';
}

std::string RandomName(Dice& dice) {
    const std::string chars = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_";
    std::string name;
    do {
        name.clear();
        for (auto n = dice.Between(1, 8); n > 0; --n)
            name += chars[dice.Between(0, chars.size() - 1)];
        if (dice.Chance(80)) {
            name += '.';
            for (auto n = dice.Between(1, 3); n > 0; --n)
                name += chars[dice.Between(0, chars.size() - 1)];
        }
    } while (IsDeviceName(name));
    return name;
}

// Where the producer's volume goes and how the relative entries reach it.
struct Layout {
    std::string volume;       // the formatted volume, sector 0 its boot sector
    std::uint32_t start = 0;  // its first sector on the medium
    std::uint32_t base = 0;   // BaseSector
    bool mbr = false;         // a master boot record points at it
};

// The volume's sectors as entries: the metadata always covered (by data, or
// by a zero fill and the data that is not zero), the files' clusters as data,
// in runs of random length, some with a partial sector at their end.
void VolumeEntries(Dice& dice, const Layout& layout, const FatVolume& fat,
                   std::vector<DataFileEntrySpec>& entries) {
    auto sectors = static_cast<std::uint32_t>(layout.volume.size() / kSector);
    auto metadata = static_cast<std::uint32_t>(fat.DataOffset() / kSector);
    std::uint32_t relative = layout.start - layout.base;
    int zeroFill = static_cast<int>(dice.Between(0, 2));  // none, metadata, whole volume
    if (zeroFill > 0)
        entries.push_back(ZeroFill(relative, (zeroFill == 2 ? sectors : metadata) * kSector));
    auto needed = [&](std::uint32_t at) {
        if (at < metadata && zeroFill == 0) return true;
        std::string_view sector(layout.volume.data() + at * kSector, kSector);
        return sector.find_first_not_of('\0') != std::string_view::npos;
    };
    std::uint32_t total = 0;
    for (std::uint32_t at = 0; at < sectors; ++at) total += needed(at);
    // Long enough runs that the table keeps room for the rest.
    std::uint32_t shortest = std::max<std::uint32_t>(1, total / 16);
    std::vector<DataFileEntrySpec> runs;
    std::uint32_t s = 0;
    while (s < sectors) {
        if (!needed(s)) {
            ++s;
            continue;
        }
        std::uint32_t end = s;
        auto longest = static_cast<std::uint32_t>(dice.Between(shortest, shortest + 300));
        while (end < sectors && end - s < longest && needed(end)) ++end;
        std::vector<BYTE> payload = Bytes(layout.volume, s * kSector, (end - s) * kSector);
        if (dice.Chance(15)) {
            std::vector<BYTE> tail = Garbage(dice, dice.Between(1, kSector - 1));
            payload.insert(payload.end(), tail.begin(), tail.end());
        }
        runs.push_back(Sectors(ENTRY_SECTORS, relative + s, std::move(payload)));
        s = end;
    }
    // Runs do not overlap: their order is free.
    for (std::size_t i = runs.size(); i > 1; --i)
        std::swap(runs[i - 1], runs[dice.Between(0, i - 1)]);
    entries.insert(entries.end(), runs.begin(), runs.end());
}

// Data and zero fills in clusters the volume leaves free.
void FreeClusterEntries(Dice& dice, const Layout& layout, const FatVolume& fat,
                        std::vector<DataFileEntrySpec>& chaos) {
    std::uint32_t free = FreeClusters(layout.volume, fat);
    if (free < 8) return;
    // A fresh template's free clusters are those at the end.
    std::uint32_t firstFree = fat.clusterCount + 2 - free;
    for (auto n = dice.Between(0, 3); n > 0; --n) {
        // Half of them where the files will go: the first free clusters.
        std::uint32_t spread = dice.Chance(50) ? std::min<std::uint32_t>(free - 1, 40) : free - 1;
        auto first = firstFree + static_cast<std::uint32_t>(dice.Between(0, spread));
        auto sector = static_cast<std::uint32_t>(fat.ClusterOffset(first) / kSector);
        std::uint32_t room =
            static_cast<std::uint32_t>((fat.offset + fat.bytes) / kSector) - sector;
        auto count =
            static_cast<std::uint32_t>(dice.Between(1, std::min<std::uint32_t>(room, 260)));
        std::uint32_t at = layout.start + sector - layout.base;
        int kind = static_cast<int>(dice.Between(0, 2));
        if (kind == 0) chaos.push_back(ZeroFill(at, count * kSector));
        // A fixed share of sizes at a sector's edges: one byte, one sector less
        // or more by a byte, the whole run less or more by a byte.
        std::size_t bytes = count * kSector;
        if (dice.Chance(30))
            bytes = dice.Pick(std::vector<std::size_t>{1, kSector - 1, kSector, kSector + 1,
                                                       bytes - 1, bytes + 1});
        bytes = std::min<std::size_t>(bytes, room * kSector);
        if (kind == 1) chaos.push_back(Sectors(ENTRY_SECTORS, at, Garbage(dice, bytes)));
        // Written again after the files, over whatever file took those clusters.
        if (kind == 2)
            chaos.push_back(Sectors(ENTRY_SECTORS_ABSOLUTE, layout.start + sector,
                                    Garbage(dice, count * kSector)));
    }
}

void FileEntries(Dice& dice, const FatVolume& fat, std::uint32_t freeClusters,
                 std::vector<DataFileEntrySpec>& chaos) {
    std::uint32_t budget = freeClusters > 4 ? freeClusters - 4 : 0;
    std::vector<std::string> names;
    for (auto n = dice.Between(0, 5); n > 0; --n) {
        DataFileEntrySpec e;
        e.kind = ENTRY_FILE;
        // Now and then the name of a file the medium may hold already,
        // read-only, hidden or system: it is replaced all the same.
        e.fileName = dice.Chance(5)
                         ? kTemplateFiles[dice.Between(0, std::size(kTemplateFiles) - 1)].name
                     : !names.empty() && dice.Chance(10) ? dice.Pick(names)
                                                         : RandomName(dice);
        names.push_back(e.fileName);
        std::size_t size = dice.Chance(10)   ? 0
                           : dice.Chance(10) ? dice.Between(60000, 140000)
                                             : dice.Between(1, 3000);
        auto clusters =
            static_cast<std::uint32_t>((size + fat.ClusterBytes() - 1) / fat.ClusterBytes());
        if (clusters > budget) size = 0, clusters = 0;
        budget -= clusters;
        e.payload = Garbage(dice, size);
        e.fileTime = RandomTime(dice);
        chaos.push_back(e);
    }
}

// What the format allows the writers to skip: entries out of use, whatever
// their fields say, and entries of kinds no writer knows.
void SkippedEntries(Dice& dice, std::vector<DataFileEntrySpec>& chaos) {
    for (auto n = dice.Between(0, 2); n > 0; --n) {
        DataFileEntrySpec e =
            Sectors(ENTRY_SECTORS, static_cast<std::uint32_t>(dice.Between(0, 4000)),
                    Garbage(dice, dice.Between(0, 2048)));
        if (dice.Chance(50)) {
            e.inUse = dice.Pick(std::vector<BYTE>{0, 2, 0x81, 0xFF});
            e.kindByte = dice.Pick(std::vector<BYTE>{ENTRY_SECTORS, ENTRY_FILE, ENTRY_ZERO_FILL,
                                                     ENTRY_SECTORS_ABSOLUTE});
        } else {
            e.kindByte = dice.Pick(std::vector<BYTE>{3, 0x7F, 0x80, 0x82, 0xFF});
        }
        chaos.push_back(e);
    }
}

std::vector<BYTE> MasterBootRecord(Dice& dice, const Layout& layout) {
    std::vector<BYTE> mbr = Garbage(dice, kSector);
    std::fill(mbr.begin() + 440, mbr.end(), 0);
    for (int i = 0; i < 4; ++i) mbr[440 + i] = static_cast<BYTE>(dice.Bits());
    BYTE* entry = mbr.data() + 446;
    entry[0] = 0x80;
    entry[4] = dice.Pick(std::vector<BYTE>{0x01, 0x04, 0x06, 0x0E});
    auto sectors = static_cast<std::uint32_t>(layout.volume.size() / kSector);
    WriteLe32(entry + 8, layout.start);
    WriteLe32(entry + 12, sectors);
    mbr[510] = 0x55;
    mbr[511] = 0xAA;
    return mbr;
}

std::string RandomProgramName(Dice& dice) {
    std::string name;
    for (auto n = dice.Between(1, PROGRAM_NAME_MAX); n > 0; --n)
        name += static_cast<char>(dice.Between(0x20, 0x7E));
    return name;
}

}  // namespace

const std::string& VolumeTemplate(std::uint32_t sectors, bool withFiles, bool fat32) {
    static std::map<std::tuple<std::uint32_t, bool, bool>, std::string> cache;
    auto key = std::make_tuple(sectors, withFiles, fat32);
    if (auto found = cache.find(key); found != cache.end()) return found->second;
    std::string name = std::to_string(sectors) + (fat32 ? "-32" : "") + ".img";
    fs::path image = ScratchDir() / ("volume-" + name);
    fs::remove(image);
    Must(ToolPath("mkfs.fat") + (fat32 ? " -F 32 -s 1" : "") + " -C -i 43414D50 -n CAMPAIGN " +
         image.string() + " " + std::to_string(sectors / 2));
    std::string volume = ReadBytes(image);
    if (withFiles) volume = WithTemplateFiles(volume, "files-" + name);
    return cache[key] = volume;
}

const std::string& FloppyTemplate(bool withFiles) {
    static const std::string blank = [] {
        std::vector<std::uint8_t> image = BlankFloppyImage();
        return std::string(image.begin(), image.end());
    }();
    static const std::string filled = WithTemplateFiles(blank, "floppy-files.img");
    return withFiles ? filled : blank;
}

std::string RandomDataFile(Dice& dice, bool usbProgram) {
    DataFileSpec model;
    model.programName = RandomProgramName(dice);
    model.mediaKind = usbProgram ? MEDIA_USB : dice.Pick(std::vector<BYTE>{0, 0, 0, 1, 4, 0xFF});
    model.contentKind =
        dice.Chance(60) ? CONTENT_LOGGED : dice.Pick(std::vector<BYTE>{1, 0x80, 0xFF});
    model.fileStamp = RandomTime(dice);
    if (dice.Chance(20)) model.fileStamp = FILETIME{};

    Layout layout;
    bool withFiles = dice.Chance(50);
    if (!usbProgram) {
        layout.volume = FloppyTemplate(withFiles);
    } else {
        auto sectors = static_cast<std::uint32_t>(
            dice.Pick(std::vector<std::uint32_t>{2048, 4096, 8192, 12288}));
        layout.volume = VolumeTemplate(sectors, withFiles);
        // Mostly a partition behind a master boot record; now and then a
        // volume from sector 0, as some sticks come.
        layout.mbr = dice.Chance(90);
        if (layout.mbr) layout.start = dice.Pick(std::vector<std::uint32_t>{1, 32, 63, 2048});
        layout.base = static_cast<std::uint32_t>(dice.Between(0, layout.start));
    }
    model.baseSector = layout.base;
    std::optional<FatVolume> fat = ReadFatVolume(layout.volume, 0);
    if (!fat) throw std::logic_error("a template the oracle cannot read");

    std::vector<DataFileEntrySpec> entries, chaos;
    VolumeEntries(dice, layout, *fat, entries);
    FreeClusterEntries(dice, layout, *fat, chaos);
    FileEntries(dice, *fat, FreeClusters(layout.volume, *fat), chaos);
    SkippedEntries(dice, chaos);
    // The master boot record is the producer's own and always there.
    if (layout.mbr) {
        auto at = entries.begin() + static_cast<std::ptrdiff_t>(dice.Between(0, entries.size()));
        entries.insert(at, Sectors(ENTRY_SECTORS_ABSOLUTE, 0, MasterBootRecord(dice, layout)));
    }
    if (layout.start > 1 && dice.Chance(30))
        chaos.push_back(Sectors(ENTRY_SECTORS_ABSOLUTE, 1,
                                Garbage(dice, dice.Between(1, layout.start - 1) * kSector)));
    if (dice.Chance(60))  // the boot sector again, after the files, as producers do
        chaos.push_back(
            Sectors(ENTRY_SECTORS_ABSOLUTE, layout.start, Bytes(layout.volume, 0, kSector)));
    if (dice.Chance(3)) {  // past the volume, and maybe past the medium
        std::uint32_t past = layout.start +
                             static_cast<std::uint32_t>(layout.volume.size() / kSector) +
                             static_cast<std::uint32_t>(dice.Between(0, 40000)) - layout.base;
        chaos.push_back(dice.Chance(50) ? ZeroFill(past, kSector * 4)
                                        : Sectors(ENTRY_SECTORS, past, Garbage(dice, kSector)));
    }
    // The table holds 37: what does not fit of the salt is left out.
    if (entries.size() + chaos.size() > static_cast<std::size_t>(HDR_MAX_ENTRIES))
        chaos.resize(HDR_MAX_ENTRIES - std::min<std::size_t>(entries.size(), HDR_MAX_ENTRIES));
    // Chaos goes anywhere in the table; none of it overlaps the volume's
    // own sectors, so only the order among itself counts.
    for (DataFileEntrySpec& e : chaos) {
        auto at = entries.begin() + static_cast<std::ptrdiff_t>(dice.Between(0, entries.size()));
        entries.insert(at, std::move(e));
    }
    model.entries = std::move(entries);

    std::vector<BYTE> bytes = BuildDataFile(model);
    std::span<const BYTE> header(bytes.data(), std::min<std::size_t>(bytes.size(), HDR_SIZE));
    HeaderFault fault = FindHeaderFault(header, bytes.size(), DATA_FILE_SIGNATURE);
    if (fault.check != HeaderCheck::None)
        throw std::logic_error(std::string("the reader refuses the data file: ") +
                               HeaderCheckName(fault.check) + " at entry " +
                               std::to_string(fault.entry));
    return std::string(bytes.begin(), bytes.end());
}

}  // namespace veldra::campaign
