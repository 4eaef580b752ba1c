// The data file: a 2048-byte header naming the program, its medium and up to
// 37 entries, followed by the payload the entries point to. Integers are
// little-endian; fields sit at fixed, partly unaligned offsets, so the header
// is kept as bytes and read through the accessors below.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "platform/win32_types.h"

namespace veldra {

constexpr std::size_t HDR_SIZE = 2048;
constexpr int HDR_MAX_ENTRIES = 37;

// Modes of ReadDataFileHeader.
enum : int {
    HDR_READ = 0,          // read, validate and copy: the selected program
    HDR_READ_LISTING = 1,  // the same, while the program box is being filled
    HDR_PATHS_ONLY = 2,    // only the paths are set; the file is not read
};

// Header field offsets.
enum : std::size_t {
    HDR_OFFSET_SIGNATURE = 0,
    HDR_OFFSET_PROGRAM_NAME = 16,
    HDR_PROGRAM_NAME_END = 81,  // the name's NUL lies before this offset
    HDR_OFFSET_CONTENT_KIND = 81,
    HDR_OFFSET_MEDIA_KIND = 83,
    HDR_OFFSET_ENTRY_COUNT = 84,
    HDR_OFFSET_FILE_STAMP = 86,
    HDR_OFFSET_BASE_SECTOR = 213,
    HDR_OFFSET_ENTRIES = 256,
    HDR_ENTRY_SIZE = 48,
    HDR_ENTRIES_END = 2032,
    HDR_OFFSET_CHECKSUM = 2044,
};

// Entry field offsets, counted from the entry's first byte.
enum : std::size_t {
    ENTRY_OFFSET_IN_USE = 0,
    ENTRY_OFFSET_KIND = 1,
    ENTRY_OFFSET_SIZE = 2,
    ENTRY_OFFSET_DATA_OFFSET = 6,
    ENTRY_OFFSET_FILE_TIME = 10,
    ENTRY_OFFSET_START_SECTOR = 18,
    ENTRY_OFFSET_FILE_NAME = 18,
    ENTRY_FILE_NAME_SIZE = 30,
};

// Entry kinds.
enum : BYTE {
    ENTRY_SECTORS = 0,
    ENTRY_FILE = 1,
    ENTRY_ZERO_FILL = 2,
    ENTRY_SECTORS_ABSOLUTE = 0x81,
};
constexpr BYTE ENTRY_IN_USE = 1;

// Media kinds: USB memory; every other value means a floppy disk.
constexpr BYTE MEDIA_USB = 8;

// Content kind whose creations are recorded in the creation log.
constexpr BYTE CONTENT_LOGGED = 0;

// The payload of an entry starts at 2048 + DataOffset.
constexpr std::uint64_t HDR_PAYLOAD_BASE = HDR_SIZE;

std::uint32_t ReadLe32(const BYTE* p);
void WriteLe32(BYTE* p, std::uint32_t value);

// One 48-byte entry, decoded.
struct DataFileEntry {
    BYTE InUse = 0;
    BYTE Kind = 0;
    std::uint32_t Size = 0;
    std::uint32_t DataOffset = 0;
    FILETIME FileTime;
    std::uint32_t StartSector = 0;
    std::string FileName;  // NUL-terminated within its 30 bytes

    static DataFileEntry Decode(std::span<const BYTE, HDR_ENTRY_SIZE> bytes);
};

struct DataFileHeader {
    std::array<BYTE, HDR_SIZE> bytes{};

    // The NUL-terminated text at offset 0 (at most 16 bytes).
    std::string_view Signature() const;
    // The NUL-terminated program name at offset 16, cut at offset 81.
    std::string ProgramName() const;
    BYTE ContentKind() const { return bytes[HDR_OFFSET_CONTENT_KIND]; }
    BYTE MediaKind() const { return bytes[HDR_OFFSET_MEDIA_KIND]; }
    BYTE EntryCount() const { return bytes[HDR_OFFSET_ENTRY_COUNT]; }
    FILETIME FileStamp() const;
    std::uint32_t BaseSector() const { return ReadLe32(&bytes[HDR_OFFSET_BASE_SECTOR]); }
    std::uint32_t Checksum() const { return ReadLe32(&bytes[HDR_OFFSET_CHECKSUM]); }
    // Entry i, 0 <= i < HDR_MAX_ENTRIES.
    DataFileEntry Entry(int i) const;
};

// The 512 little-endian words of a header added with wrap-around.
std::uint32_t SumHeaderWords(std::span<const BYTE, HDR_SIZE> header);
// True when the words sum to 0xFFFFFFFF.
BOOL IsHeaderChecksumValid(const DataFileHeader* header);
// The checksum a producer stores at offset 2044 for the other 511 words.
std::uint32_t ComputeHeaderChecksum(std::span<const BYTE, HDR_SIZE> header);

// Whether an ENTRY_FILE's 30-byte name field names a plain file in a root
// directory: a NUL within the field, not empty, no path separator or colon,
// not "." or "..", and no reserved device name (CON, PRN, AUX, NUL, COM1-9,
// LPT1-9, with or without an extension).
bool IsPlainRootFileName(std::span<const BYTE> nameField);

// The smallest sector the writers use: the most sectors an entry can cover.
constexpr std::uint32_t HDR_MIN_SECTOR_SIZE = 512;

// Whether a sector entry's sectors, from its first sector on, stay below
// 2^32 (the first sector is StartSector, plus BaseSector unless the entry is
// absolute), counted in sectors of sectorSize bytes.
bool SectorRangeFits(const DataFileEntry& entry, std::uint32_t baseSector,
                     std::uint32_t sectorSize);

// What the header reader concludes from the bytes it read and the file size.
enum class HeaderVerdict {
    Valid,
    NotDataFile,  // short, or the signature differs
    Broken,       // checksum wrong, too many entries, a payload past the end of the file,
                  // a file name that is no plain root name, or sectors past 2^32
};

// The reader's checks, in the order it makes them. The entry checks are made
// entry by entry: all of entry 0's before any of entry 1's.
enum class HeaderCheck {
    None,           // every check passed
    Length,         // fewer than 2048 bytes were read
    Signature,      // the text at offset 0 is not the signature
    Checksum,       // the header's words do not sum to 0xFFFFFFFF
    EntryCount,     // more entries than the header has room for
    PayloadExtent,  // an entry's payload runs past the end of the file
    FileName,       // an in-use file entry names no plain file in the root
    SectorRange,    // an in-use sector entry reaches sector 2^32
};

// The first check a header fails, and for the entry checks the entry's index.
struct HeaderFault {
    HeaderCheck check = HeaderCheck::None;
    int entry = -1;
};
HeaderFault FindHeaderFault(std::span<const BYTE> bytesRead, std::uint64_t fileSize,
                            std::string_view signature);
HeaderVerdict VerdictFor(HeaderCheck check);
// A short name for tools and logs: "none", "length", "signature", "checksum",
// "entry-count", "payload-extent", "file-name", "sector-range".
const char* HeaderCheckName(HeaderCheck check);

HeaderVerdict CheckDataFileHeader(std::span<const BYTE> bytesRead, std::uint64_t fileSize,
                                  std::string_view signature);

// The text after the last backslash of a path, skipping the second bytes of
// double-byte characters.
std::string FileTitleOf(std::string_view path);

}  // namespace veldra
