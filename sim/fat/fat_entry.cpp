#include "sim/fat/fat_entry.h"

#include <algorithm>
#include <span>
#include <string_view>

#include "host/civil_time.h"
#include "host/cp932.h"
#include "platform/mbcs.h"

namespace veldra::sim {
namespace {

constexpr std::size_t kLongNameOffsets[kLongNameChunk] = {1,  3,  5,  7,  9,  14, 16,
                                                          18, 20, 22, 24, 28, 30};

// Characters a short name may hold besides letters, digits and code page
// 932's own (bytes from 0x80).
bool IsShortNameByte(unsigned char c) {
    if (c >= 0x80 || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return true;
    return std::string_view("!#$%&'()-@^_`{}~").find(static_cast<char>(c)) !=
           std::string_view::npos;
}

// ASCII letters changed, double-byte characters (whose second byte may
// look like a letter) left as they are.
void ChangeCase932(std::span<char> text, bool toUpper) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        auto c = static_cast<unsigned char>(text[i]);
        if (IsDbcsLeadByte932(c)) {
            ++i;
        } else if (toUpper && c >= 'a' && c <= 'z') {
            text[i] = static_cast<char>(c - 32);
        } else if (!toUpper && c >= 'A' && c <= 'Z') {
            text[i] = static_cast<char>(c + 32);
        }
    }
}
std::string ChangeCase932(std::string text, bool toUpper) {
    ChangeCase932(std::span<char>(text), toUpper);
    return text;
}

// The part's characters are short-name characters and no double-byte
// character is cut at its end.
bool IsShortPart(std::string_view part) {
    for (std::size_t i = 0; i < part.size(); ++i) {
        auto c = static_cast<unsigned char>(part[i]);
        if (IsDbcsLeadByte932(c)) {
            if (++i >= part.size()) return false;
        } else if (!IsShortNameByte(c)) {
            return false;
        }
    }
    return true;
}

// At most `bytes` bytes of text, without cutting a double-byte character.
std::string Prefix932(const std::string& text, std::size_t bytes) {
    std::size_t end = 0;
    while (end < text.size()) {
        std::size_t width = IsDbcsLeadByte932(static_cast<unsigned char>(text[end])) ? 2 : 1;
        if (end + width > bytes) break;
        end += width;
    }
    return text.substr(0, end);
}

ShortName Compose(const std::string& base, const std::string& extension) {
    ShortName name;
    name.fill(' ');
    std::copy(base.begin(), base.end(), name.begin());
    std::copy(extension.begin(), extension.end(), name.begin() + 8);
    // 0xE5 opens double-byte characters but marks deleted entries.
    if (name[0] == kDeleted) name[0] = 0x05;
    return name;
}

std::optional<ShortName> ParseShortName(const std::string& cp932) {
    std::size_t dot = cp932.find('.');
    std::string base = cp932.substr(0, dot);
    std::string extension = dot == std::string::npos ? "" : cp932.substr(dot + 1);
    if (base.empty() || base.size() > 8 || extension.size() > 3 || !IsShortPart(base) ||
        !IsShortPart(extension) || (dot != std::string::npos && extension.empty())) {
        return std::nullopt;
    }
    return Compose(base, extension);
}

}  // namespace

std::uint8_t LongNameChecksum(const ShortName& name) {
    std::uint8_t sum = 0;
    for (std::uint8_t c : name) sum = static_cast<std::uint8_t>(((sum & 1) << 7) + (sum >> 1) + c);
    return sum;
}

ShortNameBytes::ShortNameBytes(const std::uint8_t* entry) {
    std::string_view base(reinterpret_cast<const char*>(entry), 8);
    std::string_view extension(reinterpret_cast<const char*>(entry + 8), 3);
    base = base.substr(0, base.find_last_not_of(' ') + 1);
    extension = extension.substr(0, extension.find_last_not_of(' ') + 1);
    baseSize = size = base.copy(text.data(), base.size());
    if (!extension.empty()) {
        text[size++] = '.';
        size += extension.copy(text.data() + size, extension.size());
    }
    if (text[0] == 0x05) text[0] = static_cast<char>(kDeleted);
}

