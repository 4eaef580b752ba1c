#include "tools/inspect/inspect.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <span>
#include <sstream>
#include <vector>

#include "host/civil_time.h"
#include "host/cp932.h"
#include "host/fat_time.h"
#include "res/message_text.h"
#include "res/resource.h"

namespace veldra {
namespace {

namespace fs = std::filesystem;

// The string table as the program holds it, in its UTF-8 source form.
std::string TableText(UINT id) {
    return std::string(StringTableSource(id));
}

// The reader's message for a refusal: 103 when the file cannot be opened,
// 105 when it is no data file, 108 when it is broken.
UINT MessageFor(const InspectReport& report) {
    if (!report.opened) return IDS_CANNOT_OPEN;
    switch (VerdictFor(report.fault.check)) {
        case HeaderVerdict::Valid:
            return 0;
        case HeaderVerdict::NotDataFile:
            return IDS_NOT_DATA_FILE;
        case HeaderVerdict::Broken:
            return IDS_DATA_BROKEN;
    }
    return 0;
}

const char* CheckKey(const InspectReport& report) {
    return report.opened ? HeaderCheckName(report.fault.check) : "open";
}

std::string Hex(std::uint64_t value, int width) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%0*llX", width, static_cast<unsigned long long>(value));
    return text;
}

std::uint64_t Ticks(const FILETIME& t) {
    return (static_cast<std::uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
}

std::string StampText(const FILETIME& stamp) {
    return Ticks(stamp) == 0 ? "none" : host::TimestampText(stamp);
}

// The signature as far as the reader compares it: up to its NUL, at most 16 bytes.
std::string SignatureText(const DataFileHeader& header) {
    return host::Cp932ToUtf8Lossy(header.Signature().substr(0, HDR_OFFSET_PROGRAM_NAME));
}

bool IsSectorKind(BYTE kind) {
    return kind == ENTRY_SECTORS || kind == ENTRY_ZERO_FILL || kind == ENTRY_SECTORS_ABSOLUTE;
}

const char* KindName(BYTE kind) {
    switch (kind) {
        case ENTRY_SECTORS:
            return "sectors";
        case ENTRY_FILE:
            return "file";
        case ENTRY_ZERO_FILL:
            return "zero-fill";
        case ENTRY_SECTORS_ABSOLUTE:
            return "absolute";
        default:
            return "reserved";
    }
}

int ListedEntries(const DataFileHeader& header) {
    return std::min<int>(header.EntryCount(), HDR_MAX_ENTRIES);
}

// Times the program asks the file system to set that FAT cannot hold: the
// program takes the file, SetFileTime fails on the medium and the files keep
// the times they were given when they were written. The stamp counts on a
// floppy program only; nothing else uses it.
struct TimeWarning {
    int entry;  // -1: the stamp
    std::string text;
};

std::vector<TimeWarning> TimeWarnings(const DataFileHeader& h) {
    std::vector<TimeWarning> warnings;
    auto outside = [](const FILETIME& time) {
        return host::TimestampText(time) + " lies outside the times FAT holds (" +
               host::FatTimeRangeUtc(host::kMakersTimeZoneMinutes) + "): SetFileTime fails";
    };
    if (h.MediaKind() != MEDIA_USB &&
        !host::FatHoldsFileTime(h.FileStamp(), host::kMakersTimeZoneMinutes)) {
        warnings.push_back({-1, "the stamp " + outside(h.FileStamp()) +
                                    " and the floppy's files keep their own times"});
    }
    for (int i = 0; i < ListedEntries(h); ++i) {
        DataFileEntry e = h.Entry(i);
        if (e.InUse != ENTRY_IN_USE || e.Kind != ENTRY_FILE ||
            host::FatHoldsFileTime(e.FileTime, host::kMakersTimeZoneMinutes))
            continue;
        warnings.push_back({i, "entry " + std::to_string(i) + " (" +
                                   host::Cp932ToUtf8Lossy(e.FileName) + "): its time " +
                                   outside(e.FileTime) +
                                   " and the file keeps the time it was written"});
    }
    return warnings;
}

std::string CheckDescription(const InspectReport& report) {
    std::string entry = "entry " + std::to_string(report.fault.entry) + ": ";
    switch (report.fault.check) {
        case HeaderCheck::None:
            return "";
        case HeaderCheck::Length:
            return "the file is " + std::to_string(report.fileSize) +
                   " bytes, shorter than the 2048-byte header";
        case HeaderCheck::Signature:
            return "the text at offset 0 is not \"" + TableText(IDS_DATA_SIGNATURE) + "\"";
        case HeaderCheck::Checksum:
            return "the header's words sum to " + Hex(SumHeaderWords(report.header->bytes), 8) +
                   ", not 0xFFFFFFFF";
        case HeaderCheck::EntryCount:
            return std::to_string(report.header->EntryCount()) + " entries; at most " +
                   std::to_string(HDR_MAX_ENTRIES) + " fit";
        case HeaderCheck::PayloadExtent: {
            DataFileEntry e = report.header->Entry(report.fault.entry);
            return entry + "its payload ends at byte " +
                   std::to_string(HDR_PAYLOAD_BASE + e.DataOffset + e.Size) +
                   ", past the end of the file (" + std::to_string(report.fileSize) + " bytes)";
        }
        case HeaderCheck::FileName:
            return entry + "its file name is not a plain name in the root directory";
        case HeaderCheck::SectorRange:
            return entry + "its sectors reach past sector 2^32";
    }
    return "";
}

// JSON text: quotes, backslashes and control characters escaped, and any
// byte that is not part of valid UTF-8 replaced, so the output always parses.
std::string Quote(std::string_view text) {
    std::string out = "\"";
    for (std::size_t i = 0; i < text.size();) {
        auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x80) {
            if (c == '"' || c == '\\') {
                out += '\\';
                out += static_cast<char>(c);
            } else if (c < 0x20) {
                char escape[8];
                std::snprintf(escape, sizeof escape, "\\u%04X", c);
                out += escape;
            } else {
                out += static_cast<char>(c);
            }
            ++i;
            continue;
        }
        std::size_t length = c >= 0xF0 && c <= 0xF4 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 ? 2 : 0;
        bool valid = length > 0 && c < 0xF5 && i + length <= text.size();
        for (std::size_t k = 1; valid && k < length; ++k) {
            valid = (static_cast<unsigned char>(text[i + k]) & 0xC0) == 0x80;
        }
        if (valid) {
            out.append(text.substr(i, length));
            i += length;
        } else {
            out += "\\uFFFD";
            ++i;
        }
    }
    return out + "\"";
}

}  // namespace

