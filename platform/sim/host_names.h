// Names of host directory entries as the simulated machine sees them: only
// entries whose names have a code page 932 form exist, and names compare
// without regard to ASCII letter case.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace veldra::sim {

// The entries of a host directory that the machine can name (UTF-8), sorted
// without regard to case, as NTFS returns them.
std::vector<std::string> ListHostEntries(const std::filesystem::path& directory);

// The host entry of directory whose name equals name without regard to case.
std::optional<std::string> FindHostEntry(const std::filesystem::path& directory,
                                         const std::string& name);

}  // namespace veldra::sim