std::optional<std::string> ShortNameText(const std::uint8_t* entry) {
    ShortNameBytes name(entry);
    if (name.baseSize == 0) return std::nullopt;
    std::span<char> text(name.text.data(), name.size);
    if (entry[12] & 0x08) ChangeCase932(text.first(name.baseSize), false);
    if (entry[12] & 0x10) ChangeCase932(text.subspan(name.baseSize), false);
    return host::Cp932ToUtf8(name.View());
}

std::optional<ShortName> ExactShortName(const std::string& utf8) {
    std::optional<std::string> cp932 = host::Utf8ToCp932(utf8);
    if (!cp932) return std::nullopt;
    return ParseShortName(*cp932);
}

std::optional<ShortName> DerivedShortName(const std::string& utf8, unsigned number) {
    std::optional<std::string> cp932 = host::Utf8ToCp932(utf8);
    if (!cp932) return std::nullopt;
    std::string upper = ChangeCase932(*cp932, true);
    if (number == 0) return ParseShortName(upper);
    // The basis: no blanks, no leading dots, the extension after the last dot.
    upper.erase(std::remove(upper.begin(), upper.end(), ' '), upper.end());
    upper.erase(0, upper.find_first_not_of('.'));
    std::size_t dot = upper.rfind('.');
    std::string base = upper.substr(0, dot);
    std::string extension = dot == std::string::npos ? "" : upper.substr(dot + 1);
    base.erase(std::remove(base.begin(), base.end(), '.'), base.end());
    for (std::string* part : {&base, &extension}) {
        for (std::size_t i = 0; i < part->size(); ++i) {
            auto c = static_cast<unsigned char>((*part)[i]);
            if (IsDbcsLeadByte932(c) && i + 1 < part->size()) {
                ++i;
            } else if (!IsShortNameByte(c) || IsDbcsLeadByte932(c)) {
                (*part)[i] = '_';
            }
        }
    }
    std::string tail = "~" + std::to_string(number);
    if (tail.size() > 7) return std::nullopt;
    base = Prefix932(base, 8 - tail.size());
    if (base.empty()) base = "_";
    return Compose(base + tail, Prefix932(extension, 3));
}

std::optional<std::u32string> DecodeUtf8(std::string_view text) {
    std::u32string out;
    for (std::size_t i = 0; i < text.size();) {
        auto c = static_cast<unsigned char>(text[i]);
        int extra = c < 0x80             ? 0
                    : (c & 0xE0) == 0xC0 ? 1
                    : (c & 0xF0) == 0xE0 ? 2
                    : (c & 0xF8) == 0xF0 ? 3
                                         : -1;
        if (extra < 0 || i + extra >= text.size()) return std::nullopt;
        char32_t point = extra == 0 ? c : c & (0x3F >> extra);
        for (int k = 1; k <= extra; ++k) {
            auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) return std::nullopt;
            point = (point << 6) | (next & 0x3F);
        }
        constexpr char32_t kLeast[] = {0, 0x80, 0x800, 0x10000};
        if (point < kLeast[extra] || point > 0x10FFFF || (point >= 0xD800 && point <= 0xDFFF)) {
            return std::nullopt;
        }
        out.push_back(point);
        i += extra + 1;
    }
    return out;
}

std::optional<std::u16string> Utf16FromUtf8(std::string_view utf8) {
    std::optional<std::u32string> points = DecodeUtf8(utf8);
    if (!points) return std::nullopt;
    std::u16string units;
    for (char32_t point : *points) {
        if (point >= 0x10000) {
            units.push_back(static_cast<char16_t>(0xD800 + ((point - 0x10000) >> 10)));
            units.push_back(static_cast<char16_t>(0xDC00 + ((point - 0x10000) & 0x3FF)));
        } else {
            units.push_back(static_cast<char16_t>(point));
        }
    }
    return units;
}

std::optional<std::u16string> LongNameUnits(const std::string& utf8) {
    std::optional<std::u16string> units = Utf16FromUtf8(utf8);
    if (!units || units->empty() || units->size() > kLongNameMax) return std::nullopt;
    for (char16_t unit : *units) {
        if (unit < 0x20 || std::u16string_view(u"\"*/:<>?\\|").find(unit) != std::u16string::npos) {
            return std::nullopt;
        }
    }
    return units;
}

