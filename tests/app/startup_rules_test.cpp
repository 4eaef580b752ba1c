// The decisions of start-up that need no system, and the filling in of
// message texts.
#include "app/startup_rules.h"

#include <gtest/gtest.h>

#include "res/message_text.h"

namespace veldra {
namespace {

struct RunModeCase {
    const char* commandLine;
    int mode;
};

void PrintTo(const RunModeCase& c, std::ostream* os) {
    *os << '[' << c.commandLine << ']';
}

class RunModeOfCommandLine : public ::testing::TestWithParam<RunModeCase> {};

TEST_P(RunModeOfCommandLine, OnlyTheVeryEndSelectsInstallation) {
    EXPECT_EQ(RunModeOf(GetParam().commandLine), GetParam().mode) << GetParam().commandLine;
}

INSTANTIATE_TEST_SUITE_P(
    Table, RunModeOfCommandLine,
    ::testing::Values(RunModeCase{"\"C:\\TAVEX\\TAVEX.EXE\"", RUNMODE_NORMAL},
                      RunModeCase{"\"C:\\TAVEX\\TAVEX.EXE\" /INSTALL", RUNMODE_INSTALL},
                      RunModeCase{"\"C:\\TAVEX\\TAVEX.EXE\" /install", RUNMODE_INSTALL},
                      RunModeCase{"\"C:\\TAVEX\\TAVEX.EXE\" /InStAlL", RUNMODE_INSTALL},
                      // No separator is asked for: only the last eight characters count.
                      RunModeCase{"TAVEX.EXE/INSTALL", RUNMODE_INSTALL},
                      RunModeCase{"x/INSTALL", RUNMODE_INSTALL},
                      RunModeCase{"\"C:\\TAVEX\\TAVEX.EXE\" /INSTALL ", RUNMODE_NORMAL},
                      RunModeCase{"\"C:\\TAVEX\\TAVEX.EXE /INSTALL\"", RUNMODE_NORMAL},
                      RunModeCase{"\"C:\\TAVEX\\TAVEX.EXE\" /INSTALL /QUIET", RUNMODE_NORMAL},
                      RunModeCase{"\"C:\\TAVEX\\TAVEX.EXE\" -INSTALL", RUNMODE_NORMAL},
                      RunModeCase{"\"C:\\TAVEX\\TAVEX.EXE\" /INSTAL", RUNMODE_NORMAL},
                      // The switch alone is not longer than itself.
                      RunModeCase{"/INSTALL", RUNMODE_NORMAL},
                      RunModeCase{"/install", RUNMODE_NORMAL}, RunModeCase{"", RUNMODE_NORMAL}));

struct PlatformCase {
    BOOL queried;
    DWORD platformId;
    DWORD major;
    DWORD minor;
    bool supported;
};

void PrintTo(const PlatformCase& c, std::ostream* os) {
    *os << "platform " << c.platformId << " version " << c.major << "." << c.minor
        << (c.queried ? "" : " (query failed)");
}

class PlatformSupport : public ::testing::TestWithParam<PlatformCase> {};

TEST_P(PlatformSupport, XpAndLaterOnTheNtLine) {
    const PlatformCase& c = GetParam();
    OSVERSIONINFOA version;
    version.dwOSVersionInfoSize = sizeof version;
    version.dwPlatformId = c.platformId;
    version.dwMajorVersion = c.major;
    version.dwMinorVersion = c.minor;
    EXPECT_EQ(IsSupportedPlatform(c.queried, version), c.supported);
}

INSTANTIATE_TEST_SUITE_P(
    Table, PlatformSupport,
    ::testing::Values(PlatformCase{TRUE, VER_PLATFORM_WIN32_NT, 4, 0, false},
                      PlatformCase{TRUE, VER_PLATFORM_WIN32_NT, 4, 9, false},
                      PlatformCase{TRUE, VER_PLATFORM_WIN32_NT, 5, 0, false},
                      PlatformCase{TRUE, VER_PLATFORM_WIN32_NT, 5, 1, true},
                      PlatformCase{TRUE, VER_PLATFORM_WIN32_NT, 5, 2, true},
                      PlatformCase{TRUE, VER_PLATFORM_WIN32_NT, 6, 0, true},
                      PlatformCase{TRUE, VER_PLATFORM_WIN32_NT, 6, 1, true},
                      PlatformCase{TRUE, VER_PLATFORM_WIN32_NT, 10, 0, true},
                      PlatformCase{TRUE, VER_PLATFORM_WIN32_WINDOWS, 4, 90, false},
                      PlatformCase{TRUE, VER_PLATFORM_WIN32_WINDOWS, 5, 1, false},
                      PlatformCase{TRUE, VER_PLATFORM_WIN32s, 6, 1, false},
                      // A failed query is refused whatever the structure holds.
                      PlatformCase{FALSE, VER_PLATFORM_WIN32_NT, 5, 1, false}));

// 0x95 0x5C is "表" and 0x83 0x5C is "ソ": their second bytes are backslashes.
constexpr char kHyo[] = "\x95\x5C";
constexpr char kSo[] = "\x83\x5C";

TEST(ExePaths, DirectoryIsTheTextBeforeTheLastBackslash) {
    ExePaths paths = ExePathsOf("C:\\TAVEX\\TAVEX.EXE");
    EXPECT_EQ(paths.exeDir, "C:\\TAVEX");
    EXPECT_EQ(paths.exeDirSlash, "C:\\TAVEX\\");
    EXPECT_EQ(paths.iniPath, "C:\\TAVEX\\TAVEXMEDIA.INI");
}

TEST(ExePaths, RootOfADriveIsTheDriveWithItsColon) {
    ExePaths paths = ExePathsOf("C:\\TAVEX.EXE");
    EXPECT_EQ(paths.exeDir, "C:");
    EXPECT_EQ(paths.exeDirSlash, "C:\\");
    EXPECT_EQ(paths.iniPath, "C:\\TAVEXMEDIA.INI");
}

TEST(ExePaths, SecondBytesOfDoubleByteNamesAreNoSeparators) {
    std::string folder = std::string("C:\\") + kSo + kHyo;
    ExePaths inFolder = ExePathsOf(folder + "\\TAVEX.EXE");
    EXPECT_EQ(inFolder.exeDir, folder);
    // The folder's name ends in byte 0x5C, yet exactly one backslash follows it.
    EXPECT_EQ(inFolder.exeDirSlash, folder + "\\");
    EXPECT_EQ(inFolder.iniPath, folder + "\\TAVEXMEDIA.INI");

    ExePaths namedLikeThat = ExePathsOf(std::string("D:\\TOOLS\\") + kHyo + ".EXE");
    EXPECT_EQ(namedLikeThat.exeDir, "D:\\TOOLS");
    EXPECT_EQ(namedLikeThat.exeDirSlash, "D:\\TOOLS\\");
}

struct FormatCase {
    const char* pattern;
    const char* arg1;
    const char* arg2;
    const char* expected;
};

void PrintTo(const FormatCase& c, std::ostream* os) {
    *os << '[' << c.pattern << ']';
}

class MessageText : public ::testing::TestWithParam<FormatCase> {};

TEST_P(MessageText, FillsInTheArguments) {
    const FormatCase& c = GetParam();
    EXPECT_EQ(FormatMessageText(c.pattern, c.arg1, c.arg2), c.expected) << c.pattern;
}

INSTANTIATE_TEST_SUITE_P(Table, MessageText,
                         ::testing::Values(FormatCase{"%1 cannot be opened.", "PROG1.DAT", "",
                                                      "PROG1.DAT cannot be opened."},
                                           FormatCase{"%2 then %1", "one", "two", "two then one"},
                                           FormatCase{"%1%1", "ab", "", "abab"},
                                           FormatCase{"100%% done", "", "", "100% done"},
                                           FormatCase{"%%1 stays", "x", "", "%1 stays"},
                                           // An argument is not expanded again.
                                           FormatCase{"%1-%2", "%2", "B", "%2-B"},
                                           FormatCase{"%3 and %", "a", "b", "%3 and %"},
                                           FormatCase{"no arguments", "a", "b", "no arguments"}));

}  // namespace
}  // namespace veldra
