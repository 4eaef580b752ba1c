#include "host/release.h"

// Made at build time in the build tree (cmake/release_header.cmake).
#include <veldra_release.h>

namespace veldra::host {

std::string VersionLine(const std::string& program) {
    std::string line = program + " " + VELDRA_VERSION;
#ifdef VELDRA_SOURCE_COMMIT
    line += " (source " VELDRA_SOURCE_COMMIT ")";
#endif
    return line + "\n";
}

}  // namespace veldra::host
