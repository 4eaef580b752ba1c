// Searches: wildcards, exact names, a folder's own path, the "." and ".."
// entries, and the errors that end a search or find nothing.
#include <map>
#include <set>
#include <string>

#include "tests/platform/port_contract.h"

namespace veldra::testing {
namespace {

class FindContract : public PortContract {
protected:
    void SetUp() override {
        BOOT_OR_SKIP(HostSetup{
            .files = {{"A.DAT", "aaa"}, {"B.DAT", "b"}, {"Note.Txt", ""}, {"SUB\\X.DAT", "x"}}});
    }
    std::set<std::string> Names(const std::string& pattern, DWORD* error = nullptr) {
        std::set<std::string> names;
        for (const auto& [name, attributes] : Listing(pattern, error)) names.insert(name);
        return names;
    }
};
INSTANTIATE_PORT_CONTRACT(FindContract);

TEST_P(FindContract, PatternsFindWhatTheyMatchWithoutRegardToCase) {
    using Names_ = std::set<std::string>;
    const Names_ everything = {".", "..", "A.DAT", "B.DAT", "Note.Txt", "SUB"};
    const struct {
        const char* pattern;
        Names_ expected;
    } cases[] = {
        {"*.*", everything},
        {"*", everything},
        {"*.DAT", {"A.DAT", "B.DAT"}},
        {"*.dat", {"A.DAT", "B.DAT"}},
        {"?.DAT", {"A.DAT", "B.DAT"}},
        {"NOTE.TXT", {"Note.Txt"}},
        {"n*", {"Note.Txt"}},
        {"SUB", {"SUB"}},
        {"sub\\*.*", {".", "..", "X.DAT"}},
    };
    for (const auto& c : cases) EXPECT_EQ(Names(At(c.pattern)), c.expected) << c.pattern;

    std::map<std::string, DWORD> all = Listing(At("*.*"));
    for (const char* folder : {".", "..", "SUB"}) {
        EXPECT_TRUE(all[folder] & FILE_ATTRIBUTE_DIRECTORY) << folder;
    }
    EXPECT_FALSE(all["A.DAT"] & FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_EQ(Listing(At("SUB")),
              (std::map<std::string, DWORD>{{"SUB", FILE_ATTRIBUTE_DIRECTORY}}));
}

TEST_P(FindContract, TheRootHasNoDotEntries) {
    const std::string scratch = host().Scratch();
    std::set<std::string> root = Names(scratch.substr(0, 3) + "*.*");
    EXPECT_EQ(root.count("."), 0u);
    EXPECT_EQ(root.count(".."), 0u);
    EXPECT_EQ(root.count(scratch.substr(3)), 1u);
}

TEST_P(FindContract, FindDataCarriesTheSize) {
    WIN32_FIND_DATAA data;
    UniqueFindHandle search(sys(), files().FindFirstFileA(At("a.dat").c_str(), &data));
    ASSERT_TRUE(search.valid());
    EXPECT_STREQ(data.cFileName, "A.DAT");
    EXPECT_EQ(data.nFileSizeLow, 3u);
    EXPECT_EQ(data.nFileSizeHigh, 0u);
    EXPECT_FALSE(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
}

TEST_P(FindContract, NothingFoundAndTheEndAreErrorsOfTheirOwn) {
    const struct {
        const char* pattern;
        DWORD error;
    } cases[] = {
        {"*.ZZZ", ERROR_FILE_NOT_FOUND},
        {"MISSING.DAT", ERROR_FILE_NOT_FOUND},
        {"NOPE\\*.*", ERROR_PATH_NOT_FOUND},
    };
    for (const auto& c : cases) {
        DWORD error = 0;
        EXPECT_TRUE(Names(At(c.pattern), &error).empty()) << c.pattern;
        EXPECT_EQ(error, c.error) << c.pattern;
    }

    WIN32_FIND_DATAA data;
    HANDLE search = files().FindFirstFileA(At("B.DAT").c_str(), &data);
    ASSERT_NE(search, INVALID_HANDLE_VALUE);
    for (int i = 0; i < 2; ++i) {
        Stale();
        EXPECT_FALSE(files().FindNextFileA(search, &data));
        EXPECT_EQ(sys().GetLastError(), ERROR_NO_MORE_FILES);
    }
    EXPECT_TRUE(sys().FindClose(search));
    Stale();
    EXPECT_FALSE(sys().FindClose(search));
    EXPECT_EQ(sys().GetLastError(), ERROR_INVALID_HANDLE);
    Stale();
    EXPECT_FALSE(files().FindNextFileA(search, &data));
    EXPECT_EQ(sys().GetLastError(), ERROR_INVALID_HANDLE);
}

}  // namespace
}  // namespace veldra::testing
