// The producer side of the data file: an in-memory model of what a data file
// holds, and the layout that turns it into the bytes the program reads.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/win32_types.h"
#include "records/data_file_format.h"

namespace veldra {

// One entry, in the order it appears in the header.
struct DataFileEntrySpec {
    BYTE kind = ENTRY_SECTORS;     // decides which fields are written
    std::optional<BYTE> kindByte;  // stored instead of `kind`, for odd kinds
    BYTE inUse = ENTRY_IN_USE;
    std::uint32_t startSector = 0;  // sector kinds and zero fill
    std::string fileName;           // file kind: code page 932 bytes, at most 29
    FILETIME fileTime;              // file kind
    std::vector<BYTE> payload;      // empty for zero fill
    // The stored Size: for zero fill the number of bytes to clear; for the
    // other kinds it replaces the payload's length, to make damaged files.
    std::optional<std::uint32_t> size;
    // Replaces the computed DataOffset; the payload is laid out as usual.
    std::optional<std::uint32_t> dataOffset;
};

// Ways to damage the output on purpose, so tests can feed the reader bad files.
struct DataFileFaults {
    std::uint32_t checksumAdd = 0;         // added to the correct checksum
    std::optional<BYTE> entryCount;        // stored instead of the number of entries
    std::optional<std::string> signature;  // stored instead of "NOVUS-KT DATA" (at most 16 bytes)
    std::optional<std::uint64_t> truncateTo;  // keep only this many bytes
    std::uint64_t dropTail = 0;               // then cut this many bytes off the end
    // The reader's entry checks the entries may fail; without these a file
    // the program would refuse is not made.
    bool payloadExtent = false;
    bool fileName = false;
    bool sectorRange = false;
};

struct DataFileSpec {
    std::string programName;  // code page 932 bytes, at most 64
    BYTE mediaKind = 0;       // 0 floppy, MEDIA_USB
    BYTE contentKind = CONTENT_LOGGED;
    std::uint32_t baseSector = 0;
    FILETIME fileStamp;  // all zero: no stamp
    std::vector<DataFileEntrySpec> entries;
    DataFileFaults faults;
};

// A model the format cannot hold (a name too long, too many entries, ...).
class DataFileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

inline constexpr char DATA_FILE_SIGNATURE[] = "NOVUS-KT DATA";
inline constexpr std::size_t PROGRAM_NAME_MAX = HDR_PROGRAM_NAME_END - HDR_OFFSET_PROGRAM_NAME - 1;
inline constexpr std::size_t ENTRY_FILE_NAME_MAX = ENTRY_FILE_NAME_SIZE - 1;

// Lays the payloads out one after the other in entry order (zero fills have
// none), fills in sizes and offsets, writes the header and its checksum, then
// applies the faults. Throws DataFileError.
std::vector<BYTE> BuildDataFile(const DataFileSpec& model);

// The first of the reader's checks that the file BuildDataFile makes from
// `model` fails although the model's faults do not ask for it. The checks
// are the program's own, made on the header before the damage to the header
// and the file's length is applied, so that damage asked for hides no other.
// Throws DataFileError as BuildDataFile does.
HeaderFault FindUnaskedFault(const DataFileSpec& model);

}  // namespace veldra
