// Files another process is working on: one it holds open with a share mode,
// and one it deletes after the program has opened it a few times.
#include <string>

#include "tests/platform/port_contract.h"

namespace veldra::testing {
namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE;

class OtherProcessContract : public PortContract {};
INSTANTIATE_PORT_CONTRACT(OtherProcessContract);

// The other process reads and writes; only what it shares is open to us.
TEST_P(OtherProcessContract, AHeldFileRefusesOpensItsHolderDoesNotShare) {
    BOOT_OR_SKIP(HostSetup{
        .files = {{"NONE.DAT", "none"}, {"READ.DAT", "read"}, {"BOTH.DAT", "both"}},
        .heldOpen = {{"NONE.DAT", 0}, {"READ.DAT", FILE_SHARE_READ}, {"BOTH.DAT", kShareAll}}});
    const struct {
        const char* name;
        DWORD access, share, disposition;
        bool admitted;
    } cases[] = {
        {"NONE.DAT", GENERIC_READ, kShareAll, OPEN_EXISTING, false},
        {"NONE.DAT", GENERIC_WRITE, kShareAll, CREATE_ALWAYS, false},
        {"NONE.DAT", 0, 0, OPEN_EXISTING, true},
        {"READ.DAT", GENERIC_READ, kShareAll, OPEN_EXISTING, true},
        {"READ.DAT", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, false},
        {"READ.DAT", GENERIC_WRITE, kShareAll, OPEN_EXISTING, false},
        {"BOTH.DAT", GENERIC_READ | GENERIC_WRITE, kShareAll, OPEN_EXISTING, true},
        {"BOTH.DAT", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " access " + std::to_string(c.access) + " share " +
                     std::to_string(c.share));
        Stale();
        EXPECT_EQ(Open(c.name, c.access, c.share, c.disposition).valid(), c.admitted);
        if (!c.admitted) {
            EXPECT_EQ(sys().GetLastError(), DWORD{ERROR_SHARING_VIOLATION});
        }
    }
    // The refused CREATE_ALWAYS truncated nothing.
    UniqueFileHandle query = Open("NONE.DAT", 0);
    EXPECT_EQ(files().GetFileSize(query.get(), nullptr), 4u);

    // Nor can the profile functions read or write what is not shared.
    char text[8] = {};
    const std::string none = At("NONE.DAT");
    EXPECT_EQ(profile().GetPrivateProfileStringA("S", "K", "dflt", text, sizeof text, none.c_str()),
              4u);
    EXPECT_STREQ(text, "dflt");
    EXPECT_FALSE(profile().WritePrivateProfileStringA("S", "K", "1", none.c_str()));
    EXPECT_EQ(files().GetFileSize(query.get(), nullptr), 4u);
}

TEST_P(OtherProcessContract, AVanishingFileOpensItsCountThenIsGone) {
    BOOT_OR_SKIP(HostSetup{.files = {{"GONE.DAT", "here"}, {"NOW.DAT", "x"}},
                           .vanishing = {{"GONE.DAT", 2}, {"NOW.DAT", 0}}});
    EXPECT_EQ(Contents("gone.dat"), "here");
    EXPECT_EQ(Contents("GONE.DAT"), "here");
    for (const char* name : {"GONE.DAT", "NOW.DAT"}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(Contents(name), "<missing>");
        EXPECT_EQ(sys().GetLastError(), DWORD{ERROR_FILE_NOT_FOUND});
        EXPECT_EQ(files().GetFileAttributesA(At(name).c_str()), INVALID_FILE_ATTRIBUTES);
        EXPECT_EQ(sys().GetLastError(), DWORD{ERROR_FILE_NOT_FOUND});
        DWORD error = 0;
        EXPECT_TRUE(Listing(At(name), &error).empty());
        EXPECT_EQ(error, DWORD{ERROR_FILE_NOT_FOUND});
    }
    EXPECT_EQ(Listing(At("*.DAT")).size(), 0u);
}

}  // namespace
}  // namespace veldra::testing
