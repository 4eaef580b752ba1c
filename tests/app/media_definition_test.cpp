// The media definition file on a simulated machine: refused lists, the
// preselection, long entry values, the writer settings, and what the dialog
// does when its own set-up fails.
#include <gtest/gtest.h>

#include "tests/support/main_dialog_harness.h"
#include "tests/support/test_machine.h"
#include "tests/support/three_programs.h"

namespace veldra::testing {
namespace {

constexpr char kInvalidIni[] =
    "message box [stop, OK] \"VELDRA\": \"TAVEXMEDIA.INI が存在しないか、正しくありません。 \" -> "
    "OK";

// The last line of the program box's selection, or "".
std::string LastProgramSelection(const RunResult& run) {
    std::string last;
    for (const std::string& line : run.lines) {
        if (line.rfind("program box: select ", 0) == 0) last = line;
    }
    return last;
}

class MediaDefinition : public ThreePrograms {};

TEST(MediaDefinitionMissing, RefusedAndLeftBehindHoldingOnlyTheSelection) {
    TestMachine machine;
    RunResult run = machine.Run("ok");
    EXPECT_EQ(run.exitCode, 0) << run.Text();
    EXPECT_EQ(run.Count("message box"), 1) << run.Text();
    EXPECT_TRUE(run.Has(kInvalidIni)) << run.Text();
    EXPECT_TRUE(run.Has("dialog \"VELDRA\" closes unseen (2)")) << run.Text();
    EXPECT_EQ(machine.Ini(), "[FILE]\r\nFILENO=0\r\n");
}

class RefusedList : public MediaDefinition,
                    public ::testing::WithParamInterface<std::vector<std::string>> {};

TEST_P(RefusedList, ShowsOneMessageAndEnds) {
    machine.WriteIni(GetParam());
    RunResult run = machine.Run("ok");
    EXPECT_EQ(run.exitCode, 0) << run.Text();
    EXPECT_EQ(run.Count("message box"), 1) << run.Text();
    EXPECT_TRUE(run.Has(kInvalidIni)) << run.Text();
    EXPECT_FALSE(run.Has("create button: enabled")) << run.Text();
    EXPECT_TRUE(run.Has("dialog \"VELDRA\" closes")) << run.Text();
}

INSTANTIATE_TEST_SUITE_P(
    Table, RefusedList,
    ::testing::Values(std::vector<std::string>{"[FILE]", "FILE1=PROG1.DAT"},
                      std::vector<std::string>{"[FILE]", "FILES=0", "FILE1=PROG1.DAT"},
                      std::vector<std::string>{"[FILE]", "FILES=-2", "FILE1=PROG1.DAT"},
                      std::vector<std::string>{"[OTHER]", "FILES=1", "FILE1=PROG1.DAT"},
                      std::vector<std::string>{"[FILE]", "FILES=3", "FILE1=PROG1.DAT",
                                               "FILE3=PROG3.DAT"},
                      std::vector<std::string>{"[FILE]", "FILES=2", "FILE1=PROG1.DAT", "FILE2="}));

struct PreselectionCase {
    int fileNo;
    int selected;
    const char* name;
};

void PrintTo(const PreselectionCase& c, std::ostream* os) {
    *os << "FILENO=" << c.fileNo;
}

class Preselection : public MediaDefinition,
                     public ::testing::WithParamInterface<PreselectionCase> {};

TEST_P(Preselection, OutOfRangeMeansTheFirstProgram) {
    machine.InstallPrograms({TestMachine::FloppyProgram("フロッピー版"),
                             TestMachine::UsbProgram("USB版"), TestMachine::FloppyProgram("予備")},
                            GetParam().fileNo);
    RunResult run = machine.Run("exit");
    ASSERT_EQ(run.exitCode, 0) << run.Text();
    EXPECT_FALSE(run.Has("message box")) << run.Text();
    EXPECT_EQ(LastProgramSelection(run), "program box: select " +
                                             std::to_string(GetParam().selected) + " \"" +
                                             GetParam().name + "\"")
        << run.Text();
    EXPECT_NE(machine.Ini().find("FILENO=" + std::to_string(GetParam().selected) + "\r\n"),
              std::string::npos)
        << machine.Ini();
}

INSTANTIATE_TEST_SUITE_P(Table, Preselection,
                         ::testing::Values(PreselectionCase{0, 1, "フロッピー版"},
                                           PreselectionCase{-1, 1, "フロッピー版"},
                                           PreselectionCase{4, 1, "フロッピー版"},
                                           PreselectionCase{99, 1, "フロッピー版"},
                                           PreselectionCase{2, 2, "USB版"},
                                           PreselectionCase{3, 3, "予備"}));

TEST_F(MediaDefinition, AnEntryValueIsCutTo63CharactersBeforeThePathIsBuilt) {
    const std::string cut = std::string(59, 'N') + ".DAT";
    ASSERT_EQ(cut.size(), 63u);
    machine.WriteDataFile("TAVEX/" + cut, TestMachine::FloppyProgram("長い名前"));
    machine.WriteIni({"[FILE]", "FILES=1", "FILE1=" + cut + "REMOVED"});
    RunResult run = machine.Run("exit");
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_FALSE(run.Has("message box")) << run.Text();
    EXPECT_TRUE(run.Has("program box: add \"長い名前\"")) << run.Text();
    EXPECT_TRUE(run.Has("create button: enabled")) << run.Text();
}

TEST_F(MediaDefinition, AFileUnderTheUncutNameIsNotFound) {
    const std::string full = std::string(59, 'N') + ".DATREMOVED";
    machine.WriteDataFile("TAVEX/" + full, TestMachine::FloppyProgram("長い名前"));
    machine.WriteIni({"[FILE]", "FILES=1", "FILE1=" + full});
    RunResult run = machine.Run("ok");
    EXPECT_TRUE(run.Has("\"" + full.substr(0, 63) + " が開けません。\" -> OK")) << run.Text();
}

TEST_F(MediaDefinition, NoMemoryForTheWorkBufferEndsTheProgram) {
    machine.SetSystem("heap", "fails");
    RunResult run = machine.Run("ok");
    EXPECT_EQ(run.exitCode, 0) << run.Text();
    EXPECT_TRUE(run.Has("message box [stop, OK] \"VELDRA\": \"メモリ不足です。\" -> OK"))
        << run.Text();
    EXPECT_FALSE(run.Has("program box: add")) << run.Text();
    EXPECT_TRUE(run.Has("dialog \"VELDRA\" closes unseen (2)")) << run.Text();
    EXPECT_NE(machine.Ini().find("FILENO=0\r\n"), std::string::npos) << machine.Ini();
}

class NoVersionItem : public MediaDefinition, public ::testing::WithParamInterface<const char*> {};

TEST_P(NoVersionItem, IsNoErrorAndTheVersionDialogCannotBeReached) {
    machine.AddSection(GetParam());
    RunResult run = machine.Run("exit");
    EXPECT_EQ(run.exitCode, 0) << run.Text();
    EXPECT_FALSE(run.Has("system menu")) << run.Text();
    EXPECT_FALSE(run.Has("message box")) << run.Text();
    EXPECT_TRUE(run.Has("create button: enabled")) << run.Text();

    RunResult about = machine.Run("about");
    EXPECT_EQ(about.exitCode, 3);
    EXPECT_NE(about.error.find("no version item"), std::string::npos) << about.error;
}

INSTANTIATE_TEST_SUITE_P(Cases, NoVersionItem,
                         ::testing::Values("[strings]\n101 =", "[system]\nsystem-menu = no"));

struct WriterSettingsCase {
    std::vector<std::string> lines;
    int delay;
    int retry;
};

void PrintTo(const WriterSettingsCase& c, std::ostream* os) {
    for (const std::string& line : c.lines) *os << line << ' ';
}

class WriterSettings : public MediaDefinition,
                       public ::testing::WithParamInterface<WriterSettingsCase> {};

TEST_P(WriterSettings, TooSmallValuesTakeTheDefaults) {
    std::vector<std::string> ini = {"[FILE]", "FILES=1", "FILE1=PROG1.DAT"};
    ini.insert(ini.end(), GetParam().lines.begin(), GetParam().lines.end());
    machine.WriteIni(ini);
    int delay = -1;
    int retry = -1;
    RunResult run = RunMainDialog(machine, "exit", [&](const CTAVEXFDDlg& dialog) {
        delay = dialog.m_nWriteDelay;
        retry = dialog.m_nWriteRetry;
    });
    ASSERT_TRUE(run.error.empty()) << run.Text();
    ASSERT_FALSE(run.Has("message box")) << run.Text();
    EXPECT_EQ(delay, GetParam().delay);
    EXPECT_EQ(retry, GetParam().retry);
}

INSTANTIATE_TEST_SUITE_P(
    Table, WriterSettings,
    ::testing::Values(
        WriterSettingsCase{{}, 100, 5}, WriterSettingsCase{{"WRITEDELAY=49"}, 100, 5},
        WriterSettingsCase{{"WRITEDELAY=50"}, 50, 5}, WriterSettingsCase{{"WRITEDELAY=0"}, 100, 5},
        WriterSettingsCase{{"WRITEDELAY=1500"}, 1500, 5},
        WriterSettingsCase{{"WRITEDELAY=slow"}, 100, 5},
        WriterSettingsCase{{"WRITERETRY=4"}, 100, 5}, WriterSettingsCase{{"WRITERETRY=0"}, 100, 5},
        WriterSettingsCase{{"WRITERETRY=-3"}, 100, 5}, WriterSettingsCase{{"WRITERETRY=6"}, 100, 6},
        WriterSettingsCase{{"writedelay=75", "writeretry=9"}, 75, 9}));

}  // namespace
}  // namespace veldra::testing
