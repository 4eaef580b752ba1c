// The decisions of start-up that need no system: run mode, supported version,
// and the paths derived from the executable's own path.
#pragma once

#include <string>
#include <string_view>

#include "platform/win32_types.h"
#include "records/media_definition_keys.h"

namespace veldra {

enum : int {
    RUNMODE_NORMAL = 0,
    RUNMODE_INSTALL = 1,
};

constexpr char kInstallSwitch[] = "/INSTALL";

// RUNMODE_INSTALL when the command line is longer than the switch and ends
// in it, in any letter case; RUNMODE_NORMAL otherwise.
int RunModeOf(std::string_view commandLine);

// Windows XP (5.1) and later on the NT line.
bool IsSupportedPlatform(BOOL versionQuerySucceeded, const OSVERSIONINFOA& version);

struct ExePaths {
    std::string exeDir;       // no trailing backslash
    std::string exeDirSlash;  // exactly one
    std::string iniPath;
};

// The directory is the text before the module path's last backslash (the
// second bytes of double-byte characters are not separators).
ExePaths ExePathsOf(std::string_view modulePath);

}  // namespace veldra
