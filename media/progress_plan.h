// How many steps the progress bar of one creation has.
#pragma once

#include "platform/win32_types.h"
#include "records/data_file_format.h"

namespace veldra {

// 1, plus one per entry in use, plus for every zero fill in use the upper 16
// bits of its size (one step per 64 KB written). With read-back verification
// also one per entry read back: every sector entry and file entry in use, and
// the absolute entries once more after the final pass. Carried as 16 bits, as
// the progress bar's range is.
WORD ProgressTotal(const DataFileHeader& header, bool verify = false);

}  // namespace veldra