std::optional<std::string> Utf8FromUtf16(std::u16string_view units) {
    std::string out;
    for (std::size_t i = 0; i < units.size(); ++i) {
        char32_t point = units[i];
        if (point >= 0xDC00 && point <= 0xDFFF) return std::nullopt;
        if (point >= 0xD800 && point <= 0xDBFF) {
            if (i + 1 >= units.size() || units[i + 1] < 0xDC00 || units[i + 1] > 0xDFFF) {
                return std::nullopt;
            }
            point = 0x10000 + ((point - 0xD800) << 10) + (units[++i] - 0xDC00);
        }
        if (point < 0x80) {
            out.push_back(static_cast<char>(point));
        } else if (point < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (point >> 6)));
            out.push_back(static_cast<char>(0x80 | (point & 0x3F)));
        } else if (point < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (point >> 12)));
            out.push_back(static_cast<char>(0x80 | ((point >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (point & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (point >> 18)));
            out.push_back(static_cast<char>(0x80 | ((point >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((point >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (point & 0x3F)));
        }
    }
    return out;
}

void EncodeLongEntry(std::uint8_t* entry, const std::u16string& name, std::size_t ordinal,
                     std::uint8_t checksum) {
    bool last = ordinal * kLongNameChunk >= name.size();
    entry[0] = static_cast<std::uint8_t>(ordinal | (last ? 0x40 : 0));
    entry[11] = kAttrLongName;
    entry[12] = 0;
    entry[13] = checksum;
    entry[26] = entry[27] = 0;
    for (std::size_t k = 0; k < kLongNameChunk; ++k) {
        std::size_t i = (ordinal - 1) * kLongNameChunk + k;
        // The name ends with a 0 unit when it does not fill the entry; 0xFFFF pads.
        char16_t unit = i < name.size() ? name[i] : i == name.size() ? u'\0' : u'\xFFFF';
        entry[kLongNameOffsets[k]] = static_cast<std::uint8_t>(unit);
        entry[kLongNameOffsets[k] + 1] = static_cast<std::uint8_t>(unit >> 8);
    }
}

std::array<char16_t, kLongNameChunk> LongEntryUnits(const std::uint8_t* entry) {
    std::array<char16_t, kLongNameChunk> units;
    for (std::size_t k = 0; k < kLongNameChunk; ++k) {
        const std::uint8_t* p = entry + kLongNameOffsets[k];
        units[k] = static_cast<char16_t>(p[0] | (p[1] << 8));
    }
    return units;
}

FatStamp FatStampFromLocal(const SYSTEMTIME& t) {
    // A machine clock outside the years FAT can count: the nearest time it can.
    if (t.wYear < 1980) return FatStamp{(0 << 9) | (1 << 5) | 1, 0, 0};
    if (t.wYear > 2107)
        return FatStamp{(127 << 9) | (12 << 5) | 31, (23 << 11) | (59 << 5) | 29, 199};
    FatStamp stamp;
    stamp.date = static_cast<std::uint16_t>(((t.wYear - 1980) << 9) | (t.wMonth << 5) | t.wDay);
    stamp.time = static_cast<std::uint16_t>((t.wHour << 11) | (t.wMinute << 5) | (t.wSecond / 2));
    stamp.centiseconds = static_cast<std::uint8_t>((t.wSecond % 2) * 100 + t.wMilliseconds / 10);
    return stamp;
}

FILETIME FileTimeFromFat(std::uint16_t date, std::uint16_t time, std::uint8_t centiseconds,
                         std::int32_t zoneMinutes) {
    int year = 1980 + (date >> 9);
    int month = (date >> 5) & 0x0F;
    int day = date & 0x1F;
    if (month < 1 || month > 12 || day < 1 || day > host::DaysInMonth(year, month)) {
        return FILETIME{0, 0};
    }
    int hour = time >> 11;
    int minute = (time >> 5) & 0x3F;
    int second = (time & 0x1F) * 2;
    if (hour > 23 || minute > 59 || second > 59 || centiseconds > 199) {
        hour = minute = second = 0;
        centiseconds = 0;
    }
    std::int64_t ms = host::MillisecondsFromCivil(year, month, day, hour, minute, second) +
                      std::int64_t{centiseconds} * 10 - std::int64_t{zoneMinutes} * 60'000;
    return host::FileTimeFromMilliseconds(ms);
}

}  // namespace veldra::sim
