// The installation run's own check: the setup program starts the tool once
// with /INSTALL from the directory it installed to, which must exist.
#pragma once

#include <string>

#include "records/records_reporter.h"

namespace veldra {

// True when a search for path (no trailing backslash) finds a directory.
bool IsExistingDirectoryPath(RecordsContext& context, const std::string& path);

}  // namespace veldra
