#include "media/progress_plan.h"

#include <algorithm>

namespace veldra {

WORD ProgressTotal(const DataFileHeader& header, bool verify) {
    std::uint32_t total = 1;
    int entries = std::min<int>(header.EntryCount(), HDR_MAX_ENTRIES);
    for (int i = 0; i < entries; ++i) {
        DataFileEntry entry = header.Entry(i);
        if (entry.InUse != ENTRY_IN_USE) continue;
        total += 1;
        if (entry.Kind == ENTRY_ZERO_FILL) total += entry.Size >> 16;
        if (!verify) continue;
        switch (entry.Kind) {
            case ENTRY_SECTORS:
            case ENTRY_ZERO_FILL:
            case ENTRY_FILE:
                total += 1;
                break;
            case ENTRY_SECTORS_ABSOLUTE:
                total += 2;
                break;
            default:
                break;
        }
    }
    return static_cast<WORD>(total);
}

}  // namespace veldra
