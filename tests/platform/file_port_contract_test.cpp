// The file port's contract: dispositions, share modes, the read-only attribute
// and drive, a full disk, the file pointer and handle lifetime.
#include <functional>
#include <string>
#include <utility>

#include "tests/platform/port_contract.h"

namespace veldra::testing {
namespace {

constexpr DWORD kReadWrite = GENERIC_READ | GENERIC_WRITE;
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE;

class FileContract : public PortContract {
protected:
    BOOL Write(HANDLE file, const std::string& bytes, DWORD* written) {
        return files().WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), written);
    }
    DWORD Seek(HANDLE file, std::int32_t distance, DWORD method) {
        Stale();
        return files().SetFilePointer(file, distance, nullptr, method);
    }
};
INSTANTIATE_PORT_CONTRACT(FileContract);

TEST_P(FileContract, DispositionsCreateOpenOrTruncateAndSayWhatTheyFound) {
    const struct {
        bool exists;
        DWORD disposition;
        DWORD error;
        const char* after;
    } cases[] = {
        {false, CREATE_NEW, ERROR_SUCCESS, ""},
        {true, CREATE_NEW, ERROR_FILE_EXISTS, "OLD"},
        {false, CREATE_ALWAYS, ERROR_SUCCESS, ""},
        {true, CREATE_ALWAYS, ERROR_ALREADY_EXISTS, ""},
        {false, OPEN_EXISTING, ERROR_FILE_NOT_FOUND, "<missing>"},
        {true, OPEN_EXISTING, ERROR_SUCCESS, "OLD"},
        {false, OPEN_ALWAYS, ERROR_SUCCESS, ""},
        {true, OPEN_ALWAYS, ERROR_ALREADY_EXISTS, "OLD"},
        {false, TRUNCATE_EXISTING, ERROR_FILE_NOT_FOUND, "<missing>"},
        {true, TRUNCATE_EXISTING, ERROR_SUCCESS, ""},
    };
    HostSetup setup;
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        if (cases[i].exists) setup.files.push_back({"F" + std::to_string(i) + ".DAT", "OLD"});
    }
    BOOT_OR_SKIP(setup);
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const auto& c = cases[i];
        std::string name = "F" + std::to_string(i) + ".DAT";
        SCOPED_TRACE("disposition " + std::to_string(c.disposition) +
                     (c.exists ? " on an existing file" : " on a missing file"));
        Stale();
        UniqueFileHandle file = Open(name, kReadWrite, 0, c.disposition);
        EXPECT_EQ(sys().GetLastError(), c.error);
        EXPECT_EQ(file.valid(), c.error == ERROR_SUCCESS || c.error == ERROR_ALREADY_EXISTS);
        file.reset();
        EXPECT_EQ(Contents(name), c.after);
    }
    for (DWORD disposition : {CREATE_NEW, CREATE_ALWAYS, OPEN_EXISTING, OPEN_ALWAYS}) {
        EXPECT_FALSE(Open("NOPE\\A.DAT", kReadWrite, 0, disposition).valid());
        EXPECT_EQ(sys().GetLastError(), ERROR_PATH_NOT_FOUND) << disposition;
    }
}

