// The Create command end to end on simulated machines: a floppy drive A:
// (a legacy controller) and a USB stick at E:, one program for each, and the
// operator pressing Create and answering its questions. Each row ends with
// its message and status; only the chosen device's image may change, and the
// data file never does.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "tests/records/records_test_support.h"
#include "tests/support/test_machine.h"

namespace veldra::testing {
namespace {

namespace fs = std::filesystem;

constexpr char kStatusCreating[] = "status: \"実行メディアを作成中です。\"";
constexpr char kStatusFailed[] = "status: \"実行メディアの作成が失敗しました。\"";
constexpr char kStatusDone[] = "status: \"実行メディアの作成が完了しました。\"";
constexpr char kWriteError[] = "メディア書き込み中エラーが発生しました。";

std::string InfoBox(const std::string& text, const char* answer) {
    return "message box [information, Yes/No] \"VELDRA\": \"" + text + "\" -> " + answer;
}

// The machine of these tests: A: a legacy floppy drive, E: a USB stick.
class CreateCommand : public ::testing::Test {
protected:
    void SetUp() override {
        Image("fd.img", 1474560);
        Image("stick.img", 8 << 20);
        machine.AddSection(
            "[drive A]\ntype = removable\ndevice = floppy 0\n"
            "[drive E]\ntype = removable\ndevice = disk 1\n"
            "[registry SYSTEM\\CurrentControlSet\\Services\\Flpydisk\\Enum]\nCount = dword:1\n");
    }

    void Image(const std::string& name, std::uint64_t bytes) {
        std::ofstream(machine.Dir() / name, std::ios::binary).close();
        fs::resize_file(machine.Dir() / name, bytes);
    }

    // The devices' sections, with the keys a row adds.
    void Devices(const std::string& floppyKeys, const std::string& stickKeys = "") {
        machine.AddSection("[floppy 0]\nimage = fd.img\ndevice-number = fails\n" + floppyKeys);
        machine.AddSection("[disk 1]\nimage = stick.img\n" + stickKeys);
    }

    // Runs, and checks that the data files did not change.
    RunResult Run(const std::string& actions) { return RunKeepingDataFiles(machine, actions); }

    TestMachine machine;
};

TEST_F(CreateCommand, WithoutAMatchingDriveItSaysSoAndChangesNothing) {
    TestMachine bare;  // no removable drive at all
    bare.InstallPrograms({TestMachine::FloppyProgram("FD"), TestMachine::UsbProgram("USB")});
    RunResult floppy = bare.Run("create, ok, exit");
    EXPECT_TRUE(floppy.Has(StopBox("フロッピーディスク装置の検出ができません。"))) << floppy.Text();
    RunResult usb = bare.Run("program 2, create, ok, exit");
    EXPECT_TRUE(usb.Has(StopBox("USBメモリがありません。"))) << usb.Text();
    EXPECT_FALSE(usb.Has(kStatusCreating)) << usb.Text();
}

// A floppy program whose first entry is a zero fill, then sectors, then a file.
DataFileSpec ZeroFillFirst() {
    DataFileSpec model = TestMachine::FloppyProgram("FD");
    DataFileEntrySpec zero;
    zero.kind = ENTRY_ZERO_FILL;
    zero.startSector = 1;
    zero.size = 2048;
    model.entries.insert(model.entries.begin(), zero);
    return model;
}

struct FloppyRow {
    const char* what;
    std::string floppyKeys;
    std::string extraSections;
    std::string script;
    std::vector<std::string> boxes;  // the message boxes, in order
    bool failed;                     // status 118 at the end
    std::uint64_t sleptMs;           // on the virtual clock
    bool floppyChanged;
    DataFileSpec (*program)();
};

void PrintTo(const FloppyRow& row, std::ostream* out) {
    *out << row.what;
}

DataFileSpec PlainFloppy() {
    return TestMachine::FloppyProgram("FD");
}

class FloppyFailures : public CreateCommand, public ::testing::WithParamInterface<FloppyRow> {};

TEST_P(FloppyFailures, EndWithTheirMessageAndStatus) {
    const FloppyRow& row = GetParam();
    Devices(row.floppyKeys);
    machine.AddSection(row.extraSections);
    machine.InstallPrograms({row.program()});
    std::string before = Slurp(machine.Dir() / "fd.img");
    RunResult run = Run(row.script + ", exit");
    ASSERT_EQ(run.exitCode, 0) << run.Text();
    std::vector<std::string> boxes;
    for (const std::string& line : run.lines) {
        if (line.rfind("message box", 0) == 0) boxes.push_back(line);
    }
    EXPECT_EQ(boxes, row.boxes) << run.Text();
    EXPECT_EQ(run.Has(kStatusFailed), row.failed) << run.Text();
    EXPECT_FALSE(run.Has(kStatusDone)) << run.Text();
    if (row.failed) {
        EXPECT_LT(run.IndexOf(kStatusCreating), run.IndexOf(kStatusFailed));
    }
    EXPECT_EQ(run.sleptMs, row.sleptMs);
    EXPECT_FALSE(machine.Exists("TAVEX/TVLOG.TXT"));
    // Nothing but the floppy may change, and only when writes got through.
    EXPECT_EQ(Slurp(machine.Dir() / "stick.img"), std::string(8 << 20, '\0'));
    EXPECT_EQ(Slurp(machine.Dir() / "fd.img") != before, row.floppyChanged);
}

const std::string kConfirm = "フォーマット済のメディアをドライブ A: に挿入してください。";

const FloppyRow kFloppyRows[] = {
    {"ConfirmationAnsweredNo",
     "",
     "",
     "create, no",
     {InfoBox(kConfirm, "No")},
     false,
     0,
     false,
     PlainFloppy},
    {"NoMediumAfterThreeAttempts",
     "medium = absent\n",
     "",
     "create, yes, ok",
     {InfoBox(kConfirm, "Yes"), StopBox("メディアが挿入されていません。")},
     true,
     2000,
     false,
     PlainFloppy},
    {"DataFileGoneMeanwhile",
     "",
     "[vanishing]\nC:\\TAVEX\\PROG1.DAT = 3\n",
     "create, yes, ok",
     {InfoBox(kConfirm, "Yes"), StopBox("PROG1.DAT が開けません。")},
     true,
     0,
     false,
     PlainFloppy},
    {"EveryAttemptOfADataWriteFails",
     "failing-writes = 1000\n",
     "",
     "create, yes, ok",
     {InfoBox(kConfirm, "Yes"), StopBox(std::string(kWriteError) + "2")},
     true,
     500,
     false,
     PlainFloppy},
    // The driver says so before anything is written: message 247, not 115.
    {"WriteProtectedMedium",
     "write-protected = yes\n",
     "",
     "create, yes, ok",
     {InfoBox(kConfirm, "Yes"),
      StopBox("ドライブ A: のメディアは書き込み禁止になっているため、作成できません。")},
     true,
     2000,
     false,
     PlainFloppy},
    {"AZeroFillWriteFailsAtOnce",
     "failing-writes = 1\n",
     "",
     "create, yes, ok",
     {InfoBox(kConfirm, "Yes"), StopBox(std::string(kWriteError) + "1")},
     true,
     0,
     false,
     ZeroFillFirst},
};

INSTANTIATE_TEST_SUITE_P(Rows, FloppyFailures, ::testing::ValuesIn(kFloppyRows),
                         [](const auto& info) { return std::string(info.param.what); });

}  // namespace
}  // namespace veldra::testing
