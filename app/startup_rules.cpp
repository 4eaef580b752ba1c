#include "app/startup_rules.h"

#include "platform/mbcs.h"

namespace veldra {

int RunModeOf(std::string_view commandLine) {
    constexpr std::string_view kSwitch = kInstallSwitch;
    if (commandLine.size() <= kSwitch.size()) return RUNMODE_NORMAL;
    std::string_view tail = commandLine.substr(commandLine.size() - kSwitch.size());
    return EqualsIgnoreAsciiCase(tail, kSwitch) ? RUNMODE_INSTALL : RUNMODE_NORMAL;
}

bool IsSupportedPlatform(BOOL versionQuerySucceeded, const OSVERSIONINFOA& version) {
    if (!versionQuerySucceeded) return false;
    if (version.dwPlatformId != VER_PLATFORM_WIN32_NT) return false;
    if (version.dwMajorVersion < 5) return false;
    if (version.dwMajorVersion == 5 && version.dwMinorVersion == 0) return false;
    return true;
}

ExePaths ExePathsOf(std::string_view modulePath) {
    std::size_t lastSeparator = LastBackslash932(modulePath);
    ExePaths paths;
    paths.exeDir = std::string(
        modulePath.substr(0, lastSeparator == std::string_view::npos ? 0 : lastSeparator));
    paths.exeDirSlash = paths.exeDir + "\\";
    paths.iniPath = paths.exeDirSlash + kMediaDefinitionFileName;
    return paths;
}

}  // namespace veldra
