#include "media/sector_plan.h"

#include <algorithm>

namespace veldra {

EntryPlan PlanEntry(const DataFileEntry& entry, BYTE pass, std::uint32_t baseSector) {
    EntryPlan plan;
    if (entry.InUse != ENTRY_IN_USE) return plan;
    switch (entry.Kind) {
        case ENTRY_SECTORS:
            if (pass == PASS_IMAGE) plan.write = EntryWrite::Data;
            break;
        case ENTRY_ZERO_FILL:
            if (pass == PASS_IMAGE) plan.write = EntryWrite::ZeroFill;
            break;
        case ENTRY_SECTORS_ABSOLUTE:
            plan.write = EntryWrite::Data;
            break;
        default:
            break;
    }
    // Sector numbers are 32-bit; the header reader has refused entries that
    // would wrap.
    plan.firstSector =
        entry.Kind == ENTRY_SECTORS_ABSOLUTE ? entry.StartSector : entry.StartSector + baseSector;
    return plan;
}

std::uint64_t SectorsNeeded(const DataFileHeader& header) {
    std::uint64_t needed = 0;
    int entries = std::min<int>(header.EntryCount(), HDR_MAX_ENTRIES);
    for (int i = 0; i < entries; ++i) {
        DataFileEntry entry = header.Entry(i);
        EntryPlan plan = PlanEntry(entry, PASS_IMAGE, header.BaseSector());
        std::uint64_t sectors = entry.Size / kDataFileSectorBytes;
        if (plan.write == EntryWrite::Skip || sectors == 0) continue;
        needed = std::max(needed, plan.firstSector + sectors);
    }
    return needed;
}

Chunk NextChunk(std::uint32_t remaining, std::uint32_t bufferSize, std::uint32_t bytesPerSector) {
    Chunk chunk;
    if (bytesPerSector == 0) return chunk;
    std::uint32_t limit =
        std::min<std::uint64_t>(bufferSize, std::uint64_t{65535} * bytesPerSector);
    chunk.bytes = std::min(remaining, limit);
    chunk.sectors = static_cast<std::uint16_t>(chunk.bytes / bytesPerSector);
    return chunk;
}

}  // namespace veldra