TEST_P(FileContract, ShareModesAdmitOnlyWhatEveryOpenerShares) {
    const struct {
        DWORD firstAccess, firstShare, secondAccess, secondShare;
        bool admitted;
    } cases[] = {
        {GENERIC_READ, 0, GENERIC_READ, kShareAll, false},
        {GENERIC_READ, 0, GENERIC_WRITE, kShareAll, false},
        {GENERIC_WRITE, 0, GENERIC_READ, kShareAll, false},
        {GENERIC_READ, FILE_SHARE_READ, GENERIC_READ, FILE_SHARE_READ, true},
        {GENERIC_READ, FILE_SHARE_READ, GENERIC_WRITE, kShareAll, false},
        {GENERIC_READ, FILE_SHARE_READ, kReadWrite, kShareAll, false},
        // The second opener's own share mode must admit the first one's access.
        {GENERIC_READ, kShareAll, GENERIC_READ, FILE_SHARE_WRITE, false},
        {GENERIC_WRITE, kShareAll, kReadWrite, FILE_SHARE_READ, false},
        {kReadWrite, kShareAll, kReadWrite, kShareAll, true},
        {GENERIC_WRITE, FILE_SHARE_WRITE, GENERIC_WRITE, FILE_SHARE_WRITE, true},
        // Without data access there is nothing to share.
        {GENERIC_READ, 0, 0, 0, true},
        {0, 0, kReadWrite, 0, true},
    };
    HostSetup setup;
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        setup.files.push_back({"S" + std::to_string(i) + ".DAT", "x"});
    }
    BOOT_OR_SKIP(setup);
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const auto& c = cases[i];
        std::string name = "S" + std::to_string(i) + ".DAT";
        SCOPED_TRACE("case " + std::to_string(i));
        UniqueFileHandle first = Open(name, c.firstAccess, c.firstShare);
        ASSERT_TRUE(first.valid());
        Stale();
        UniqueFileHandle second = Open(name, c.secondAccess, c.secondShare);
        EXPECT_EQ(second.valid(), c.admitted);
        if (c.admitted) continue;
        EXPECT_EQ(sys().GetLastError(), ERROR_SHARING_VIOLATION);
        first.reset();
        EXPECT_TRUE(Open(name, c.secondAccess, c.secondShare).valid());
    }
}

