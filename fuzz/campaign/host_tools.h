// The host's own tools the campaign leans on (mkfs.fat, mtools, fsck.fat) and
// the small file chores around them.
#pragma once

#include <filesystem>
#include <string>

#include "host/shell.h"

namespace veldra::campaign {

using host::Shell;
using host::ToolPath;

std::string ReadBytes(const std::filesystem::path& path);
void WriteBytes(const std::filesystem::path& path, const std::string& bytes);

// A fresh directory under the system's temporary directory.
std::filesystem::path MakeTempDir(const std::string& prefix);

}  // namespace veldra::campaign
