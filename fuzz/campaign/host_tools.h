// The host's own tools the campaign leans on (mkfs.fat, mtools, fsck.fat) and
// the small file chores around them.
#pragma once

#include <filesystem>
#include <string>

namespace veldra::campaign {

// The full path of a host tool, or empty when it is not installed.
std::string ToolPath(const std::string& name);
// Runs a shell command; its exit status, with what it printed in *output.
int Shell(const std::string& command, std::string* output = nullptr);

std::string ReadBytes(const std::filesystem::path& path);
void WriteBytes(const std::filesystem::path& path, const std::string& bytes);

// A fresh directory under the system's temporary directory.
std::filesystem::path MakeTempDir(const std::string& prefix);

}  // namespace veldra::campaign
