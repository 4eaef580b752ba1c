// The creation log: its date line, and the entries that installation runs
// append to TVLOG.TXT, compared byte for byte in code page 932.
#include "records/creation_log.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "tests/records/records_test_support.h"

namespace veldra::testing {
namespace {

const char kLog[] = "TAVEX/TVLOG.TXT";

std::string InstallEntry(const std::string& when, const std::string& directory = "C:\\TAVEX") {
    return Sjis("◆VELDRAをインストールしました。\r\n  日時：" + when + "\r\n  インストール先：" +
                directory + "\r\n");
}

TEST(LogDateLine, IsTheLabelAndTheTimeWithFixedWidths) {
    struct Row {
        SYSTEMTIME time;
        const char* shown;
    };
    auto at = [](WORD y, WORD mo, WORD d, WORD h, WORD mi, WORD s) {
        SYSTEMTIME t;
        t.wYear = y;
        t.wMonth = mo;
        t.wDay = d;
        t.wHour = h;
        t.wMinute = mi;
        t.wSecond = s;
        t.wDayOfWeek = 2;
        t.wMilliseconds = 999;  // not shown
        return t;
    };
    const Row rows[] = {
        {at(2010, 3, 9, 14, 5, 7), "2010/03/09 14:05:07"},
        {at(2000, 12, 31, 0, 0, 0), "2000/12/31 00:00:00"},
        {at(1999, 10, 10, 23, 59, 59), "1999/10/10 23:59:59"},
        // The year has a minimum width of 4, padded with spaces, and grows.
        {at(987, 1, 2, 3, 4, 5), " 987/01/02 03:04:05"},
        {at(30827, 1, 1, 1, 1, 1), "30827/01/01 01:01:01"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(FormatLogDateLine(row.time), Sjis(std::string("  日時：") + row.shown));
    }
}

class CreationLog : public ::testing::Test {
protected:
    void SetUp() override { machine.InstallPrograms({TestMachine::FloppyProgram("一")}); }

    RunResult Install() const { return RunKeepingDataFiles(machine, "", {"/install"}); }

    TestMachine machine;
};

TEST_F(CreationLog, AnInstallationStartsANewLogWithOneThreeLineEntry) {
    ASSERT_FALSE(machine.Exists(kLog));
    RunResult run = Install();
    EXPECT_EQ(run.exitCode, 0) << run.Text();
    EXPECT_EQ(machine.ReadFile(kLog), InstallEntry("2010/03/09 14:05:07"));
}

TEST_F(CreationLog, EveryRunAppendsItsOwnEntryAndLeavesTheEarlierOnes) {
    Install();
    machine.SetSystem("clock", "2011-11-30 09:00:00");
    Install();
    EXPECT_EQ(machine.ReadFile(kLog),
              InstallEntry("2010/03/09 14:05:07") + InstallEntry("2011/11/30 09:00:00"));
    // Entries of the same second are not merged.
    Install();
    EXPECT_EQ(machine.ReadFile(kLog), InstallEntry("2010/03/09 14:05:07") +
                                          InstallEntry("2011/11/30 09:00:00") +
                                          InstallEntry("2011/11/30 09:00:00"));
}

TEST_F(CreationLog, AnEntryFollowsTheLastByteEvenWithoutALineBreak) {
    const std::string earlier = Sjis("◆手で書いた行\r\n  最後の行に改行なし");
    machine.WriteFile(kLog, earlier);
    Install();
    EXPECT_EQ(machine.ReadFile(kLog), earlier + InstallEntry("2010/03/09 14:05:07"));
}

TEST_F(CreationLog, ALogThatCannotBeOpenedIsReportedAndLeftAlone) {
    const std::string earlier = Sjis("◆前の記録\r\n");
    struct Row {
        const char* how;
        const char* heldOpen;  // share mode of another process, or null
        bool readOnly;
    };
    const Row rows[] = {
        {"held, sharing nothing", "none", false},
        {"held, sharing everything", "read-write", false},
        {"read-only", nullptr, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.how);
        TestMachine fresh;
        fresh.InstallPrograms({TestMachine::FloppyProgram("一")});
        fresh.WriteFile(kLog, earlier);
        if (row.heldOpen) {
            fresh.AddSection(std::string("[held-open]\nC:\\TAVEX\\TVLOG.TXT = ") + row.heldOpen);
        }
        if (row.readOnly) {
            std::filesystem::permissions(fresh.OnC(kLog), std::filesystem::perms::all,
                                         std::filesystem::perm_options::remove);
            std::filesystem::permissions(fresh.OnC(kLog), std::filesystem::perms::owner_read,
                                         std::filesystem::perm_options::add);
        }
        RunResult run = fresh.Run("ok", {"/install"});
        ExpectEndsAfter(run, "TVLOG.TXT が開けません。");
        EXPECT_EQ(fresh.ReadFile(kLog), earlier);
    }
}

TEST_F(CreationLog, AFullDiskKeepsThePartOfTheEntryThatFitAndSaysSo) {
    const std::string earlier = Sjis("◆前の記録\r\n");
    const std::string entry = InstallEntry("2010/03/09 14:05:07", "D:\\TAVEX");
    for (std::size_t free :
         {std::size_t{0}, std::size_t{1}, std::size_t{30}, entry.size() - 1, entry.size()}) {
        SCOPED_TRACE(free);
        TestMachine fresh;
        fresh.InstallPrograms({TestMachine::FloppyProgram("一")});
        fresh.WriteFile(kLog, earlier);
        MoveInstallationTo(fresh, 'D', "free-bytes = " + std::to_string(free) + "\n");
        bool fits = free >= entry.size();
        RunResult run = fresh.Run(fits ? "" : "ok", {"/install"});
        std::ifstream in(fresh.Dir() / "D" / kLog, std::ios::binary);
        std::string log(std::istreambuf_iterator<char>(in), {});
        EXPECT_EQ(log, earlier + entry.substr(0, free));
        if (fits) {
            EXPECT_FALSE(run.Has("message box")) << run.Text();
        } else {
            ExpectEndsAfter(run, "TVLOG.TXT の書き込み中エラーが発生しました。");
        }
    }
}

// A log whose end a 32-bit position cannot reach is not written from its
// start: the entry is refused and the earlier ones stay.
TEST_F(CreationLog, ALogOf4GiBIsLeftAsItWas) {
    const std::string earlier = Sjis("◆前の記録\r\n");
    machine.WriteFile(kLog, earlier);
    std::filesystem::path log = machine.Dir() / "C" / kLog;
    std::filesystem::resize_file(log, std::uint64_t{1} << 32);  // sparse
    RunResult run = RunKeepingDataFiles(machine, "ok", {"/install"});
    ExpectEndsAfter(run, "TVLOG.TXT の書き込み中エラーが発生しました。");
    std::ifstream in(log, std::ios::binary);
    std::string start(earlier.size(), '\0');
    in.read(start.data(), static_cast<std::streamsize>(start.size()));
    EXPECT_EQ(start, earlier);
    EXPECT_EQ(std::filesystem::file_size(log), std::uint64_t{1} << 32);
}

TEST_F(CreationLog, ADoubleByteDirectoryIsWrittenByteForByte) {
    // "ソ" and "表" end in the byte 0x5C, which must not be taken for a separator.
    const std::string directory = "C:\\ソフト表\\導入先";
    TestMachine there;
    there.SetSystem("module", directory + "\\TAVEX.EXE");
    there.WriteDataFile("ソフト表/導入先/PROG1.DAT", TestMachine::FloppyProgram("一"));
    there.WriteFile("ソフト表/導入先/TAVEXMEDIA.INI", "[FILE]\r\nFILES=1\r\nFILE1=PROG1.DAT\r\n");
    RunResult run = RunKeepingDataFiles(there, "", {"/install"});
    EXPECT_FALSE(run.Has("message box")) << run.Text();
    EXPECT_EQ(there.ReadFile("ソフト表/導入先/TVLOG.TXT"),
              InstallEntry("2010/03/09 14:05:07", directory));
}

}  // namespace
}  // namespace veldra::testing
