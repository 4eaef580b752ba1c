// The header reader: every program that is listed or selected passes through
// here. It reads, validates and copies a data file's 2048-byte header and
// reports a refusal to the operator itself.
#pragma once

#include <string>

#include "records/data_file_format.h"
#include "records/records_reporter.h"

namespace veldra {

enum class HeaderRead : int {
    Read = 0,     // copied into the destination (or, for HDR_PATHS_ONLY, nothing to do)
    Refused = 1,  // not copied; the reason has been shown
};

// Mode HDR_PATHS_ONLY returns Read at once without opening the file. Any
// other mode reads and validates; the destination changes only on success.
HeaderRead ReadHeaderOfDataFile(RecordsContext& context, const std::string& path, int mode,
                                DataFileHeader* destination);

}  // namespace veldra
