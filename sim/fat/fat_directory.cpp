#include "sim/fat/fat_directory.h"

#include <algorithm>
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

// Each 32-byte slot of a directory's storage, read a sector at a time, until
// visit(offset, slot) returns true. *slots gets how many were visited. A
// lookup walks every slot before the one it wants, so the walk stays free of
// allocations and indirect calls.
template <typename Visit>
DWORD ForEachSlot(FatView& view, std::uint32_t directory, Visit&& visit,
                  std::uint32_t* slots = nullptr) {
    const FatLayout& layout = view.layout;
    std::array<std::uint8_t, kMaxSectorBytes> sector;
    std::uint32_t perSector = layout.sectorBytes / kEntryBytes;
    std::uint32_t visited = 0;
    auto visitSectors = [&](std::uint64_t start, std::uint32_t entries, bool* stop) -> DWORD {
        for (std::uint32_t done = 0; done < entries && !*stop; done += perSector) {
            std::uint64_t at = start + std::uint64_t{done} * kEntryBytes;
            if (DWORD error = view.volume.Read(at, sector.data(), layout.sectorBytes)) return error;
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
    // The units of a short entry's long name (up to its first NUL), when
    // every part came and the checksum says they are this entry's.
    std::optional<std::u16string_view> UnitsFor(const ShortName& shortName) const {
        if (m_expected != 0 || m_checksum != LongNameChecksum(shortName)) return std::nullopt;
        std::u16string_view units(m_units.data(), m_count * kLongNameChunk);
        return units.substr(0, units.find(u'\0'));
    }
    // The long name of a short entry, when it has one the machine can name.
    std::optional<std::string> NameFor(const ShortName& shortName) const {
        std::optional<std::u16string_view> units = UnitsFor(shortName);
        if (!units || units->empty() || units->size() > kLongNameMax) return std::nullopt;
        std::optional<std::string> utf8 = Utf8FromUtf16(*units);
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

namespace {

// Each short entry in directory order (no labels, deleted entries, "." or
// ".."), with the long-name entries that came before it, until visit
// returns true: visit(offset, entry, parts).
template <typename Visit>
DWORD ForEachShortEntry(FatView& view, std::uint32_t directory, Visit&& visit) {
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
            bool stop = visit(offset, entry, parts);
            parts.Reset();
            return stop;
        }
        return false;
    });
}

// A short entry as a listing shows it; nullopt when the machine can name it
// neither by its long name nor by its 8.3 name.
std::optional<FatFound> Found(std::uint64_t offset, const std::uint8_t* entry,
                              const LongNameParts& parts) {
    FatFound found;
    found.shortText = ShortNameText(entry);
    std::optional<std::string> longName = parts.NameFor(NameOf(entry));
    if (!longName && !found.shortText) return std::nullopt;
    found.name = longName ? *longName : *found.shortText;
    std::memcpy(found.entry.data(), entry, kEntryBytes);
    found.offset = offset;
    return found;
}

// A name looked up in a directory, held against each entry without
// converting the entry's names: a lookup walks the whole directory, and
// the names of nearly every entry differ from the one it wants.
class WantedName {
public:
    explicit WantedName(const std::string& name)
        : m_upper(host::UpperAscii(name)),
          m_ascii(std::all_of(name.begin(), name.end(),
                              [](char c) { return static_cast<unsigned char>(c) < 0x80; })) {
        // Most names are ASCII, whose characters are their bytes.
        if (!m_ascii) m_points = DecodeUtf8(name);
    }

    // Whether the entry's long name (`units`, not yet known to be one the
    // machine can name) is this name, without regard to ASCII case. Names
    // the machine can give are in code page 932, which has no characters
    // past U+FFFF, so units and characters pair one to one.
    bool IsLongName(std::u16string_view units) const {
        if (!Valid() || units.size() != Size()) return false;
        for (std::size_t i = 0; i < units.size(); ++i) {
            if (Fold(units[i]) != Fold(At(i))) return false;
        }
        return true;
    }

    // Whether the entry's 8.3 name, as a listing shows it, is this name,
    // without regard to case. Code page 932 turns each of its characters
    // into one character, ASCII into the same ASCII and nothing else into
    // ASCII; so the bytes tell most names apart without a conversion, and
    // only a name with other characters in the right places is converted.
    bool IsShortName(const std::uint8_t* entry) const {
        if (!Valid() || Size() == 0) return false;
        // The first character parts most names.
        char32_t first = entry[0] == 0x05 ? kDeleted : entry[0];
        if ((first < 0x80) != (At(0) < 0x80) || (first < 0x80 && Fold(first) != Fold(At(0)))) {
            return false;
        }
        ShortNameBytes bytes(entry);
        if (bytes.baseSize == 0) return false;
        std::size_t point = 0;
        bool ascii = true;
        for (std::size_t i = 0; i < bytes.size; ++point) {
            if (point == Size()) return false;
            auto c = static_cast<unsigned char>(bytes.text[i]);
            if (c < 0x80) {
                if (At(point) >= 0x80 || Fold(c) != Fold(At(point))) return false;
                ++i;
            } else {
                if (At(point) < 0x80) return false;
                ascii = false;
                i += IsDbcsLeadByte932(c) ? 2 : 1;
            }
        }
        if (point != Size()) return false;
        if (ascii) return true;
        std::optional<std::string> converted = ShortNameText(entry);
        return converted && host::UpperAscii(*converted) == m_upper;
    }

private:
    static char32_t Fold(char32_t c) { return c >= U'a' && c <= U'z' ? c - 32 : c; }
    // A name that is no UTF-8 is no entry's name.
    bool Valid() const { return m_ascii || m_points; }
    std::size_t Size() const { return m_ascii ? m_upper.size() : m_points->size(); }
    char32_t At(std::size_t i) const {
        return m_ascii ? static_cast<unsigned char>(m_upper[i]) : (*m_points)[i];
    }

    std::string m_upper;
    bool m_ascii;
    std::optional<std::u32string> m_points;  // when not ASCII
};

}  // namespace

DWORD ForEachEntry(FatView& view, std::uint32_t directory,
                   const std::function<bool(const FatFound&)>& visit) {
    return ForEachShortEntry(
        view, directory,
        [&](std::uint64_t offset, const std::uint8_t* entry, const LongNameParts& parts) {
            std::optional<FatFound> found = Found(offset, entry, parts);
            return found && visit(*found);
        });
}

DWORD FindEntry(FatView& view, std::uint32_t directory, const std::string& name,
                std::optional<FatFound>* found) {
    found->reset();
    WantedName wanted(name);
    return ForEachShortEntry(
        view, directory,
        [&](std::uint64_t offset, const std::uint8_t* entry, const LongNameParts& parts) {
            ShortName shortName = NameOf(entry);
            std::optional<std::u16string_view> units = parts.UnitsFor(shortName);
            // A long name counts only when the machine can name it.
            bool isLong = units && wanted.IsLongName(*units) && parts.NameFor(shortName);
            if (!isLong && !wanted.IsShortName(entry)) return false;
            *found = Found(offset, entry, parts);
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
