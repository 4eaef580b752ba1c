#include "sim/fat/fat_directory.h"

#include <cstring>
#include <set>
#include <vector>

#include "host/cp932.h"
#include "host/text.h"
#include "sim/kernel/errors.h"

namespace veldra::sim {
namespace {

// FAT allows a directory 65536 entries (2 MiB).
constexpr std::uint32_t kMaxDirectoryEntries = 65536;
constexpr std::size_t kMaxLongEntries = (kLongNameMax + kLongNameChunk - 1) / kLongNameChunk;

using SlotVisit = std::function<bool(std::uint64_t offset, const std::uint8_t* entry)>;

// Each 32-byte slot of a directory's storage, read a sector at a time, until
// visit returns true. *slots gets how many were visited.
DWORD ForEachSlot(FatView& view, std::uint32_t directory, const SlotVisit& visit,
                  std::uint32_t* slots = nullptr) {
    const FatLayout& layout = view.layout;
    std::vector<std::uint8_t> sector(layout.sectorBytes);
    std::uint32_t perSector = layout.sectorBytes / kEntryBytes;
    std::uint32_t visited = 0;
    auto visitSectors = [&](std::uint64_t start, std::uint32_t entries, bool* stop) -> DWORD {
        for (std::uint32_t done = 0; done < entries && !*stop; done += perSector) {
            std::uint64_t at = start + std::uint64_t{done} * kEntryBytes;
            if (DWORD error = view.volume.Read(at, sector.data(), sector.size())) return error;
            for (std::uint32_t i = 0; i < perSector && done + i < entries && !*stop; ++i) {
                ++visited;
                *stop = visit(at + i * kEntryBytes, sector.data() + i * kEntryBytes);
            }
        }
        return ERROR_SUCCESS;
    };
    bool stop = false;
    DWORD error = ERROR_SUCCESS;
    if (directory == 0) {
        error = visitSectors(layout.rootOffset, layout.rootEntries, &stop);
    } else {
        std::uint32_t perCluster = layout.clusterBytes / kEntryBytes;
        std::uint32_t cluster = directory;
        bool end = !layout.IsCluster(cluster);
        if (end) error = ERROR_FILE_CORRUPT;
        while (!end && !stop && !error) {
            // No directory is longer, so its chain must loop.
            if (visited >= kMaxDirectoryEntries) return ERROR_FILE_CORRUPT;
            error = visitSectors(layout.ClusterOffset(cluster), perCluster, &stop);
            if (!error && !stop) error = view.table.Next(cluster, &cluster, &end);
        }
    }
    if (slots) *slots = visited;
    return error;
}

// Long-name entries met so far, waiting for the short entry they belong to.
class LongNameParts {
public:
    void Reset() { m_expected = -1; }
    void Add(const std::uint8_t* entry) {
        int ordinal = entry[0] & 0x3F;
        if (entry[0] & 0x40) {
            if (ordinal < 1 || ordinal > static_cast<int>(kMaxLongEntries)) return Reset();
            m_count = ordinal;
            m_checksum = entry[13];
            m_expected = ordinal;
        }
        if (m_expected < 1 || ordinal != m_expected || entry[13] != m_checksum) return Reset();
        auto units = LongEntryUnits(entry);
        std::memcpy(&m_units[(ordinal - 1) * kLongNameChunk], units.data(), sizeof units);
        --m_expected;
    }
    // The long name of a short entry, when every part came and the checksum
    // says it is this entry's.
    std::optional<std::string> NameFor(const ShortName& shortName) const {
        if (m_expected != 0 || m_checksum != LongNameChecksum(shortName)) return std::nullopt;
        std::u16string units(m_units.data(), m_count * kLongNameChunk);
        units.erase(std::min(units.find(u'\0'), units.size()));
        if (units.empty() || units.size() > kLongNameMax) return std::nullopt;
        std::optional<std::string> utf8 = Utf8FromUtf16(units);
        // The machine names files in code page 932; others go by their 8.3 name.
        if (!utf8 || !host::Utf8ToCp932(*utf8)) return std::nullopt;
        return utf8;
    }

private:
    std::array<char16_t, kMaxLongEntries * kLongNameChunk> m_units{};
    int m_count = 0;
    int m_expected = -1;
    std::uint8_t m_checksum = 0;
};

ShortName NameOf(const std::uint8_t* entry) {
    ShortName name;
    std::memcpy(name.data(), entry, name.size());
    return name;
}

}  // namespace

std::uint32_t RootDirectory(const FatLayout& layout) {
    return layout.type == FatType::Fat32 ? layout.rootCluster : 0;
}

std::uint32_t FirstCluster(const FatLayout& layout, const std::uint8_t* entry) {
    std::uint32_t high = layout.type == FatType::Fat32 ? Le16(entry + 20) : 0;
    return (high << 16) | Le16(entry + 26);
}

void SetFirstCluster(const FatLayout& layout, std::uint8_t* entry, std::uint32_t cluster) {
    PutLe16(entry + 26, static_cast<std::uint16_t>(cluster));
    if (layout.type == FatType::Fat32)
        PutLe16(entry + 20, static_cast<std::uint16_t>(cluster >> 16));
}

DWORD ForEachEntry(FatView& view, std::uint32_t directory,
                   const std::function<bool(const FatFound&)>& visit) {
    LongNameParts parts;
    return ForEachSlot(view, directory, [&](std::uint64_t offset, const std::uint8_t* entry) {
        if (entry[0] == 0) return true;  // the end of the directory
        std::uint8_t attributes = entry[11];
        if (entry[0] == kDeleted) {
            parts.Reset();
        } else if ((attributes & 0x3F) == kAttrLongName) {
            parts.Add(entry);
        } else if ((attributes & kAttrVolumeLabel) || entry[0] == '.') {
            parts.Reset();
        } else {
            FatFound found;
            found.shortText = ShortNameText(entry);
            std::optional<std::string> longName = parts.NameFor(NameOf(entry));
            parts.Reset();
            if (!longName && !found.shortText) return false;  // nothing the machine can name
            found.name = longName ? *longName : *found.shortText;
            std::memcpy(found.entry.data(), entry, kEntryBytes);
            found.offset = offset;
            return visit(found);
        }
        return false;
    });
}

DWORD FindEntry(FatView& view, std::uint32_t directory, const std::string& name,
                std::optional<FatFound>* found) {
    found->reset();
    std::string wanted = host::UpperAscii(name);
    return ForEachEntry(view, directory, [&](const FatFound& entry) {
        if (host::UpperAscii(entry.name) != wanted &&
            (!entry.shortText || host::UpperAscii(*entry.shortText) != wanted)) {
            return false;
        }
        *found = entry;
        return true;
    });
}

DWORD ReadEntry(FatView& view, std::uint64_t offset, std::uint8_t* entry) {
    return ReadBytes(view.volume, view.layout.sectorBytes, offset, entry, kEntryBytes);
}

DWORD WriteEntry(FatView& view, std::uint64_t offset, const std::uint8_t* entry) {
    return WriteBytes(view.volume, view.layout.sectorBytes, offset, entry, kEntryBytes);
}

namespace {

// `count` consecutive free slots of a directory, growing it when it has no
// room and may grow. *terminator: a slot past the directory's old end that
// must now read as its end.
DWORD FindFreeSlots(FatView& view, std::uint32_t directory, std::size_t count,
                    std::vector<std::uint64_t>* slots, std::optional<std::uint64_t>* terminator) {
    bool pastEnd = false;
    bool full = false;
    std::uint32_t total = 0;
    DWORD error = ForEachSlot(
        view, directory,
        [&](std::uint64_t offset, const std::uint8_t* entry) {
            if (full) {
                *terminator = offset;
                return true;
            }
            pastEnd = pastEnd || entry[0] == 0;
            if (!pastEnd && entry[0] != kDeleted) {
                slots->clear();
                return false;
            }
            slots->push_back(offset);
            full = slots->size() == count;
            return full && !pastEnd;
        },
        &total);
    if (error || full) return error;

    const FatLayout& layout = view.layout;
    std::uint32_t perCluster = layout.clusterBytes / kEntryBytes;
    std::size_t missing = count - slots->size();
    std::size_t clusters = (missing + perCluster - 1) / perCluster;
    if (directory == 0 || total + std::uint64_t{clusters} * perCluster > kMaxDirectoryEntries) {
        return ERROR_CANNOT_MAKE;
    }
    std::uint32_t last = 0;
    std::uint32_t length = 0;
    if (DWORD lastError = view.table.Last(directory, &last, &length)) return lastError;
    std::vector<std::uint8_t> zeros(layout.clusterBytes);
    for (std::size_t i = 0; i < clusters; ++i) {
        std::uint32_t cluster = 0;
        if (DWORD allocError = view.table.Allocate(last + 1, &cluster)) return allocError;
        // Cleared before it joins the directory, so it never shows old bytes.
        if (DWORD writeError =
                view.volume.Write(layout.ClusterOffset(cluster), zeros.data(), zeros.size())) {
            return writeError;
        }
        if (DWORD linkError = view.table.Link(last, cluster)) return linkError;
        for (std::uint32_t k = 0; k < perCluster && slots->size() < count; ++k) {
            slots->push_back(layout.ClusterOffset(cluster) + std::uint64_t{k} * kEntryBytes);
        }
        last = cluster;
    }
    return ERROR_SUCCESS;
}

}  // namespace

DWORD CreateEntry(FatView& view, std::uint32_t directory, const std::string& name,
                  std::array<std::uint8_t, kEntryBytes> entry, std::uint64_t* offset) {
    std::optional<std::u16string> units = LongNameUnits(name);
    if (!units || !host::Utf8ToCp932(name)) return ERROR_INVALID_NAME;
    std::set<ShortName> shortNames;
    std::set<std::string> names;  // upper case, long and short
    bool exists = false;
    std::string wanted = host::UpperAscii(name);
    DWORD error = ForEachEntry(view, directory, [&](const FatFound& found) {
        shortNames.insert(NameOf(found.entry.data()));
        names.insert(host::UpperAscii(found.name));
        if (found.shortText) names.insert(host::UpperAscii(*found.shortText));
        exists = names.count(wanted) != 0;
        return exists;
    });
    if (error) return error;
    if (exists) return ERROR_FILE_EXISTS;

    std::optional<ShortName> shortName = ExactShortName(name);
    bool needsLongName = !shortName;
    // A long name's short name: its own upper-case form when free, else "~n".
    for (unsigned n = 0; !shortName && n < 1000000; ++n) {
        std::optional<ShortName> candidate = DerivedShortName(name, n);
        if (!candidate || shortNames.count(*candidate)) continue;
        std::array<std::uint8_t, kEntryBytes> probe{};
        std::memcpy(probe.data(), candidate->data(), candidate->size());
        std::optional<std::string> text = ShortNameText(probe.data());
        if (text && !names.count(host::UpperAscii(*text))) shortName = candidate;
    }
    if (!shortName) return ERROR_CANNOT_MAKE;

    std::size_t longEntries =
        needsLongName ? (units->size() + kLongNameChunk - 1) / kLongNameChunk : 0;
    std::vector<std::uint64_t> slots;
    std::optional<std::uint64_t> terminator;
    if (DWORD slotError = FindFreeSlots(view, directory, longEntries + 1, &slots, &terminator)) {
        return slotError;
    }
    std::uint8_t checksum = LongNameChecksum(*shortName);
    for (std::size_t i = 0; i < longEntries; ++i) {
        // The name's last part comes first.
        std::array<std::uint8_t, kEntryBytes> part{};
        EncodeLongEntry(part.data(), *units, longEntries - i, checksum);
        if (DWORD writeError = WriteEntry(view, slots[i], part.data())) return writeError;
    }
    std::memcpy(entry.data(), shortName->data(), shortName->size());
    if (DWORD writeError = WriteEntry(view, slots.back(), entry.data())) return writeError;
    if (terminator) {
        std::array<std::uint8_t, kEntryBytes> next{};
        if (DWORD readError = ReadEntry(view, *terminator, next.data())) return readError;
        if (next[0] != 0) {
            next[0] = 0;
            if (DWORD writeError = WriteEntry(view, *terminator, next.data())) return writeError;
        }
    }
    *offset = slots.back();
    return ERROR_SUCCESS;
}

}  // namespace veldra::sim
