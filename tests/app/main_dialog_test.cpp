// The main dialog on a simulated machine: the ready state, program changes,
// the keys and buttons that end it or must not, and what it writes on the way out.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "app/tavexfd_app.h"
#include "tests/support/main_dialog_harness.h"
#include "tests/support/test_machine.h"
#include "tests/support/three_programs.h"

namespace veldra::testing {
namespace {

class MainDialog : public ThreePrograms {};

TEST_F(MainDialog, OpensReadyWithTheListedProgramsAndThePreselectedOne) {
    RunResult run = machine.Run("exit");
    ASSERT_EQ(run.exitCode, 0) << run.Text();
    EXPECT_TRUE(run.Has("program box: add \"フロッピー版\""));
    EXPECT_TRUE(run.Has("program box: add \"USB版\""));
    EXPECT_TRUE(run.Has("program box: add \"予備\""));
    EXPECT_TRUE(run.Has("program box: select 1 \"フロッピー版\""));
    EXPECT_TRUE(run.Has("media kind: \"フロッピーディスク\""));
    EXPECT_TRUE(run.Has("create button: \"メディア作成(&M)\""));
    EXPECT_TRUE(run.Has("create button: enabled"));
    EXPECT_TRUE(
        run.Has("status: \"[メディア作成]ボタンをクリックし、実行メディアを作成してください。\""));
    // The About item comes last, set off from the system's own items.
    EXPECT_EQ(run.IndexOf("system menu: add separator") + 1,
              run.IndexOf("system menu: add \"TAVEX のﾊﾞｰｼﾞｮﾝ情報(&A)...\" (16)"))
        << run.Text();
    EXPECT_FALSE(run.Has("message box")) << run.Text();
    // The ready state comes before the operator acts.
    EXPECT_LT(run.IndexOf("create button: enabled"), run.IndexOf("> exit"));
}

TEST_F(MainDialog, ClosingWritesTheSelectionBackAndTheNextStartPreselectsIt) {
    RunResult first = machine.Run("program 3, close");
    ASSERT_EQ(first.exitCode, 0) << first.Text();
    EXPECT_NE(machine.Ini().find("FILENO=3\r\n"), std::string::npos) << machine.Ini();

    RunResult second = machine.Run("exit");
    EXPECT_TRUE(second.Has("program box: select 3 \"予備\"")) << second.Text();
}

TEST_F(MainDialog, ClosingKeepsEveryOtherLineOfTheMediaDefinitionFile) {
    machine.WriteIni({"; programs of this machine", "[FILE]", "FILES=3", "FILE1=PROG1.DAT",
                      "FILE2=PROG2.DAT", "FILE3=PROG3.DAT", "FILENO=1", "WRITEDELAY=80", "[OTHER]",
                      "KEY=value"});
    machine.Run("program 2, exit");
    EXPECT_EQ(machine.Ini(),
              "; programs of this machine\r\n[FILE]\r\nFILES=3\r\nFILE1=PROG1.DAT\r\n"
              "FILE2=PROG2.DAT\r\nFILE3=PROG3.DAT\r\nFILENO=2\r\nWRITEDELAY=80\r\n"
              "[OTHER]\r\nKEY=value\r\n");
}

TEST_F(MainDialog, ChangingToAUsbProgramShowsItsMediumKind) {
    RunResult run = machine.Run("program 2, exit");
    int pick = run.IndexOf("> program 2");
    ASSERT_GE(pick, 0) << run.Text();
    EXPECT_GT(run.IndexOf("media kind: \"USBメモリ\""), pick) << run.Text();
}

TEST_F(MainDialog, ReselectingTheLoadedProgramDoesNotReadItAgain) {
    // PROG1.DAT survives the start-up check and the listing, then vanishes:
    // a reread would fail with message 103.
    machine.AddSection("[vanishing]\nC:\\TAVEX\\PROG1.DAT = 3");
    RunResult run = machine.Run("program 1, program 1, exit");
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_FALSE(run.Has("message box")) << run.Text();
}

TEST_F(MainDialog, AFailedProgramChangeDisablesCreateUntilAnotherProgramLoads) {
    // PROG2.DAT is there for the start-up check and the listing only.
    machine.AddSection("[vanishing]\nC:\\TAVEX\\PROG2.DAT = 2");
    RunResult run = machine.Run("program 2, ok, program 2, program 3, exit");
    ASSERT_EQ(run.exitCode, 0) << run.Text();
    EXPECT_TRUE(run.Has("message box [stop, OK] \"VELDRA\": \"PROG2.DAT が開けません。\" -> OK"));
    int failed = run.IndexOf("create button: disabled");
    ASSERT_GE(failed, 0) << run.Text();
    EXPECT_TRUE(run.Has(
        "status: \"データファイルの読み出しに失敗しました。\\nプログラムを終了してください。\""));
    // Picking the failed line again does nothing; the third program loads.
    EXPECT_EQ(run.Count("PROG2.DAT が開けません"), 1);
    std::vector<std::string> after(run.lines.begin() + failed, run.lines.end());
    RunResult rest{0, after, ""};
    EXPECT_TRUE(rest.Has("program box: select 3"));
    EXPECT_TRUE(rest.Has("create button: enabled")) << run.Text();
    EXPECT_TRUE(rest.Has("status: \"[メディア作成]ボタン")) << run.Text();
}

TEST_F(MainDialog, EnterDoesNothingAndEscEndsTheDialog) {
    RunResult run = machine.Run("enter, enter, esc");
    ASSERT_EQ(run.exitCode, 0) << run.Text();
    EXPECT_TRUE(run.Has("dialog \"VELDRA\" closes (2)"));
    EXPECT_EQ(run.IndexOf("dialog \"VELDRA\" closes"), run.IndexOf("> esc") + 1) << run.Text();
}

TEST_F(MainDialog, TheDriveBoxStaysEmptyAndCreateSaysNoDriveWasFound) {
    RunResult floppy = machine.Run("create, ok, exit");
    EXPECT_TRUE(floppy.Has("drive box: clear"));
    EXPECT_FALSE(floppy.Has("drive box: add"));
    EXPECT_TRUE(floppy.Has("\"フロッピーディスク装置の検出ができません。\" -> OK"))
        << floppy.Text();

    RunResult usb = machine.Run("program 2, create, ok, exit");
    EXPECT_TRUE(usb.Has("\"USBメモリがありません。\" -> OK")) << usb.Text();
}

TEST_F(MainDialog, ProgressRangeCountsEntriesInUseAndZeroFillChunks) {
    DataFileSpec model = TestMachine::FloppyProgram("ゼロ");
    DataFileEntrySpec zero;
    zero.kind = ENTRY_ZERO_FILL;
    zero.size = 3 * 65536 + 100;
    DataFileEntrySpec unused = zero;
    unused.inUse = 0;
    model.entries.push_back(zero);
    model.entries.push_back(unused);
    machine.InstallPrograms({model});
    RunResult run = machine.Run("create, ok, exit");
    // 1 + three entries in use + three whole 64 KB chunks of the zero fill,
    // a step of 1 (the bar's own is 10).
    EXPECT_TRUE(run.Has("progress: range 0..7")) << run.Text();
    EXPECT_TRUE(run.Has("progress: step 1")) << run.Text();
}

TEST_F(MainDialog, AScriptThatRunsOutWhileAMessageBoxWaitsIsAnError) {
    RunResult run = machine.Run("create");
    EXPECT_EQ(run.exitCode, 3);
    EXPECT_NE(run.error.find("ran out while a message box waits"), std::string::npos) << run.error;
}

TEST_F(MainDialog, AnAnswerWithoutAMessageBoxIsAnError) {
    RunResult run = machine.Run("yes");
    EXPECT_EQ(run.exitCode, 3);
    EXPECT_NE(run.error.find("shows none"), std::string::npos) << run.error;
}

TEST_F(MainDialog, MinimizedItPaintsItsIconInTheMiddle) {
    RunResult run = machine.Run("minimize, restore, exit");
    ASSERT_EQ(run.exitCode, 0) << run.Text();
    // 299 x 165 dialog units are 448 x 247 pixels; the icon is 32 square.
    int drawn = run.IndexOf("icon 128 drawn at 208,108");
    EXPECT_LT(run.IndexOf("window minimized"), drawn) << run.Text();
    EXPECT_LT(drawn, run.IndexOf("window restored")) << run.Text();
    EXPECT_EQ(run.Count("drawn at"), 1);
}

// Two sticks and a floppy drive: the drive box shows the drives that fit the
// program's medium, and a program change keeps the selected line when the new
// list is long enough, else selects the first.
TEST(DriveBox, FitsTheMediumAndKeepsOrResetsItsSelection) {
    TestMachine machine;
    for (const char* image : {"fd.img", "e.img", "f.img"}) {
        std::ofstream(machine.Dir() / image, std::ios::binary).close();
        std::filesystem::resize_file(machine.Dir() / image, 1474560);
    }
    machine.AddSection(
        "[drive A]\ntype = removable\ndevice = floppy 0\n"
        "[drive E]\ntype = removable\ndevice = disk 1\n"
        "[drive F]\ntype = removable\ndevice = disk 2\n"
        "[floppy 0]\nimage = fd.img\ndevice-number = fails\n"
        "[disk 1]\nimage = e.img\n[disk 2]\nimage = f.img\n"
        "[registry SYSTEM\\CurrentControlSet\\Services\\Flpydisk\\Enum]\nCount = dword:1\n");
    machine.InstallPrograms({TestMachine::FloppyProgram("フロッピー版"),
                             TestMachine::UsbProgram("USB版"), TestMachine::UsbProgram("USB2")});
    RunResult run = machine.Run("program 2, drive 2, program 3, program 1, exit");
    ASSERT_EQ(run.exitCode, 0) << run.Text();
    std::vector<std::string> drives;
    for (const std::string& line : run.lines) {
        if (line.rfind("drive box: ", 0) == 0 || line.rfind("> ", 0) == 0) drives.push_back(line);
    }
    EXPECT_EQ(drives, (std::vector<std::string>{"drive box: clear",
                                                "drive box: add \"A:\"",
                                                "drive box: select 1 \"A:\"",
                                                "> program 2",
                                                "drive box: clear",
                                                "drive box: add \"E:\"",
                                                "drive box: add \"F:\"",
                                                "drive box: select 1 \"E:\"",
                                                "> drive 2",
                                                "drive box: select 2 \"F:\"",
                                                "> program 3",
                                                "drive box: clear",
                                                "drive box: add \"E:\"",
                                                "drive box: add \"F:\"",
                                                "drive box: select 2 \"F:\"",
                                                "> program 1",
                                                "drive box: clear",
                                                "drive box: add \"A:\"",
                                                "drive box: select 1 \"A:\"",
                                                "> exit"}))
        << run.Text();
}

// Off the NT line the refresh does nothing and says so; on it, the list is
// made anew.
TEST(DriveBox, IsLeftAsItWasOffTheNtLine) {
    TestMachine machine;
    machine.InstallPrograms({TestMachine::FloppyProgram("FD")});
    machine.AddSection(
        "[drive A]\ntype = removable\ndevice = floppy 0\n"
        "[floppy 0]\nmedium = absent\ndevice-number = fails\n"
        "[registry SYSTEM\\CurrentControlSet\\Services\\Flpydisk\\Enum]\nCount = dword:1\n");
    RunResult run = RunMainDialog(machine, "exit", [](CTAVEXFDDlg& dialog) {
        DriveList list;
        list.Count = 7;
        TheApp()->m_nPlatformId = 1 /* Windows 9x */;
        EXPECT_EQ(dialog.RefreshDriveList(list), DriveListRefresh::NotNt);
        EXPECT_EQ(list.Count, 7);
        TheApp()->m_nPlatformId = VER_PLATFORM_WIN32_NT;
        EXPECT_EQ(dialog.RefreshDriveList(list), DriveListRefresh::Rebuilt);
        EXPECT_EQ(list.Count, 1);
    });
    EXPECT_TRUE(run.error.empty()) << run.Text();
}

}  // namespace
}  // namespace veldra::testing
