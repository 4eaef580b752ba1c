// The installation run: what selects it, that it passes silently when all is
// well, and that every failure ends it with its message and no log entry.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/records/records_test_support.h"

namespace veldra::testing {
namespace {

const char kLog[] = "TAVEX/TVLOG.TXT";

class InstallRun : public ::testing::Test {
protected:
    void SetUp() override {
        machine.InstallPrograms({TestMachine::FloppyProgram("一"), TestMachine::UsbProgram("二")});
    }
    TestMachine machine;
};

TEST_F(InstallRun, OnlyTheSwitchAsTheLastEightCharactersInAnyCaseSelectsIt) {
    struct Row {
        std::vector<std::string> tail;
        bool installs;
    };
    const Row rows[] = {
        {{"/install"}, true},  {{"/INSTALL"}, true},       {{"/InStAlL"}, true},
        {{"x/INSTALL"}, true}, {{"/INSTALL "}, false},     {{"/INSTALLX"}, false},
        {{"/INSTAL"}, false},  {{"/INSTALL", "x"}, false}, {{"-INSTALL"}, false},
        {{}, false},
    };
    for (const Row& row : rows) {
        std::string shown;
        for (const std::string& word : row.tail) shown += "[" + word + "]";
        SCOPED_TRACE(shown);
        TestMachine fresh;
        fresh.InstallPrograms({TestMachine::FloppyProgram("一")});
        // The normal dialog waits for the operator; the installation run must not.
        RunResult run = fresh.Run(row.installs ? "" : "exit", row.tail);
        EXPECT_EQ(run.exitCode, 0) << run.Text();
        EXPECT_EQ(fresh.Exists(kLog), row.installs) << run.Text();
        EXPECT_EQ(run.Has("program box: add \"一\""), !row.installs) << run.Text();
    }
}

TEST_F(InstallRun, ASuccessfulRunShowsNothingAndWaitsForNothing) {
    RunResult run = RunKeepingDataFiles(machine, "", {"/install"});
    EXPECT_EQ(run.exitCode, 0) << run.Text();
    EXPECT_TRUE(run.error.empty()) << run.error;
    for (const char* shown : {"message box", "program box", "drive box", "status:", "media kind",
                              "create button", "progress"}) {
        EXPECT_FALSE(run.Has(shown)) << shown << "\n" << run.Text();
    }
    // The dialog closes from its initialisation, before it ever appears.
    EXPECT_FALSE(run.Has("shown")) << run.Text();
    EXPECT_EQ(run.lines.back(), "dialog \"VELDRA\" closes unseen (2)") << run.Text();
    EXPECT_EQ(machine.ReadFile(kLog),
              Sjis("◆VELDRAをインストールしました。\r\n  日時：2010/03/09 14:05:07\r\n"
                   "  インストール先：C:\\TAVEX\r\n"));
}

TEST_F(InstallRun, AModuleOutsideAnExistingDirectoryEndsWithMessage193) {
    const std::string message = "インストールディレクトリ名が正しくないか、指定されていません。";
    // A folder that is not there, and a "folder" that is a file.
    for (const char* module : {"C:\\NOWHERE\\TAVEX.EXE", "C:\\TAVEX\\PROG1.DAT\\TAVEX.EXE"}) {
        SCOPED_TRACE(module);
        machine.SetSystem("module", module);
        RunResult run = RunKeepingDataFiles(machine, "ok", {"/install"});
        ExpectEndsAfter(run, message);
        EXPECT_FALSE(machine.Exists(kLog));
        EXPECT_FALSE(machine.Exists("NOWHERE"));
    }
}

TEST_F(InstallRun, AFailedDataFileCheckEndsWithItsMessageAndNoLog) {
    struct Row {
        const char* change;
        const char* message;
    };
    const Row rows[] = {
        {"missing", "PROG2.DAT が開けません。"},
        {"short", "PROG2.DAT はデータファイルではありません。"},
        {"damaged", "PROG2.DAT は壊れています。"},
        {"unlisted", "TAVEXMEDIA.INI が存在しないか、正しくありません。 "},
        {"uncounted", "TAVEXMEDIA.INI が存在しないか、正しくありません。 "},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.change);
        TestMachine fresh;
        fresh.InstallPrograms({TestMachine::FloppyProgram("一"), TestMachine::UsbProgram("二")});
        std::string change = row.change;
        std::string bytes = fresh.ReadFile("TAVEX/PROG2.DAT");
        if (change == "missing") std::filesystem::remove(fresh.OnC("TAVEX/PROG2.DAT"));
        if (change == "short") fresh.WriteFile("TAVEX/PROG2.DAT", bytes.substr(0, 2047));
        if (change == "damaged") {
            bytes[100] ^= 0x01;
            fresh.WriteFile("TAVEX/PROG2.DAT", bytes);
        }
        if (change == "unlisted") fresh.WriteIni({"[FILE]", "FILES=2", "FILE1=PROG1.DAT"});
        if (change == "uncounted") fresh.WriteIni({"[FILE]", "FILE1=PROG1.DAT"});
        RunResult run = RunKeepingDataFiles(fresh, "ok", {"/install"});
        ExpectEndsAfter(run, row.message);
        EXPECT_FALSE(fresh.Exists(kLog));
    }
}

TEST_F(InstallRun, LeavesNoSelectionBehindSoTheNextStartPreselectsTheFirstProgram) {
    machine.InstallPrograms({TestMachine::FloppyProgram("一"), TestMachine::UsbProgram("二")}, 2);
    machine.Run("", {"/install"});
    EXPECT_NE(machine.Ini().find("FILENO=0\r\n"), std::string::npos) << machine.Ini();

    RunResult next = machine.Run("exit");
    EXPECT_EQ(next.exitCode, 0) << next.Text();
    EXPECT_TRUE(next.Has("program box: select 1 \"一\"")) << next.Text();
    EXPECT_FALSE(next.Has("program box: select 2")) << next.Text();
}

}  // namespace
}  // namespace veldra::testing
