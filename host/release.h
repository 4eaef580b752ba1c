// The release a host program belongs to, for `--version`: the version of
// TAVEX.EXE's version record and, where the build knew it, the commit of the
// source it was built from.
#pragma once

#include <string>

namespace veldra::host {

// "PROGRAM 3.00 (source COMMIT)\n", or "PROGRAM 3.00\n" without a commit.
std::string VersionLine(const std::string& program);

}  // namespace veldra::host
