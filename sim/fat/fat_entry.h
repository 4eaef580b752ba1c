// The 32-byte directory entry of FAT: short (8.3) names in code page 932,
// the machine's OEM code page; long names in UTF-16 spread over entries of
// their own; and the packed dates and times.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/win32_types.h"

namespace veldra::sim {

constexpr std::size_t kEntryBytes = 32;
constexpr std::uint8_t kAttrVolumeLabel = 0x08;
constexpr std::uint8_t kAttrLongName = 0x0F;  // read-only, hidden, system and label at once
constexpr std::uint8_t kAttrDirectory = 0x10;
// What SetFileAttributesA may change on a FAT volume.
constexpr std::uint8_t kAttrChangeable = 0x27;  // read-only, hidden, system, archive
constexpr std::uint8_t kDeleted = 0xE5;
constexpr std::size_t kLongNameMax = 255;
constexpr std::size_t kLongNameChunk = 13;  // UTF-16 units per long-name entry

// Name and extension, blank-padded, as the entry holds them.
using ShortName = std::array<std::uint8_t, 11>;

std::uint8_t LongNameChecksum(const ShortName& name);

// The 8.3 name of an entry in code page 932, "NAME.EXT" without the blanks
// and with 0x05 read as the 0xE5 it stands for; no lower-case flags applied.
struct ShortNameBytes {
    explicit ShortNameBytes(const std::uint8_t* entry);
    std::string_view View() const { return std::string_view(text.data(), size); }

    std::array<char, 12> text{};
    std::size_t baseSize = 0;  // 0: no name
    std::size_t size = 0;
};

// The 8.3 name of an entry as a listing shows it (UTF-8), with the lower-case
// flags Windows NT keeps in byte 12; nullopt when it is no code page 932 text.
std::optional<std::string> ShortNameText(const std::uint8_t* entry);

// The name as a short name when it is one exactly (upper case, 8.3, only
// characters short names allow); nullopt otherwise.
std::optional<ShortName> ExactShortName(const std::string& utf8);
// The short name Windows derives from a long name: its upper-case form when
// that is a valid 8.3 name (number 0), else a basis with "~number".
std::optional<ShortName> DerivedShortName(const std::string& utf8, unsigned number);

// A name a FAT directory can hold as a long name, in UTF-16.
std::optional<std::u16string> LongNameUnits(const std::string& utf8);
// Any UTF-8 text as code points, in UTF-16, and back; nullopt for text that is
// not well formed.
std::optional<std::u32string> DecodeUtf8(std::string_view text);
std::optional<std::u16string> Utf16FromUtf8(std::string_view utf8);
std::optional<std::string> Utf8FromUtf16(std::u16string_view units);

// Long-name entry number `ordinal` (from 1) of name, the last one marked.
void EncodeLongEntry(std::uint8_t* entry, const std::u16string& name, std::size_t ordinal,
                     std::uint8_t checksum);
// The 13 units of a long-name entry.
std::array<char16_t, kLongNameChunk> LongEntryUnits(const std::uint8_t* entry);

// A date and time as FAT packs them: 2-second time, and for creation the
// 10 ms units that refine it.
struct FatStamp {
    std::uint16_t date = 0;
    std::uint16_t time = 0;
    std::uint8_t centiseconds = 0;  // 0-199
};

// FAT keeps local time. The machine's local time (its virtual clock) counts
// as UTC here, so times convert with no time-zone offset at all (the times a
// program sets go through host/fat_time.h first).
FatStamp FatStampFromLocal(const SYSTEMTIME& time);
// FILETIME 0 for a date that names no day (an entry never given one).
// zoneMinutes: the local time's offset east of UTC, taken off.
FILETIME FileTimeFromFat(std::uint16_t date, std::uint16_t time, std::uint8_t centiseconds,
                         std::int32_t zoneMinutes = 0);

}  // namespace veldra::sim
