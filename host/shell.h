// The host's own tools (mkfs.fat, mtools, fsck.fat), for the tests and the
// fault campaign that judge media with them.
#pragma once

#include <string>

namespace veldra::host {

// The full path of a host tool, or empty when it is not installed.
std::string ToolPath(const std::string& name);
// Runs a shell command; its exit status, with what it printed in *output.
int Shell(const std::string& command, std::string* output = nullptr);

}  // namespace veldra::host
