// The rules of sector writing that need no device: which entries a pass
// writes and from which sector, and how an entry is cut into transfers.
#pragma once

#include <cstdint>

#include "records/data_file_format.h"

namespace veldra {

// The two passes of a creation: every sector entry before the files are
// copied, the absolute ones again after.
enum : BYTE {
    PASS_IMAGE = 0,
    PASS_FINAL = 0x80,
};

enum class EntryWrite {
    Skip,      // not this pass's, or not in use, or not a sector entry
    ZeroFill,  // Size bytes of zeros, no delay, no retry
    Data,      // Size bytes from the data file, with delay and retries
};

struct EntryPlan {
    EntryWrite write = EntryWrite::Skip;
    std::uint32_t firstSector = 0;
};

EntryPlan PlanEntry(const DataFileEntry& entry, BYTE pass, std::uint32_t baseSector);

// Data files count their sectors in 512 bytes, whatever the medium's are.
constexpr std::uint32_t kDataFileSectorBytes = HDR_MIN_SECTOR_SIZE;

// The sectors a medium must have for the header's sector entries: one past
// the last sector any of them writes (whole sectors only); 0 when none writes
// a sector.
std::uint64_t SectorsNeeded(const DataFileHeader& header);

// One transfer: at most the buffer, at most 65535 sectors, whole sectors only
// (a last part of less than a sector is read but not written).
struct Chunk {
    std::uint32_t bytes = 0;    // taken from the entry (and read from the data file)
    std::uint16_t sectors = 0;  // written to the device
};

Chunk NextChunk(std::uint32_t remaining, std::uint32_t bufferSize, std::uint32_t bytesPerSector);

}  // namespace veldra
