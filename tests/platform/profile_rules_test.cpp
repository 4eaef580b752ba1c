#include "sim/files/profile_rules.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace veldra::sim {
namespace {

constexpr DWORD kBig = 256;

struct LookupCase {
    const char* what;
    const char* file;
    const char* section;
    const char* key;
    const char* expected;  // "DEF" when the default must be used
};

TEST(ProfileRulesTest, FindsValuesTheWayWindowsDoes) {
    const LookupCase cases[] = {
        {"plain", "[App]\r\nkey=v\r\n", "App", "key", "v"},
        {"section case", "[App]\r\nkey=v\r\n", "aPP", "key", "v"},
        {"key case", "[App]\r\nKey=v\r\n", "App", "KEY", "v"},
        {"blanks trimmed", "  [ App\t]\r\n \t key \t=  a b \t\r\n", "App", "key", "a b"},
        {"caller spaces", "[App]\r\nkey=v\r\n", "  App ", " key  ", "v"},
        {"caller tab kept", "[App]\r\nkey=v\r\n", "App", "\tkey", "DEF"},
        {"double quotes", "[s]\r\nk=  \" in \"  \r\n", "s", "k", " in "},
        {"single quotes", "[s]\r\nk='x'\r\n", "s", "k", "x"},
        {"outer pair only", "[s]\r\nk=\"'x'\"\r\n", "s", "k", "'x'"},
        {"unmatched quotes", "[s]\r\nk=\"x'\r\n", "s", "k", "\"x'"},
        {"lone quote", "[s]\r\nk=\"\r\n", "s", "k", "\""},
        {"empty value", "[s]\r\nk=\r\n", "s", "k", ""},
        {"line without =", "[s]\r\nk\r\n", "s", "k", "DEF"},
        {"comment", "[s]\r\n ;k=1\r\n", "s", ";k", "DEF"},
        {"first key wins", "[s]\r\nk=1\r\nK=2\r\n", "s", "k", "1"},
        {"first section only", "[s]\r\na=1\r\n[S]\r\nk=2\r\n", "s", "k", "DEF"},
        {"LF and no final newline", "[s]\nx=0\nk=1", "s", "k", "1"},
        {"CR only", "[s]\rk=1\r[t]\rk=2\r", "t", "k", "2"},
        {"no closing bracket", "[s  \r\nk=1\r\n", "s", "k", "1"},
        {"text after bracket", "[s]k=1\r\n", "s", "k", "DEF"},
        {"before any section", "k=1\r\n[s]\r\n", "", "k", "DEF"},
        {"nameless section", "[]\r\nk=1\r\n", "", "k", "1"},
        {"other section", "[s]\r\nk=1\r\n[t]\r\n", "t", "k", "DEF"},
        {"trail byte 5D", "[\x83\x5D]\r\nk=1\r\n", "\x83\x5D", "k", "1"},
        {"trail bytes not folded", "[s]\r\n\x83\x41=1\r\n", "s", "\x83\x61", "DEF"},
    };
    for (const auto& c : cases) {
        ProfileRead read = ProfileGetString(std::string(c.file), c.section, c.key, "DEF", kBig);
        EXPECT_EQ(read.value, c.expected) << c.what;
        EXPECT_EQ(read.returned, read.value.size()) << c.what;
    }
}

TEST(ProfileRulesTest, UsesTheDefaultAndTruncatesToTheBuffer) {
    const std::string file = "[s]\r\nlong=" + std::string(70, 'x') + "\r\nq=\"abcdef\"\r\n";
    struct {
        std::optional<std::string> file;
        const char* key;
        const char* def;
        DWORD size;
        std::string expected;
    } cases[] = {
        {std::nullopt, "k", "dflt", kBig, "dflt"},
        {file, "none", " a \t  ", kBig, " a \t"},
        {file, "long", "", 64, std::string(63, 'x')},
        {file, "q", "", 7, "abcdef"},
        {file, "q", "", 4, "abc"},
        {file, "q", "", 1, ""},
        {file, "none", "default", 4, "def"},
        {file, "q", "", 0, ""},
    };
    for (const auto& c : cases) {
        ProfileRead read = ProfileGetString(c.file, "s", c.key, c.def, c.size);
        EXPECT_EQ(read.value, c.expected) << c.key << " size " << c.size;
        EXPECT_EQ(read.returned, c.expected.size()) << c.key << " size " << c.size;
    }
}

TEST(ProfileRulesTest, ParsesIntegersLikeWindows) {
    struct {
        const char* value;  // nullptr: key absent
        UINT expected;
    } cases[] = {
        {" 12abc", 12},
        {"abc", 0},
        {"-1", 0xFFFFFFFFu},
        {"", 77},
        {nullptr, 77},
        {"0x10", 16},
        {"0xFf", 255},
        {"010", 10},
        {"+7", 7},
        {"49", 49},
        {"4294967296", 0},
        {"4294967297", 1},
        {"-4294967297", 0xFFFFFFFFu},
        {"0b101", 5},
        {"0o17", 15},
        {"--1", 0},
        {"0x", 0},
        {"'42'", 42},
        {"' \t-12abc'", static_cast<UINT>(-12)},             // blanks kept inside quotes
        {"\" \"", 0},                                        // not empty, so no default
        {"123456789012345678901234567890123", 1849262357u},  // only 29 characters read
    };
    for (const auto& c : cases) {
        std::string file = "[s]\r\n";
        if (c.value) file += std::string("k=") + c.value + "\r\n";
        EXPECT_EQ(ProfileGetInt(file, "s", "k", 77), c.expected) << (c.value ? c.value : "absent");
    }
    EXPECT_EQ(ProfileGetInt(std::nullopt, "s", "k", -5), 4294967291u);
}

TEST(ProfileRulesTest, WritesOnlyWhatChanges) {
    struct {
        const char* what;
        std::optional<std::string> file;
        const char* section;
        const char* key;
        const char* expected;
    } cases[] = {
        {"new file", std::nullopt, " s ", " k ", "[s]\r\nk= v \r\n"},
        {"empty file", "", "s", "k", "[s]\r\nk= v \r\n"},
        {"new section", "[a]\r\nx=1\r\n", "s", "k", "[a]\r\nx=1\r\n[s]\r\nk= v \r\n"},
        {"new section, no newline", "[a]\nx=1", "s", "k", "[a]\nx=1\r\n[s]\r\nk= v \r\n"},
        {"new key before blank lines", "[s]\r\nx=1\r\n;c\r\n\r\n[t]\r\n", "S", "k",
         "[s]\r\nx=1\r\n;c\r\nk= v \r\n\r\n[t]\r\n"},
        {"new key, header at end", "[s]", "s", "k", "[s]\r\nk= v \r\n"},
        {"new key, line without =", "[s]\nk\n", "s", "k", "[s]\nk\nk= v \r\n"},
        {"replace keeps the rest", "; top\n[S]\nx = 1\n  Key = old ; c\n\n[t]\r\nk=2\r\n", "s",
         "KEY", "; top\n[S]\nx = 1\nKey= v \n\n[t]\r\nk=2\r\n"},
        {"replace last line", "[s]\r\nk=1", "s", "k", "[s]\r\nk= v \r\n"},
        {"first section only", "[s]\r\n[s]\r\nk=1\r\n", "s", "k", "[s]\r\nk= v \r\n[s]\r\nk=1\r\n"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ProfileWriteString(c.file, c.section, c.key, " v "), c.expected) << c.what;
    }
}

TEST(ProfileRulesTest, ReadsBackWhatItWrote) {
    std::optional<std::string> file;
    file = ProfileWriteString(file, "Drive", "Letter", "A");
    file = ProfileWriteString(file, "Options", "Count", "12");
    file = ProfileWriteString(file, "Drive", "Label", "\"  disk one  \"");
    file = ProfileWriteString(file, "drive", "letter", "B");
    EXPECT_EQ(*file, "[Drive]\r\nLetter=B\r\nLabel=\"  disk one  \"\r\n[Options]\r\nCount=12\r\n");
    EXPECT_EQ(ProfileGetString(file, "DRIVE", "LETTER", "", kBig).value, "B");
    EXPECT_EQ(ProfileGetString(file, "Drive", "Label", "", kBig).value, "  disk one  ");
    EXPECT_EQ(ProfileGetInt(file, "options", "count", 0), 12u);
}

}  // namespace
}  // namespace veldra::sim