InspectReport InspectDataFile(const std::string& path) {
    std::error_code ec;
    // The program opens files only; a folder cannot be opened as one.
    std::ifstream in;
    if (fs::is_regular_file(path, ec)) in.open(path, std::ios::binary);
    if (!in.is_open()) return InspectDataFileBytes(path, std::nullopt, 0);
    std::uint64_t fileSize = fs::file_size(path, ec);
    std::vector<BYTE> bytes(HDR_SIZE);
    in.read(reinterpret_cast<char*>(bytes.data()), HDR_SIZE);
    bytes.resize(static_cast<std::size_t>(in.gcount()));
    return InspectDataFileBytes(path, bytes, fileSize);
}

InspectReport InspectDataFileBytes(const std::string& path,
                                   const std::optional<std::vector<BYTE>>& firstBytes,
                                   std::uint64_t fileSize) {
    InspectReport report;
    report.path = path;
    report.title = fs::path(path).filename().string();
    report.opened = firstBytes.has_value();
    if (report.opened) {
        report.fileSize = fileSize;
        const std::vector<BYTE>& bytes = *firstBytes;
        if (bytes.size() >= HDR_SIZE) {
            report.header.emplace();
            std::copy_n(bytes.begin(), HDR_SIZE, report.header->bytes.begin());
        }
        std::span<const BYTE> head(bytes.data(), std::min(bytes.size(), HDR_SIZE));
        report.fault = FindHeaderFault(head, report.fileSize, TableText(IDS_DATA_SIGNATURE));
    }
    report.messageId = MessageFor(report);
    if (report.messageId != 0) {
        report.message = FormatMessageText(TableText(report.messageId), report.title);
    }
    return report;
}

