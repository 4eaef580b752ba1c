// The profile port as the program meets it: defaults for what is missing, the
// file a first write creates, reads cut to the buffer, writes that are refused.
#include <string>

#include "tests/platform/port_contract.h"

namespace veldra::testing {
namespace {

class ProfileContract : public PortContract {
protected:
    // The value read into a buffer of size bytes, and what the call returned.
    std::pair<std::string, DWORD> Read(const char* key, const char* fallback, DWORD size,
                                       const std::string& name = "P.INI") {
        std::string buffer(size + 1, '#');
        DWORD returned = profile().GetPrivateProfileStringA("FILE", key, fallback, buffer.data(),
                                                            size, At(name).c_str());
        EXPECT_EQ(buffer[returned], '\0') << "terminated after what it copied";
        return {buffer.substr(0, returned), returned};
    }
    BOOL Write(const char* key, const char* value, const std::string& name = "P.INI") {
        return profile().WritePrivateProfileStringA("FILE", key, value, At(name).c_str());
    }
};
INSTANTIATE_PORT_CONTRACT(ProfileContract);

using Read_ = std::pair<std::string, DWORD>;

TEST_P(ProfileContract, AMissingFileReadsAsDefaultsAndStaysMissing) {
    BOOT_OR_SKIP();
    EXPECT_EQ(Read("FILENO", "none", 64), (Read_{"none", 4}));
    EXPECT_EQ(profile().GetPrivateProfileIntA("FILE", "FILENO", 7, At("P.INI").c_str()), 7u);
    EXPECT_EQ(files().GetFileAttributesA(At("P.INI").c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_P(ProfileContract, TheFirstWriteCreatesTheFileAndLaterOnesReplaceTheLine) {
    BOOT_OR_SKIP();
    ASSERT_TRUE(Write("FILENO", "0"));
    EXPECT_EQ(Contents("P.INI"), "[FILE]\r\nFILENO=0\r\n");
    ASSERT_TRUE(Write("FILENO", "12"));
    EXPECT_EQ(Contents("P.INI"), "[FILE]\r\nFILENO=12\r\n");
    EXPECT_EQ(profile().GetPrivateProfileIntA("file", "fileno", 7, At("p.ini").c_str()), 12u);
}

TEST_P(ProfileContract, ReadsAreCutToTheBuffer) {
    BOOT_OR_SKIP(HostSetup{.files = {{"P.INI", "[FILE]\r\nNAME=ABCDEFG\r\n"}}});
    EXPECT_EQ(Read("NAME", "", 64), (Read_{"ABCDEFG", 7}));
    EXPECT_EQ(Read("NAME", "", 8), (Read_{"ABCDEFG", 7}));
    EXPECT_EQ(Read("NAME", "", 7), (Read_{"ABCDEF", 6}));
    EXPECT_EQ(Read("NAME", "", 1), (Read_{"", 0}));
    EXPECT_EQ(Read("OTHER", "DEFAULT", 4), (Read_{"DEF", 3}));
}

// The file's bytes are code page 932 whatever the system's ANSI code page:
// "ソフト表.DAT" (two of its trail bytes are 0x5C, '\\') and "; 日本語".
TEST_P(ProfileContract, CodePage932TextIsReadAndKeptAsItsBytes) {
    const std::string name = "\x83\x5C\x83\x74\x83\x67\x95\x5C.DAT";
    const std::string comment = "; \x93\xFA\x96\x7B\x8C\xEA\r\n";
    const std::string before = comment + "[FILE]\r\nFILE1=" + name + "\r\nFILENO=1\r\n";
    BOOT_OR_SKIP(HostSetup{.files = {{"P.INI", before}}});
    EXPECT_EQ(Read("FILE1", "", 64), (Read_{name, static_cast<DWORD>(name.size())}));
    ASSERT_TRUE(Write("FILENO", "2"));
    EXPECT_EQ(Contents("P.INI"), comment + "[FILE]\r\nFILE1=" + name + "\r\nFILENO=2\r\n");
}

TEST_P(ProfileContract, WritesThatCannotHappenFailAndChangeNothing) {
    const std::string before = "[FILE]\r\nFILENO=1\r\n";
    BOOT_OR_SKIP(HostSetup{.files = {{"RO.INI", before}, {"HELD.INI", before}}});
    ASSERT_TRUE(files().SetFileAttributesA(At("RO.INI").c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_FALSE(Write("FILENO", "2", "RO.INI"));
    EXPECT_EQ(Contents("RO.INI"), before);
    EXPECT_FALSE(Write("FILENO", "2", "NOPE\\P.INI"));

    UniqueFileHandle held = Open("HELD.INI", GENERIC_READ);
    ASSERT_TRUE(held.valid());
    EXPECT_EQ(Read("FILENO", "none", 16, "HELD.INI"), (Read_{"none", 4}));
    EXPECT_FALSE(Write("FILENO", "2", "HELD.INI"));
    held.reset();
    EXPECT_EQ(Contents("HELD.INI"), before);
}

TEST_P(ProfileContract, AWriteProtectedDriveRefusesWrites) {
    BOOT_OR_SKIP(HostSetup{.files = {{"P.INI", "[FILE]\r\nFILENO=1\r\n"}}, .readOnlyDrive = true});
    EXPECT_EQ(Read("FILENO", "", 16), (Read_{"1", 1}));
    EXPECT_FALSE(Write("FILENO", "2"));
    EXPECT_FALSE(Write("FILENO", "2", "NEW.INI"));
    EXPECT_EQ(Contents("P.INI"), "[FILE]\r\nFILENO=1\r\n");
}

}  // namespace
}  // namespace veldra::testing
