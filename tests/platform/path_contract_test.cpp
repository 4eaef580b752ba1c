// How the file port reads a path: letter case, either separator, "." and "..",
// trailing dots and blanks, double-byte names whose second byte is '\', names
// Windows refuses and drives the machine lacks.
#include <algorithm>
#include <cctype>
#include <map>
#include <string>

#include "tests/platform/port_contract.h"

namespace veldra::testing {
namespace {

// "ソフト" and "表" in code page 932: both hold a 0x5C trail byte.
const std::string kSoft = "\x83\x5C\x83\x74\x83\x67";
const std::string kTable = "\x95\x5C";

class PathContract : public PortContract {};
INSTANTIATE_PORT_CONTRACT(PathContract);

TEST_P(PathContract, EverySpellingOfAPathNamesTheSameFile) {
    BOOT_OR_SKIP(HostSetup{.files = {{"SUB\\Mixed.Dat", "mixed"}}});
    const std::string scratch = host().Scratch();
    const std::string root = scratch.substr(0, 3);
    const std::string leaf = scratch.substr(scratch.find_last_of('\\') + 1);
    std::string lower = At("SUB\\Mixed.Dat");
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](char c) { return static_cast<char>(std::tolower(c)); });
    std::string slashes = At("SUB\\Mixed.Dat");
    std::replace(slashes.begin(), slashes.end(), '\\', '/');
    const std::string spellings[] = {
        At("SUB\\Mixed.Dat"),
        lower,
        At("sub\\MIXED.DAT"),
        slashes,
        At("SUB/mixed.dat"),
        At("SUB\\\\Mixed.Dat"),
        At("SUB\\.\\Mixed.Dat"),
        At("SUB\\..\\SUB\\Mixed.Dat"),
        At("..\\" + leaf + "\\SUB\\Mixed.Dat"),
        root + "..\\..\\" + scratch.substr(3) + "\\SUB\\Mixed.Dat",
        At("SUB\\Mixed.Dat."),
        At("SUB\\Mixed.Dat..."),
        At("SUB\\Mixed.Dat  "),
        At("SUB\\Mixed.Dat. ."),
    };
    for (const std::string& path : spellings) EXPECT_EQ(ContentsOf(path), "mixed") << path;

    // One file, so one identity for share modes and creation.
    UniqueFileHandle held = Open("SUB\\Mixed.Dat", GENERIC_READ);
    ASSERT_TRUE(held.valid());
    EXPECT_FALSE(Open("sub\\MIXED.DAT.", GENERIC_READ, FILE_SHARE_READ).valid());
    EXPECT_EQ(sys().GetLastError(), ERROR_SHARING_VIOLATION);
    EXPECT_FALSE(Open("Sub\\MIXED.dat", GENERIC_WRITE, 0, CREATE_NEW).valid());
    EXPECT_EQ(sys().GetLastError(), ERROR_FILE_EXISTS);
}

TEST_P(PathContract, DoubleByteNamesWithABackslashTrailByteAreOneComponent) {
    BOOT_OR_SKIP(HostSetup{.files = {{kSoft + "\\IN.DAT", "soft"}}});
    EXPECT_EQ(Contents(kSoft + "\\IN.DAT"), "soft");
    EXPECT_EQ(files().GetFileAttributesA(At(kSoft).c_str()), DWORD{FILE_ATTRIBUTE_DIRECTORY});

    ASSERT_TRUE(Open(kSoft + "\\" + kTable + ".DAT", GENERIC_WRITE, 0, CREATE_NEW).valid());
    EXPECT_EQ(Listing(At(kSoft + "\\" + kTable + "*")),
              (std::map<std::string, DWORD>{{kTable + ".DAT", FILE_ATTRIBUTE_ARCHIVE}}));
    std::map<std::string, DWORD> scratch = Listing(At("*"));
    ASSERT_EQ(scratch.count(kSoft), 1u);
    EXPECT_EQ(scratch[kSoft], DWORD{FILE_ATTRIBUTE_DIRECTORY});
}

TEST_P(PathContract, NamesWindowsRefusesAndDrivesItLacks) {
    BOOT_OR_SKIP();
    const std::string invalid[] = {"A<B.DAT",
                                   "A>B.DAT",
                                   "A\"B.DAT",
                                   "A|B.DAT",
                                   "A?B.DAT",
                                   "A*B.DAT",
                                   "A\x01"
                                   "B.DAT",
                                   "BAD|DIR\\A.DAT"};
    for (const std::string& name : invalid) {
        EXPECT_FALSE(Open(name, GENERIC_WRITE, 0, OPEN_ALWAYS).valid()) << name;
        EXPECT_EQ(sys().GetLastError(), ERROR_INVALID_NAME) << name;
        EXPECT_EQ(files().GetFileAttributesA(At(name).c_str()), INVALID_FILE_ATTRIBUTES) << name;
        EXPECT_EQ(sys().GetLastError(), ERROR_INVALID_NAME) << name;
    }
    const std::string drive = std::string(1, host().UnusedDriveLetter()) + ":\\";
    EXPECT_EQ(files().CreateFileA((drive + "A.DAT").c_str(), GENERIC_WRITE, 0, OPEN_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(sys().GetLastError(), ERROR_PATH_NOT_FOUND);
    EXPECT_EQ(files().GetFileAttributesA((drive + "A.DAT").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(sys().GetLastError(), ERROR_PATH_NOT_FOUND);
    WIN32_FIND_DATAA found;
    EXPECT_EQ(files().FindFirstFileA((drive + "*.*").c_str(), &found), INVALID_HANDLE_VALUE);
    EXPECT_EQ(sys().GetLastError(), ERROR_PATH_NOT_FOUND);
    EXPECT_EQ(files().CreateFileA("", GENERIC_READ, 0, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(sys().GetLastError(), ERROR_PATH_NOT_FOUND);
}

}  // namespace
}  // namespace veldra::testing