std::string FormatReportText(const InspectReport& report) {
    std::ostringstream out;
    out << "file          " << report.path;
    if (report.opened) out << " (" << report.fileSize << " bytes)";
    out << "\n";
    if (report.header) {
        const DataFileHeader& h = *report.header;
        out << "signature     " << SignatureText(h) << "\n"
            << "program name  " << host::Cp932ToUtf8Lossy(h.ProgramName()) << "\n"
            << "media kind    " << (h.MediaKind() == MEDIA_USB ? "usb" : "floppy") << " ("
            << Hex(h.MediaKind(), 2) << ")\n"
            << "content kind  " << int{h.ContentKind()}
            << (h.ContentKind() == CONTENT_LOGGED ? " (logged)" : " (not logged)") << "\n"
            << "stamp         " << StampText(h.FileStamp()) << "\n"
            << "base sector   " << h.BaseSector() << "\n"
            << "checksum      " << Hex(h.Checksum(), 8)
            << (IsHeaderChecksumValid(&h) ? " (valid)" : " (wrong)") << "\n"
            << "entry count   " << int{h.EntryCount()}
            << (h.EntryCount() > HDR_MAX_ENTRIES ? " (the header has room for 37)" : "") << "\n";
        for (int i = 0; i < ListedEntries(h); ++i) {
            DataFileEntry e = h.Entry(i);
            out << "  #" << i << "  in-use " << int{e.InUse} << "  " << KindName(e.Kind) << " ("
                << Hex(e.Kind, 2) << ")  size " << e.Size << "  offset " << e.DataOffset;
            if (IsSectorKind(e.Kind)) {
                bool absolute = e.Kind == ENTRY_SECTORS_ABSOLUTE;
                out << "  first sector " << e.StartSector;
                if (absolute) {
                    out << " (absolute)";
                } else {
                    out << " (relative: sector " << std::uint64_t{e.StartSector} + h.BaseSector()
                        << ")";
                }
                out << "  sectors " << e.Size / HDR_MIN_SECTOR_SIZE;
                if (e.Size % HDR_MIN_SECTOR_SIZE != 0) {
                    out << " (+" << e.Size % HDR_MIN_SECTOR_SIZE << " bytes not written)";
                }
            } else if (e.Kind == ENTRY_FILE) {
                out << "  name " << host::Cp932ToUtf8Lossy(e.FileName) << "  time "
                    << host::TimestampText(e.FileTime);
            }
            out << "\n";
        }
    }
    if (report.header) {
        for (const TimeWarning& warning : TimeWarnings(*report.header))
            out << "warning       " << warning.text << "\n";
    }
    if (report.Accepted()) {
        out << "accepted\n";
    } else {
        out << "refused       " << CheckKey(report);
        std::string why = report.opened ? CheckDescription(report) : "the file cannot be opened";
        out << ": " << why << "\n"
            << "message       " << report.messageId << " " << report.message << "\n";
    }
    return out.str();
}

std::string FormatReportJson(const InspectReport& report) {
    std::ostringstream out;
    out << "{\"file\":" << Quote(report.path) << ",\"title\":" << Quote(report.title)
        << ",\"file_size\":";
    if (report.opened) {
        out << report.fileSize;
    } else {
        out << "null";
    }
    out << ",\"header\":";
    if (report.header) {
        const DataFileHeader& h = *report.header;
        out << "{\"signature\":" << Quote(SignatureText(h))
            << ",\"program_name\":" << Quote(host::Cp932ToUtf8Lossy(h.ProgramName()))
            << ",\"media_kind\":\"" << (h.MediaKind() == MEDIA_USB ? "usb" : "floppy")
            << "\",\"media_kind_byte\":" << int{h.MediaKind()}
            << ",\"content_kind\":" << int{h.ContentKind()}
            << ",\"stamp\":" << Quote(StampText(h.FileStamp()))
            << ",\"base_sector\":" << h.BaseSector() << ",\"checksum\":" << h.Checksum()
            << ",\"checksum_valid\":" << (IsHeaderChecksumValid(&h) ? "true" : "false")
            << ",\"entry_count\":" << int{h.EntryCount()} << ",\"entries\":[";
        for (int i = 0; i < ListedEntries(h); ++i) {
            DataFileEntry e = h.Entry(i);
            out << (i ? "," : "") << "{\"index\":" << i << ",\"in_use\":" << int{e.InUse}
                << ",\"kind\":\"" << KindName(e.Kind) << "\",\"kind_byte\":" << int{e.Kind}
                << ",\"size\":" << e.Size << ",\"data_offset\":" << e.DataOffset;
            if (IsSectorKind(e.Kind)) {
                bool absolute = e.Kind == ENTRY_SECTORS_ABSOLUTE;
                out << ",\"first_sector\":" << e.StartSector << ",\"addressing\":\""
                    << (absolute ? "absolute" : "relative") << "\",\"device_sector\":"
                    << std::uint64_t{e.StartSector} + (absolute ? 0 : h.BaseSector())
                    << ",\"sector_count\":" << e.Size / HDR_MIN_SECTOR_SIZE;
            } else if (e.Kind == ENTRY_FILE) {
                out << ",\"name\":" << Quote(host::Cp932ToUtf8Lossy(e.FileName))
                    << ",\"time\":" << Quote(host::TimestampText(e.FileTime));
            }
            out << "}";
        }
        out << "],\"time_warnings\":[";
        bool first = true;
        for (const TimeWarning& warning : TimeWarnings(h)) {
            out << (first ? "" : ",") << "{\"entry\":";
            if (warning.entry >= 0) {
                out << warning.entry;
            } else {
                out << "null";
            }
            out << ",\"text\":" << Quote(warning.text) << "}";
            first = false;
        }
        out << "]}";
    } else {
        out << "null";
    }
    out << ",\"accepted\":" << (report.Accepted() ? "true" : "false") << ",\"check\":\""
        << CheckKey(report) << "\",\"entry\":";
    if (report.fault.entry >= 0) {
        out << report.fault.entry;
    } else {
        out << "null";
    }
    out << ",\"message_id\":";
    if (report.messageId != 0) {
        out << report.messageId << ",\"message\":" << Quote(report.message);
    } else {
        out << "null,\"message\":null";
    }
    out << "}\n";
    return out.str();
}

}  // namespace veldra