TEST_P(FileContract, TheReadOnlyAttributeRefusesWritersUntilItIsCleared) {
    BOOT_OR_SKIP(HostSetup{.files = {{"RO.DAT", "keep"}}});
    const std::string path = At("RO.DAT");
    ASSERT_TRUE(files().SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(files().GetFileAttributesA(path.c_str()), DWORD{FILE_ATTRIBUTE_READONLY});
    for (DWORD disposition : {OPEN_EXISTING, OPEN_ALWAYS, CREATE_ALWAYS, TRUNCATE_EXISTING}) {
        EXPECT_FALSE(Open("RO.DAT", GENERIC_WRITE, 0, disposition).valid()) << disposition;
        EXPECT_EQ(sys().GetLastError(), ERROR_ACCESS_DENIED) << disposition;
    }
    EXPECT_EQ(Contents("RO.DAT"), "keep");

    // CREATE_ALWAYS replaces a hidden or system file only when asked for the
    // same attributes; TRUNCATE_EXISTING empties it all the same.
    for (DWORD kept : {FILE_ATTRIBUTE_HIDDEN, FILE_ATTRIBUTE_SYSTEM}) {
        ASSERT_TRUE(files().SetFileAttributesA(path.c_str(), kept));
        EXPECT_FALSE(Open("RO.DAT", GENERIC_WRITE, 0, CREATE_ALWAYS).valid()) << kept;
        EXPECT_EQ(sys().GetLastError(), ERROR_ACCESS_DENIED) << kept;
    }
    EXPECT_EQ(Contents("RO.DAT"), "keep");
    for (DWORD kept : {FILE_ATTRIBUTE_HIDDEN, FILE_ATTRIBUTE_SYSTEM}) {
        ASSERT_TRUE(files().SetFileAttributesA(path.c_str(), kept));
        EXPECT_TRUE(UniqueFileHandle(sys(), files().CreateFileA(path.c_str(), GENERIC_WRITE, 0,
                                                                CREATE_ALWAYS, kept))
                        .valid())
            << kept;
    }
    EXPECT_TRUE(Open("RO.DAT", GENERIC_WRITE, 0, TRUNCATE_EXISTING).valid());

    ASSERT_TRUE(files().SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL));
    EXPECT_EQ(files().GetFileAttributesA(path.c_str()), DWORD{FILE_ATTRIBUTE_NORMAL});
    EXPECT_TRUE(Open("RO.DAT", GENERIC_WRITE).valid());
    EXPECT_EQ(files().GetFileAttributesA(At("MISSING.DAT").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(sys().GetLastError(), ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(files().SetFileAttributesA(At("NOPE\\A.DAT").c_str(), FILE_ATTRIBUTE_NORMAL));
    EXPECT_EQ(sys().GetLastError(), ERROR_PATH_NOT_FOUND);
    EXPECT_TRUE(files().GetFileAttributesA(host().Scratch().c_str()) & FILE_ATTRIBUTE_DIRECTORY);
}

TEST_P(FileContract, AWriteProtectedDriveReadsButRefusesEveryChange) {
    BOOT_OR_SKIP(HostSetup{.files = {{"A.DAT", "data"}}, .readOnlyDrive = true});
    EXPECT_EQ(Contents("A.DAT"), "data");
    const struct {
        const char* name;
        DWORD access, disposition;
    } refused[] = {
        {"A.DAT", GENERIC_WRITE, OPEN_EXISTING}, {"A.DAT", GENERIC_READ, CREATE_ALWAYS},
        {"A.DAT", kReadWrite, OPEN_ALWAYS},      {"NEW.DAT", GENERIC_READ, CREATE_NEW},
        {"NEW.DAT", GENERIC_READ, OPEN_ALWAYS},
    };
    for (const auto& r : refused) {
        EXPECT_FALSE(Open(r.name, r.access, 0, r.disposition).valid()) << r.name;
        EXPECT_EQ(sys().GetLastError(), ERROR_WRITE_PROTECT) << r.name << " " << r.disposition;
    }
    EXPECT_FALSE(files().SetFileAttributesA(At("A.DAT").c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(sys().GetLastError(), ERROR_WRITE_PROTECT);
    EXPECT_EQ(Contents("A.DAT"), "data");
    EXPECT_EQ(Contents("NEW.DAT"), "<missing>");
}

TEST_P(FileContract, AFullDiskTakesWhatFitsAndReportsThePartialWrite) {
    BOOT_OR_SKIP(HostSetup{.freeBytes = 10});
    UniqueFileHandle file = Open("BIG.DAT", kReadWrite, 0, CREATE_NEW);
    ASSERT_TRUE(file.valid());
    DWORD written = 99;
    EXPECT_FALSE(Write(file.get(), "0123456789ABCDEF", &written));
    EXPECT_EQ(sys().GetLastError(), ERROR_DISK_FULL);
    EXPECT_EQ(written, 10u);
    EXPECT_FALSE(Write(file.get(), "X", &written));
    EXPECT_EQ(written, 0u);
    // Overwriting what is there needs no space.
    EXPECT_EQ(Seek(file.get(), 2, FILE_BEGIN), 2u);
    EXPECT_TRUE(Write(file.get(), "ab", &written));
    file.reset();
    EXPECT_EQ(Contents("BIG.DAT"), "01ab456789");

    // Truncating the file gives its space back.
    file = Open("BIG.DAT", kReadWrite, 0, CREATE_ALWAYS);
    ASSERT_TRUE(file.valid());
    EXPECT_TRUE(Write(file.get(), "0123456789", &written));
    EXPECT_EQ(written, 10u);
}

TEST_P(FileContract, TheFilePointerMovesFromEachOriginAndRefusesNegativePositions) {
    BOOT_OR_SKIP(HostSetup{.files = {{"P.DAT", "0123456789"}}});
    UniqueFileHandle file = Open("P.DAT", kReadWrite);
    ASSERT_TRUE(file.valid());
    HANDLE h = file.get();
    EXPECT_EQ(Seek(h, 4, FILE_BEGIN), 4u);
    EXPECT_EQ(Seek(h, 3, FILE_CURRENT), 7u);
    EXPECT_EQ(Seek(h, -2, FILE_CURRENT), 5u);
    char byte = 0;
    DWORD got = 0;
    ASSERT_TRUE(files().ReadFile(h, &byte, 1, &got));
    EXPECT_EQ(byte, '5');
    EXPECT_EQ(Seek(h, -1, FILE_END), 9u);

    EXPECT_EQ(Seek(h, -11, FILE_END), INVALID_SET_FILE_POINTER);
    EXPECT_EQ(sys().GetLastError(), ERROR_NEGATIVE_SEEK);
    EXPECT_EQ(Seek(h, 0, FILE_CURRENT), 9u) << "a refused move leaves the pointer";

    // Past the end is allowed; reading there gives nothing, successfully.
    EXPECT_EQ(Seek(h, 5, FILE_END), 15u);
    got = 7;
    EXPECT_TRUE(files().ReadFile(h, &byte, 1, &got));
    EXPECT_EQ(got, 0u);

    // With the high part the low part is unsigned, and 0xFFFFFFFF is a position.
    std::int32_t high = 0;
    Stale();
    EXPECT_EQ(files().SetFilePointer(h, -1, &high, FILE_BEGIN), 0xFFFFFFFFu);
    EXPECT_EQ(sys().GetLastError(), ERROR_SUCCESS);
    EXPECT_EQ(high, 0);
    high = 1;
    EXPECT_EQ(files().SetFilePointer(h, 0x10, &high, FILE_BEGIN), 0x10u);
    EXPECT_EQ(high, 1);
    high = 0;
    EXPECT_EQ(files().SetFilePointer(h, 0, &high, FILE_CURRENT), 0x10u);
    EXPECT_EQ(high, 1);
    high = -1;
    EXPECT_EQ(files().SetFilePointer(h, -5, &high, FILE_BEGIN), INVALID_SET_FILE_POINTER);
    EXPECT_EQ(sys().GetLastError(), ERROR_NEGATIVE_SEEK);

    DWORD sizeHigh = 99;
    EXPECT_EQ(files().GetFileSize(h, &sizeHigh), 10u);
    EXPECT_EQ(sizeHigh, 0u);
}

TEST_P(FileContract, HandlesRefuseTheWrongAccessAndDieWhenClosed) {
    BOOT_OR_SKIP(HostSetup{.files = {{"H.DAT", "abc"}}});
    char buffer[4];
    DWORD count = 0;
    UniqueFileHandle reader = Open("H.DAT", GENERIC_READ, kShareAll);
    EXPECT_FALSE(Write(reader.get(), "x", &count));
    EXPECT_EQ(sys().GetLastError(), ERROR_ACCESS_DENIED);
    // A flush writes out what a handle may have written: only a writer's.
    EXPECT_FALSE(files().FlushFileBuffers(reader.get()));
    EXPECT_EQ(sys().GetLastError(), ERROR_ACCESS_DENIED);
    UniqueFileHandle writer = Open("H.DAT", GENERIC_WRITE, kShareAll);
    EXPECT_FALSE(files().ReadFile(writer.get(), buffer, 1, &count));
    EXPECT_EQ(sys().GetLastError(), ERROR_ACCESS_DENIED);
    EXPECT_TRUE(Write(writer.get(), "x", &count));
    EXPECT_TRUE(files().FlushFileBuffers(writer.get()));
    writer.reset();

    HANDLE closed = reader.release();
    ASSERT_TRUE(sys().CloseHandle(closed));
    const std::pair<const char*, std::function<bool()>> calls[] = {
        {"CloseHandle", [&] { return !sys().CloseHandle(closed); }},
        {"ReadFile", [&] { return !files().ReadFile(closed, buffer, 1, &count); }},
        {"WriteFile", [&] { return !Write(closed, "x", &count); }},
        {"SetFilePointer", [&] { return Seek(closed, 0, FILE_BEGIN) == INVALID_SET_FILE_POINTER; }},
        {"GetFileSize", [&] { return files().GetFileSize(closed, nullptr) == INVALID_FILE_SIZE; }},
        {"SetFileTime", [&] { return !files().SetFileTime(closed, nullptr, nullptr, nullptr); }},
        {"FlushFileBuffers", [&] { return !files().FlushFileBuffers(closed); }},
    };
    for (const auto& [call, fails] : calls) {
        Stale();
        EXPECT_TRUE(fails()) << call;
        EXPECT_EQ(sys().GetLastError(), ERROR_INVALID_HANDLE) << call;
    }
}

}  // namespace
}  // namespace veldra::testing
