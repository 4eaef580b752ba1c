#include "media/progress_plan.h"

#include <algorithm>

namespace veldra {

WORD ProgressTotal(const DataFileHeader& header) {
    std::uint32_t total = 1;
    int entries = std::min<int>(header.EntryCount(), HDR_MAX_ENTRIES);
    for (int i = 0; i < entries; ++i) {
        DataFileEntry entry = header.Entry(i);
        if (entry.InUse != ENTRY_IN_USE) continue;
        total += 1;
        if (entry.Kind == ENTRY_ZERO_FILL) total += entry.Size >> 16;
    }
    return static_cast<WORD>(total);
}

}  // namespace veldra
