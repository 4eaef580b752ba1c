// Whole creations on simulated machines, from the example machine's data
// files onto a formatted floppy at A: and a blank USB stick at E:: what
// succeeds, what each failure shows and leaves, judged by fsck.fat and mtools
// as well as by the transcript.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <tuple>

#include "host/cp932.h"
#include "records/data_file_format.h"
#include "tests/platform/fat_medium.h"
#include "tests/records/records_test_support.h"
#include "tests/support/test_machine.h"

namespace veldra::testing {
namespace {

namespace fs = std::filesystem;
using sim::testing::Shell;
using sim::testing::ToolPath;

constexpr char kDone[] = "status: \"実行メディアの作成が完了しました。\"";
constexpr char kFailed[] = "status: \"実行メディアの作成が失敗しました。\"";
constexpr char kFloppyYes[] =
    "message box [information, Yes/No] \"VELDRA\": \"フォーマット済のメディアをドライブ A: "
    "に挿入してください。\" -> Yes";
constexpr std::uint64_t kStickBytes = 40 << 20;
constexpr const char kXp[] = "5.1.2600", kSeven[] = "6.1.7601", kTen[] = "10.0.19045";

// A table row's name and the Windows it runs on.
constexpr auto RowOnVersion = [](const auto& info) {
    const char* version = std::get<1>(info.param);
    return std::string(std::get<0>(info.param).what) + (version == kXp      ? "OnXp"
                                                        : version == kSeven ? "OnWindows7"
                                                                            : "OnWindows10");
};

// text with every `from` in it replaced by `to`.
std::string Put(std::string text, const std::string& from, const std::string& to) {
    for (std::size_t at; (at = text.find(from)) != std::string::npos;)
        text.replace(at, from.size(), to);
    return text;
}

std::string ExampleDataFile(const char* name) {
    return Slurp(fs::path(VELDRA_EXAMPLE_MACHINE) / "C" / "TAVEX" / name);
}

// The example file with one header byte changed, sealed again.
std::string WithHeaderByte(std::string bytes, std::size_t offset, BYTE value) {
    bytes[offset] = static_cast<char>(value);
    std::span<const BYTE, HDR_SIZE> header(reinterpret_cast<const BYTE*>(bytes.data()), HDR_SIZE);
    WriteLe32(reinterpret_cast<BYTE*>(bytes.data()) + HDR_OFFSET_CHECKSUM,
              ComputeHeaderChecksum(header));
    return bytes;
}

class CreateMedia : public ::testing::Test {
protected:
    void SetUp() override {
        if (ToolPath("mkfs.fat").empty() || ToolPath("mdir").empty())
            GTEST_SKIP() << "needs dosfstools and mtools";
        ASSERT_EQ(Shell(ToolPath("mkfs.fat") + " -C " + Image("fd.img") + " 1440"), 0);
        std::ofstream(Image("stick.img"), std::ios::binary).close();
        fs::resize_file(Image("stick.img"), kStickBytes);
        machine.AddSection(
            "[drive A]\ntype = removable\ndevice = floppy 0\n"
            "[drive E]\ntype = removable\ndevice = disk 1\n"
            "[registry SYSTEM\\CurrentControlSet\\Services\\Flpydisk\\Enum]\nCount = dword:1\n");
        machine.WriteFile("TAVEX/FD.DAT", ExampleDataFile("NOVUSFD.DAT"));
        machine.WriteFile("TAVEX/USB.DAT", ExampleDataFile("NOVUSUSB.DAT"));
        machine.WriteIni({"[FILE]", "FILES=2", "FILE1=FD.DAT", "FILE2=USB.DAT", "FILENO=1"});
    }

    std::string Image(const std::string& name) const { return (machine.Dir() / name).string(); }
    void Devices(const std::string& floppyKeys, const std::string& stickKeys = "") {
        machine.AddSection("[floppy 0]\nimage = fd.img\ndevice-number = fails\n" + floppyKeys +
                           "[disk 1]\nimage = stick.img\n" + stickKeys);
    }
    // The stick's partition as a file of its own, for fsck.fat.
    std::string StickPartition() {
        std::string bytes = Slurp(Image("stick.img")).substr(2048 * 512, 32 << 20);
        std::ofstream(Image("part.img"), std::ios::binary) << bytes;
        return Image("part.img");
    }

    TestMachine machine;
};

TEST_F(CreateMedia, AFloppyGetsTheImageTheFilesTheStampAndALogEntry) {
    Devices("");
    std::string stick = Slurp(Image("stick.img"));
    RunResult run = RunKeepingDataFiles(machine, "create, yes, exit");
    ASSERT_TRUE(run.Has(kDone)) << run.Text();
    EXPECT_EQ(run.Count("message box"), 1) << run.Text();
    EXPECT_EQ(Shell(ToolPath("fsck.fat") + " -n " + Image("fd.img")), 0);
    // The boot sector as it was assembled, before any data file held it.
    EXPECT_EQ(Slurp(Image("fd.img")).substr(0, 512),
              Slurp(fs::path(VELDRA_EXAMPLE_MACHINE) / "../manifests/boot/floppy_boot.bin"));
    std::string listing = Mtools("mdir", Image("fd.img"), "-a ::/");
    EXPECT_NE(listing.find("README   TXT"), std::string::npos) << listing;
    // The stamp, also on NOVUS.CFG, whose own time is 2004-03-15.
    std::string cfg = listing.substr(listing.find("NOVUS    CFG"));
    EXPECT_NE(cfg.substr(0, cfg.find('\n')).find("2004-04-01   9:00"), std::string::npos)
        << listing;
    std::string attributes = Mtools("mattrib", Image("fd.img"), "::/*");
    EXPECT_EQ(attributes, "  A    R     ::/README.TXT\n  A    R     ::/NOVUS.CFG\n");
    EXPECT_EQ(Mtools("mtype", Image("fd.img"), "::/NOVUS.CFG"),
              Slurp(fs::path(VELDRA_SOURCE_DIR) / "examples/manifests/novusfd/NOVUS.CFG"));
    EXPECT_EQ(Slurp(Image("stick.img")), stick) << "only the chosen device changes";
    std::string log = host::Cp932ToUtf8(machine.ReadFile("TAVEX/TVLOG.TXT")).value_or("");
    EXPECT_NE(log.find("  プログラム名：NOVUS-KT フロッピー版\r\n"), std::string::npos) << log;
}

TEST_F(CreateMedia, AUsbStickGetsItsPartitionAndFilesWithTheirOwnTimes) {
    Devices("");
    std::string floppy = Slurp(Image("fd.img"));
    RunResult run = RunKeepingDataFiles(machine, "program 2, create, yes, ok, exit");
    ASSERT_TRUE(run.Has(kDone)) << run.Text();
    EXPECT_EQ(Shell(ToolPath("fsck.fat") + " -n " + StickPartition()), 0);
    std::string listing = Mtools("mdir", Image("stick.img") + "@@1M", "-a ::/");
    EXPECT_NE(listing.find("NOVUS    CFG"), std::string::npos) << listing;
    EXPECT_NE(listing.find("2004-03-15  12:30"), std::string::npos) << listing;
    EXPECT_EQ(Mtools("mattrib", Image("stick.img") + "@@1M", "::/NOVUS.CFG"),
              "  A          ::/NOVUS.CFG\n");  // no stamp, no read-only on a stick
    EXPECT_EQ(Slurp(Image("fd.img")), floppy) << "only the chosen device changes";
    EXPECT_TRUE(machine.Exists("TAVEX/TVLOG.TXT"));
}

// On a Japanese PC the FAT driver stores the data file's times (UTC) nine
// hours on, as local time.
TEST_F(CreateMedia, FileTimesOnTheStickAreTheMachinesLocalTime) {
    Devices("");
    machine.SetSystem("time-zone", "+09:00");
    RunResult run = RunKeepingDataFiles(machine, "program 2, create, yes, ok, exit");
    ASSERT_TRUE(run.Has(kDone)) << run.Text();
    std::string listing = Mtools("mdir", Image("stick.img") + "@@1M", "-a ::/");
    EXPECT_NE(listing.find("2004-03-15  21:30"), std::string::npos) << listing;
}

// FAT refuses both times; the program does not look at SetFileTime's
// result, and the file keeps the time it was written (the machine's clock).
// A hidden and a read-only file the floppy held already are left as they were.
TEST_F(CreateMedia, TimesFatCannotHoldLeaveTheFilesTheirOwnAndTheRunSucceeds) {
    Devices("");
    DataFileSpec program = TestMachine::FloppyProgram("TIMES");
    program.entries.erase(program.entries.begin());  // keeps the medium's own file system
    program.entries[0].fileTime = sim::testing::FileTimeOf(2108, 1, 1, 0, 0, 0, 0);
    program.fileStamp = sim::testing::FileTimeOf(1979, 6, 1, 0, 0, 0, 0);
    machine.WriteDataFile("TAVEX/FD.DAT", program);
    ASSERT_EQ(Shell("export MTOOLS_SKIP_CHECK=1; cd " + machine.Dir().string() +
                    " && echo h > H.TXT && echo r > R.TXT && mcopy -i fd.img H.TXT R.TXT ::/ && "
                    "mattrib -i fd.img +h ::/H.TXT && mattrib -i fd.img +r ::/R.TXT"),
              0);
    std::string kept = Mtools("mattrib", Image("fd.img"), "::/?.TXT");
    RunResult run = RunKeepingDataFiles(machine, "create, yes, exit");
    ASSERT_TRUE(run.Has(kDone)) << run.Text();
    EXPECT_EQ(Shell(ToolPath("fsck.fat") + " -n " + Image("fd.img")), 0);
    std::string listing = Mtools("mdir", Image("fd.img"), "-a ::/");
    EXPECT_NE(listing.find("README   TXT        10 2010-03-09  14:05"), std::string::npos)
        << listing;
    EXPECT_EQ(Mtools("mattrib", Image("fd.img"), "::/?.TXT"), kept);
    EXPECT_EQ(Mtools("mattrib", Image("fd.img"), "::/README.TXT"), "  A    R     ::/README.TXT\n");
}

// A creation that takes its time (6 s before each write, longer than the
// system waits before it takes a window for hung): on XP and on a
// Vista-class machine alike the progress reaches the screen step by step while
// it runs, the window never turns into its "not responding" ghost, and a second
// press of Create made meanwhile does not start another creation.
class LongCreation : public CreateMedia, public ::testing::WithParamInterface<const char*> {};

TEST_P(LongCreation, ShowsItsProgressStaysRespondingAndDropsClicksMadeMeanwhile) {
    Devices("");
    machine.SetSystem("version", GetParam());
    machine.WriteIni(
        {"[FILE]", "FILES=2", "FILE1=FD.DAT", "FILE2=USB.DAT", "FILENO=1", "WRITEDELAY=6000"});
    RunResult run = RunKeepingDataFiles(machine, "create, yes, meanwhile create, exit");
    ASSERT_EQ(run.exitCode, 0) << run.Text();
    EXPECT_TRUE(run.Has(kDone)) << run.Text();
    EXPECT_GT(run.sleptMs, 5000u);
    EXPECT_FALSE(run.Has("not responding")) << run.Text();
    // The bar moves one step at a time, each shown before the run ends.
    int at = -1;
    for (int step = 1; step <= 7; ++step) {
        int shown = run.IndexOf("progress: " + std::to_string(step) + "/7", at + 1);
        EXPECT_GT(shown, at) << step << "\n" << run.Text();
        at = shown;
    }
    EXPECT_LT(at, run.IndexOf("cursor: arrow")) << run.Text();
    EXPECT_TRUE(run.Has("> meanwhile create")) << run.Text();
    EXPECT_EQ(run.Count(kFloppyYes), 1) << run.Text();
    EXPECT_EQ(Shell(ToolPath("fsck.fat") + " -n " + Image("fd.img")), 0);
}

INSTANTIATE_TEST_SUITE_P(Versions, LongCreation, ::testing::Values(kXp, kSeven));

// A slot past the entry count is not the program's: NOVUS.CFG is neither
// copied nor read back.
TEST_F(CreateMedia, SlotsPastTheEntryCountAreLeftAlone) {
    Devices("");
    machine.WriteFile("TAVEX/FD.DAT",
                      WithHeaderByte(ExampleDataFile("NOVUSFD.DAT"), HDR_OFFSET_ENTRY_COUNT, 5));
    machine.WriteIni({"[FILE]", "FILES=1", "FILE1=FD.DAT", "FILENO=1", "VERIFY=1"});
    RunResult run = RunKeepingDataFiles(machine, "create, yes, exit");
    ASSERT_TRUE(run.Has(kDone)) << run.Text();
    EXPECT_EQ(Shell(ToolPath("fsck.fat") + " -n " + Image("fd.img")), 0);
    EXPECT_EQ(Mtools("mdir", Image("fd.img"), "-b ::/"), "::/README.TXT\n");
}

// Nor is a sector entry past the count: its sector 101 is neither written,
// nor read back, nor taken for one written again over entry 0's, which the
// device stores altered in the second run.
class SlotPastTheCount : public CreateMedia, public ::testing::WithParamInterface<bool> {};

TEST_P(SlotPastTheCount, IsNeitherWrittenNorReadBack) {
    bool corrupt = GetParam();
    DataFileSpec program = TestMachine::FloppyProgram("外");  // sectors, README.TXT
    program.entries[0].startSector = 101;
    program.entries.push_back(program.entries[0]);
    program.entries[2].payload.assign(512, 'X');
    std::vector<BYTE> bytes = BuildDataFile(program);
    machine.WriteFile("TAVEX/FD.DAT", WithHeaderByte(std::string(bytes.begin(), bytes.end()),
                                                     HDR_OFFSET_ENTRY_COUNT, 2));
    machine.WriteIni({"[FILE]", "FILES=1", "FILE1=FD.DAT", "FILENO=1", "VERIFY=1"});
    Devices(corrupt ? "corrupt-writes = 1\n" : "");
    RunResult run =
        RunKeepingDataFiles(machine, corrupt ? "create, yes, ok, exit" : "create, yes, exit");
    EXPECT_EQ(run.Has(StopBox("entry 0 の検証中に相違が見つかりました。")), corrupt) << run.Text();
    std::string sector = Slurp(Image("fd.img")).substr(101 * 512, 512);
    EXPECT_EQ(sector.substr(1), std::string(511, '\xF6'));
    EXPECT_EQ(sector[0], corrupt ? '\x09' : '\xF6');
}

INSTANTIATE_TEST_SUITE_P(StoredAltered, SlotPastTheCount, ::testing::Bool());

// Read-back skips only the sectors a later entry wrote again: entry 1 ends
// where entry 0 begins, so entry 0's first sector, stored altered by the
// device, is still its own to check.
TEST_F(CreateMedia, ReadBackChecksTheSectorJustPastALaterEntry) {
    Devices("corrupt-writes = 1\n");
    DataFileSpec program = TestMachine::FloppyProgram("隣");
    program.entries.resize(1);
    program.entries[0].startSector = 100;
    program.entries[0].payload.assign(1024, 'A');
    program.entries.push_back(program.entries[0]);
    program.entries[1].startSector = 99;
    program.entries[1].payload.assign(512, 'B');
    machine.WriteDataFile("TAVEX/FD.DAT", program);
    machine.WriteIni({"[FILE]", "FILES=1", "FILE1=FD.DAT", "FILENO=1", "VERIFY=1"});
    RunResult run = RunKeepingDataFiles(machine, "create, yes, ok, exit");
    EXPECT_TRUE(run.Has(StopBox("entry 0 の検証中に相違が見つかりました。"))) << run.Text();
    EXPECT_TRUE(run.Has(kFailed)) << run.Text();
}

// A file of an entry's name is replaced, by a later entry or on the medium,
// whatever its attributes, and only the last is read back; names compare as
// the root directory does: ASCII without case, double-byte characters as they
// are (表 ends in the byte of a backslash), and without the trailing dots and
// blanks Windows drops.
TEST_F(CreateMedia, FilesOfTheSameNameAreReplacedAndOnlyTheLastIsReadBack) {
    Devices("");
    DataFileSpec program = TestMachine::FloppyProgram("TWICE");
    program.entries.erase(program.entries.begin());  // keeps the medium's own file system
    program.entries[0].fileName = Sjis("表.txt");
    program.entries.push_back(program.entries[0]);
    program.entries[1].fileName = Sjis("表.TXT");
    program.entries[1].payload = {'B'};
    program.entries.push_back(program.entries[1]);
    program.entries[2].fileName = "old.sys";
    // Windows drops the trailing dot and blank: the same file again.
    program.entries.push_back(program.entries[0]);
    program.entries[3].fileName = "SHORT.TXT";
    program.entries.push_back(program.entries[3]);
    program.entries[4].fileName = "short.txt. ";
    program.entries[4].payload = {'A', 'B', 'C'};
    program.fileStamp = FILETIME{0, 0x01C4FECC};  // 2005-01-20 08:42:40: a low half of zero
    ASSERT_EQ(Shell("export MTOOLS_SKIP_CHECK=1; cd " + machine.Dir().string() +
                    " && echo old > OLD.SYS && mcopy -i fd.img OLD.SYS ::/ && "
                    "mattrib -i fd.img +r +h +s ::/OLD.SYS"),
              0);
    machine.WriteDataFile("TAVEX/FD.DAT", program);
    machine.WriteIni({"[FILE]", "FILES=1", "FILE1=FD.DAT", "FILENO=1", "VERIFY=1"});
    RunResult run = RunKeepingDataFiles(machine, "create, yes, exit");
    EXPECT_TRUE(run.Has(kDone)) << run.Text();
    EXPECT_EQ(Mtools("mtype", Image("fd.img"), "::/OLD.SYS"), "B");
    EXPECT_EQ(Mtools("mtype", Image("fd.img"), "::/SHORT.TXT"), "ABC");
    // 1 + five entries + five read-backs: each replaced file's read-back is
    // a step too, though nothing is read.
    EXPECT_TRUE(run.Has("progress: 11/11")) << run.Text();
    EXPECT_EQ(Mtools("mattrib", Image("fd.img"), "::/OLD.SYS"), "  A    R     ::/OLD.SYS\n");
    std::string listing = Mtools("mdir", Image("fd.img"), "-a ::/");
    EXPECT_NE(listing.find("OLD      SYS         1 2005-01-20   8:42"), std::string::npos)
        << listing;
}

// Names of one length that differ are other files, whether in an ASCII
// letter or in a double-byte character's second byte (one that is an ASCII
// letter's, even as the name's last): the first file, stored altered, is
// read back, not taken for one a later entry replaced.
TEST_F(CreateMedia, NamesThatDifferAreFilesOfTheirOwnToReadBack) {
    Devices("corrupt-file-writes = 1\n");
    DataFileSpec program = TestMachine::FloppyProgram("三つ");
    program.entries.erase(program.entries.begin());
    const char* names[] = {"A\x83\x61", "A\x83\x41", "B\x83\x61"};  // "Aヂ", "Aア", "Bヂ"
    program.entries.resize(3, program.entries[0]);
    for (int i = 0; i < 3; ++i) program.entries[static_cast<std::size_t>(i)].fileName = names[i];
    machine.WriteDataFile("TAVEX/FD.DAT", program);
    machine.WriteIni({"[FILE]", "FILES=1", "FILE1=FD.DAT", "FILENO=1", "VERIFY=1"});
    RunResult run = RunKeepingDataFiles(machine, "create, yes, ok, exit");
    EXPECT_TRUE(run.Has(StopBox("Aヂ の検証中に相違が見つかりました。"))) << run.Text();
}

// Every one of the data file's 37 slots in use: the floppy's last sector
// first, then 36 files, the last of which the device stores altered. All are
// written, and read-back reaches the last slot.
TEST_F(CreateMedia, EverySlotInUseIsWrittenAndReadBack) {
    Devices("corrupt-file-writes = 36\n");
    DataFileSpec program = TestMachine::FloppyProgram("満");
    program.entries[0].startSector = 2879;
    program.entries.resize(37, program.entries[1]);
    for (int i = 1; i < 37; ++i) {
        std::string name = "F" + std::to_string(100 + i).substr(1) + ".TXT";
        program.entries[static_cast<std::size_t>(i)].fileName = name;
        program.entries[static_cast<std::size_t>(i)].payload.assign(name.begin(), name.end());
    }
    machine.WriteDataFile("TAVEX/FD.DAT", program);
    machine.WriteIni({"[FILE]", "FILES=1", "FILE1=FD.DAT", "FILENO=1", "VERIFY=1"});
    RunResult run = RunKeepingDataFiles(machine, "create, yes, ok, exit");
    EXPECT_TRUE(run.Has(StopBox("F36.TXT の検証中に相違が見つかりました。"))) << run.Text();
    EXPECT_EQ(Slurp(Image("fd.img")).substr(2879 * 512), std::string(512, '\xF6'));
    EXPECT_EQ(Mtools("mtype", Image("fd.img"), "::/F35.TXT"), "F35.TXT");
    EXPECT_EQ(Shell(ToolPath("fsck.fat") + " -n " + Image("fd.img")), 0);
}

// A name that is the short name of an earlier entry's long one opens that
// file and replaces it: the earlier entry's file no longer ends where its
// data does, and read-back says so.
TEST_F(CreateMedia, AShortNameThatReplacesAnEarlierLongOnesFileIsFoundAtReadBack) {
    Devices("");
    DataFileSpec program = TestMachine::FloppyProgram("別名");
    program.entries.erase(program.entries.begin());
    program.entries[0].fileName = "LONGNAME1.TXT";
    program.entries[0].payload = {'A', 'B'};
    program.entries.push_back(program.entries[0]);
    program.entries[1].fileName = "LONGNA~1.TXT";
    program.entries[1].payload = {'A', 'B', 'C'};
    machine.WriteDataFile("TAVEX/FD.DAT", program);
    machine.WriteIni({"[FILE]", "FILES=1", "FILE1=FD.DAT", "FILENO=1", "VERIFY=1"});
    RunResult run = RunKeepingDataFiles(machine, "create, yes, ok, exit");
    EXPECT_EQ(Mtools("mtype", Image("fd.img"), "::/LONGNAME1.TXT"), "ABC");
    EXPECT_TRUE(run.Has(StopBox("LONGNAME1.TXT の検証中に相違が見つかりました。"))) << run.Text();
    EXPECT_TRUE(run.Has(kFailed)) << run.Text();
}

TEST_F(CreateMedia, OnlyContentKindZeroIsLogged) {
    Devices("");
    machine.WriteFile("TAVEX/FD.DAT",
                      WithHeaderByte(ExampleDataFile("NOVUSFD.DAT"), HDR_OFFSET_CONTENT_KIND, 128));
    RunResult run = RunKeepingDataFiles(machine, "create, yes, exit");
    ASSERT_TRUE(run.Has(kDone)) << run.Text();
    EXPECT_FALSE(machine.Exists("TAVEX/TVLOG.TXT"));
}

TEST_F(CreateMedia, AWriteThatFailsTwiceCostsThreeDelaysAndLeavesNoTrace) {
    Devices("failing-writes = 2\n");
    RunResult run = RunKeepingDataFiles(machine, "create, yes, exit");
    ASSERT_TRUE(run.Has(kDone)) << run.Text();
    // Four data chunks (boot sector, two FAT starts, the boot sector again)
    // at 100 ms each, and two more delays for the retries.
    EXPECT_EQ(run.sleptMs, 600u);
    EXPECT_EQ(Shell(ToolPath("fsck.fat") + " -n " + Image("fd.img")), 0);
}

// Sticks that come and go while the program runs: D: (not plugged in at
// first) before E: and F: in the drive box.
class SticksComingAndGoing : public CreateMedia {
protected:
    void SetUp() override {
        CreateMedia::SetUp();
        if (IsSkipped()) return;
        for (const char* name : {"d.img", "f.img"}) {
            std::ofstream(Image(name), std::ios::binary).close();
            fs::resize_file(Image(name), 8 << 20);
        }
        Devices("");
        machine.AddSection(
            "[drive D]\ntype = removable\ndevice = disk 2\n[disk 2]\nimage = d.img\nplugged = no\n"
            "[drive F]\ntype = removable\ndevice = disk 3\n[disk 3]\nimage = f.img\n");
    }
};

// The letter picked stays picked, though it moves down a line and back.
// A serial port coming and going is no volume: the box stays as it is.
TEST_F(SticksComingAndGoing, AStickPluggedInIsListedAndGoesWhenPulledOut) {
    RunResult run = RunKeepingDataFiles(
        machine, "program 2, drive 2, plug-port COM3, unplug-port COM3, plug D, unplug D, exit");
    ASSERT_EQ(run.exitCode, 0) << run.Text();
    int plugged = run.IndexOf("> plug D");
    int unplugged = run.IndexOf("> unplug D");
    ASSERT_GT(plugged, 0) << run.Text();
    EXPECT_EQ(run.IndexOf("> unplug-port COM3"), plugged - 1) << run.Text();
    EXPECT_EQ(run.IndexOf("drive box: add \"D:\""), plugged + 2) << run.Text();
    int reselected = run.IndexOf("drive box: select 3 \"F:\"", plugged);
    EXPECT_GT(reselected, plugged) << run.Text();
    EXPECT_LT(reselected, unplugged) << run.Text();
    EXPECT_EQ(run.IndexOf("drive box: add \"D:\"", unplugged), -1) << run.Text();
    EXPECT_GT(run.IndexOf("drive box: select 2 \"F:\"", unplugged), unplugged) << run.Text();
}

// The creation's message boxes run loops that take the news; the box is
// refilled only once the creation has ended.
TEST_F(SticksComingAndGoing, AStickPluggedInDuringACreationIsListedAfterIt) {
    RunResult run = RunKeepingDataFiles(machine, "program 2, create, plug D, yes, ok, exit");
    ASSERT_TRUE(run.Has(kDone)) << run.Text();
    int plugged = run.IndexOf("> plug D");
    int done = run.IndexOf(kDone);
    ASSERT_GT(plugged, 0) << run.Text();
    EXPECT_EQ(run.IndexOf("drive box:", plugged), run.IndexOf("drive box: clear", done))
        << run.Text();
    EXPECT_GT(run.IndexOf("drive box: add \"D:\"", done), done) << run.Text();
}

// While the dialog waits, the prompt is Windows's own; answered "format", it
// wipes what the stick held.
TEST_F(SticksComingAndGoing, AutoPlaysFormatPromptWipesAStickItDoesNotKnow) {
    machine.SetSystem("version", "6.1.7601");
    std::ofstream(Image("d.img"), std::ios::binary) << std::string(1 << 20, 'N');
    fs::resize_file(Image("d.img"), 8 << 20);
    RunResult run = RunKeepingDataFiles(machine, "plug D, format-prompt format, exit");
    ASSERT_EQ(run.exitCode, 0) << run.Text();
    EXPECT_GT(run.IndexOf("AutoPlay prompt [Format disk/Cancel]"), run.IndexOf("> plug D"))
        << run.Text();
    EXPECT_TRUE(run.Has("AutoPlay formats D:")) << run.Text();
    EXPECT_EQ(Slurp(Image("d.img")).substr(0, 512), std::string(512, '\0'));
}

// A live system's image (a hybrid ISO, a Linux partition) gives the stick a
// volume Windows knows no file system for: it arrives between the passes, and
// AutoPlay would offer to format it while the program still writes. The
// program holds the prompt off; the stick keeps every byte of the image.
// The table is written in the first pass only, or in the final pass as well.
class FormatPromptDuringACreation
    : public CreateMedia,
      public ::testing::WithParamInterface<std::tuple<const char*, BYTE>> {};

TEST_P(FormatPromptDuringACreation, IsHeldOffAndTheImageStays) {
    machine.SetSystem("version", std::get<0>(GetParam()));
    Devices("");
    std::vector<BYTE> table(512, 0);
    const BYTE partition[16] = {0x80, 0, 0, 0, 0x83, 0, 0, 0, 64, 0, 0, 0, 0, 8, 0, 0};
    std::copy(std::begin(partition), std::end(partition), table.begin() + 446);
    table[510] = 0x55, table[511] = 0xAA;
    DataFileSpec live = TestMachine::UsbProgram("ライブ");
    live.entries.resize(2);
    live.entries[0].startSector = 64;
    live.entries[0].payload.assign(2048 * 512, 'L');
    live.entries[1].kind = std::get<1>(GetParam());
    live.entries[1].payload = table;
    machine.InstallPrograms({live});
    RunResult run = RunKeepingDataFiles(machine, "create, yes, ok, exit");
    ASSERT_TRUE(run.Has(kDone)) << run.Text();
    EXPECT_FALSE(run.Has("AutoPlay prompt")) << run.Text();
    std::string stick = Slurp(Image("stick.img"));
    EXPECT_TRUE(stick.substr(0, 512) == std::string(table.begin(), table.end()));
    EXPECT_TRUE(stick.substr(64 * 512, 2048 * 512) == std::string(2048 * 512, 'L'));
}

INSTANTIATE_TEST_SUITE_P(Versions, FormatPromptDuringACreation,
                         ::testing::Combine(::testing::Values("6.1.7601", "10.0.19045"),
                                            ::testing::Values(ENTRY_SECTORS,
                                                              ENTRY_SECTORS_ABSOLUTE)));

struct FailureRow {
    const char* what;
    std::string floppyKeys;
    std::string stickKeys;
    std::string script;
    std::vector<std::string> boxes;   // message boxes after the confirmation, in order
    std::uint64_t sleptMs;            // on the virtual clock
    std::string prepare = {};         // a shell command on the floppy IMG first
    bool filesOnly = false;           // a floppy program of one file and no sectors
    bool untouched = false;           // the picked medium stays as it was
    const char* stays = nullptr;      // a file copied before the failure, kept
    const char* bar = "no stop box";  // the progress bar as the first stop box finds it
};

void PrintTo(const FailureRow& row, std::ostream* out) {
    *out << row.what;
}

// The message boxes after the confirmation; for the blank stick, whose root
// cannot be read, without the question of files left on it.
std::vector<std::string> BoxesAfterTheConfirmation(const RunResult& run, bool stick) {
    std::vector<std::string> boxes;
    for (const std::string& line : run.lines) {
        bool question = stick && line.find("OK/Cancel") != std::string::npos;
        if (line.rfind("message box", 0) == 0 && !question) boxes.push_back(line);
    }
    if (boxes.empty()) ADD_FAILURE() << "no confirmation\n" << run.Text();
    if (!boxes.empty()) boxes.erase(boxes.begin());
    return boxes;
}

// The last position the bar showed before the first stop box: "N/M", or ""
// when it never moved.
std::string BarAtTheFirstStop(const RunResult& run) {
    std::string bar;
    for (const std::string& line : run.lines) {
        if (line.rfind("message box [stop", 0) == 0) return bar;
        if (line.rfind("progress: ", 0) == 0 && line.find('/') != std::string::npos)
            bar = line.substr(10);
    }
    return "no stop box";
}

class CreateFailures : public CreateMedia, public ::testing::WithParamInterface<FailureRow> {};

TEST_P(CreateFailures, EndWithTheirMessagesStatus118AndNoLog) {
    const FailureRow& row = GetParam();
    Devices(row.floppyKeys, row.stickKeys);
    if (row.filesOnly) {
        DataFileSpec program = TestMachine::FloppyProgram("FILES");
        program.entries.erase(program.entries.begin());  // keeps the medium's own file system
        machine.WriteDataFile("TAVEX/FD.DAT", program);
    }
    if (!row.prepare.empty()) {
        std::string command = Put(row.prepare, "IMG", Image("fd.img"));
        ASSERT_EQ(
            Shell("export MTOOLS_SKIP_CHECK=1; cd " + machine.Dir().string() + " && " + command),
            0);
    }
    bool stick = row.script.find("program 2") != std::string::npos;
    std::string picked = Image(stick ? "stick.img" : "fd.img");
    std::string other = Image(stick ? "fd.img" : "stick.img");
    std::string pickedBefore = Slurp(picked), otherBefore = Slurp(other);
    RunResult run = RunKeepingDataFiles(machine, row.script + ", exit");
    ASSERT_EQ(run.exitCode, 0) << run.Text();
    EXPECT_EQ(run.sleptMs, row.sleptMs) << run.Text();
    EXPECT_EQ(Slurp(other), otherBefore) << "only the picked medium may change";
    EXPECT_EQ(Slurp(picked) == pickedBefore, row.untouched);
    if (row.stays) {
        EXPECT_EQ(Mtools("mtype", stick ? StickPartition() : picked, std::string("::") + row.stays),
                  Slurp(fs::path(VELDRA_SOURCE_DIR) / "examples/manifests" /
                        (stick ? "novususb" : "novusfd") / row.stays));
    }
    EXPECT_EQ(BoxesAfterTheConfirmation(run, stick), row.boxes) << run.Text();
    // The bar stops with the creation: every step made before it, none after.
    EXPECT_EQ(BarAtTheFirstStop(run), row.bar) << run.Text();
    EXPECT_TRUE(run.Has(kFailed)) << run.Text();
    EXPECT_FALSE(run.Has(kDone)) << run.Text();
    EXPECT_FALSE(machine.Exists("TAVEX/TVLOG.TXT"));
}

const std::string kWrite = "メディア書き込み中エラーが発生しました。";
const std::string kRetry =
    "message box [information, Yes/No] \"VELDRA\": "
    "\"書き込み中エラーが発生しました。\\nリトライしま"
    "すか。\" -> ";

const FailureRow kFailures[] = {
    // The layouts the program cannot read or write leave the stick alone.
    {"LayoutCannotBeRead",
     "",
     "layout-entries = 105\n",
     "program 2, create, yes, ok, ok",
     {StopBox("IOCTL_DISK_GET_DRIVE_LAYOUT error\\nUSBデバイスへの書き込みができません")},
     0,
     {},
     false,
     true,
     nullptr,
     ""},
    {"LayoutCannotBeWritten",
     "",
     "failing-layout = 1\n",
     "program 2, create, yes, ok, ok",
     {StopBox("IOCTL_DISK_SET_DRIVE_LAYOUT error\\nUSBデバイスへの書き込みができません")},
     500,
     {},
     false,
     true,
     nullptr,
     ""},
    // A write-protected stick is refused before its layout is touched.
    {"WriteProtectedStick",
     "",
     "write-protected = yes\n",
     "program 2, create, yes, ok, ok",
     {StopBox("ドライブ E: のメディアは書き込み禁止になっているため、作成できません。")},
     2000,
     {},
     false,
     true,
     nullptr,
     ""},
    {"FilesCannotBeCreatedAndTheOperatorGivesUp",
     "",
     "unmounted-creates = 6\n",
     "program 2, create, yes, ok, yes, no",
     {kRetry + "Yes", kRetry + "No"},
     2800},
    {"StickPulledAfterTheFileCopy",
     "",
     "pull-after-files = 1\n",
     "program 2, create, yes, ok, ok",
     {StopBox("メディアが挿入されていません。")},
     2800,
     {},
     false,
     false,
     "NOVUS.CFG",
     "3/4"},
    {"FloppyPulledAfterTheFileCopy",
     "pull-after-files = 2\n",
     "",
     "create, yes",
     {},
     300,
     {},
     false,
     false,
     "README.TXT"},
    // Only the close tells whether a file reached the medium.
    {"FloppyPulledAsTheFileCloses",
     "pull-at-close = 1\n",
     "",
     "create, yes, ok",
     {StopBox(kWrite + "3")},
     300,
     {},
     false,
     false,
     nullptr,
     "4/7"},
    // A visible folder in the root cannot be opened as a file to be stamped.
    {"FloppyRootHoldsAFolder",
     "",
     "",
     "create, yes, ok",
     {StopBox(kWrite + "4")},
     0,
     "mmd -i IMG ::/SUB",
     true,
     false,
     nullptr,
     "1/2"},
    // A hidden folder of a file entry's name is no file to replace: it keeps
    // its attributes, and the operator is asked.
    {"FloppyRootHoldsAHiddenFolderOfTheFilesName",
     "",
     "",
     "create, yes, no",
     {kRetry + "No"},
     1000,
     "mmd -i IMG ::/README.TXT && mattrib -i IMG +h ::/README.TXT",
     true,
     true},
    // A file that fills the floppy leaves no room for the program's files.
    {"FullFloppy",
     "",
     "",
     "create, yes, ok",
     {StopBox(kWrite + "3")},
     0,
     "head -c 1457664 /dev/zero > BIG && mcopy -i IMG BIG ::/BIG",
     true,
     false,
     nullptr,
     ""},
    // The final pass cannot write the boot sector again: the files are
    // copied and stamped, and the bar has made each of those steps.
    {"FinalPassCannotWrite",
     "failing-writes = 5\nwrites-before-failing = 4\n",
     "",
     "create, yes, ok",
     {StopBox(kWrite + "2")},
     800,
     {},
     false,
     false,
     "README.TXT",
     "7/7"},
};

INSTANTIATE_TEST_SUITE_P(Rows, CreateFailures, ::testing::ValuesIn(kFailures),
                         [](const auto& info) { return std::string(info.param.what); });

// A stick as sold, with a FAT partition: its partition table is emptied
// before the first write, so a creation whose writes all fail leaves no
// partition behind, and the boot code, the signature and every other sector
// as they were.
TEST_F(CreateMedia, AStickWhoseWritesFailKeepsOnlyItsEmptiedPartitionTable) {
    ASSERT_EQ(
        Shell(std::string(VELDRA_SOURCE_DIR) + "/examples/media/make-media.sh " + Image("fresh")),
        0);
    fs::rename(Image("fresh/usb.img"), Image("stick.img"));
    Devices("", "failing-writes = 100\n");
    std::string before = Slurp(Image("stick.img"));
    ASSERT_NE(before.substr(446, 16), std::string(16, '\0'));
    RunResult run = RunKeepingDataFiles(machine, "program 2, create, yes, ok, exit");
    ASSERT_EQ(run.exitCode, 0) << run.Text();
    EXPECT_TRUE(run.Has(StopBox(kWrite + "2"))) << run.Text();
    EXPECT_TRUE(run.Has(kFailed)) << run.Text();
    std::string expected = before;
    std::fill(expected.begin() + 446, expected.begin() + 510, '\0');
    EXPECT_TRUE(Slurp(Image("stick.img")) == expected);
}

// On Windows 7 the new layout's volume is polled for 10 s at most (after
// the layout's 500 ms); one that never arrives is no medium for the files.
TEST_F(CreateMedia, ANewVolumeIsWaitedForTenSecondsAtMost) {
    machine.SetSystem("version", kSeven);
    Devices("", "appear-after = 60000\n");
    RunResult run = RunKeepingDataFiles(machine, "program 2, create, yes, ok, ok, exit");
    ASSERT_EQ(run.exitCode, 0) << run.Text();
    EXPECT_TRUE(run.Has(StopBox("メディアが挿入されていません。"))) << run.Text();
    // The first pass's three chunk writes at 100 ms each; no final pass.
    EXPECT_EQ(run.sleptMs, 500u + 10000u + 3 * 100u) << run.Text();
}

// Three attempts, half a second apart, before the operator is asked.
TEST_F(CreateMedia, FilesCreatedAfterTheVolumeMountsLetTheRunSucceed) {
    Devices("", "unmounted-creates = 2\n");
    RunResult run = RunKeepingDataFiles(machine, "program 2, create, yes, ok, exit");
    EXPECT_EQ(run.Count(kRetry), 0) << run.Text();
    EXPECT_TRUE(run.Has(kDone)) << run.Text();
    EXPECT_EQ(run.sleptMs, 500u + 4 * 100u + 2 * 500u) << run.Text();  // layout, writes, pauses
}

// The rules Windows Vista and later hold a raw-disk writer to, a row each, on
// Windows XP and on Windows 7: the same creations succeed on both, final pass
// included, and a stick swapped since the drive list was made is refused on
// both with every image as it was. The virtual clock shows what each rule cost.
struct WindowsRuleRow {
    const char* what;
    std::string sections;      // holders, and keys of the stick
    std::string script;        // the creations; "create" is the floppy's, "program 2" the stick's
    bool formattedStick;       // the stick holds a FAT volume, as the example's does
    std::uint64_t sleptMs[2];  // on XP, on Windows 7
    // Refused before anything is written: this stop message, status 118
    // (115 for a swapped stick, whose drive list is made anew).
    const char* refusal = nullptr;
    bool superfloppy = false;  // the stick holds a FAT volume from its first sector, no partitions
    const char* systemKey = nullptr;  // a [system] key that is "yes"
};

void PrintTo(const WindowsRuleRow& row, std::ostream* out) {
    *out << row.what;
}

constexpr const char kNoMedium[] = "メディアが挿入されていません。";

class WindowsRules : public CreateMedia,
                     public ::testing::WithParamInterface<std::tuple<WindowsRuleRow, const char*>> {
};

TEST_P(WindowsRules, HoldOnXpAndOnWindows7) {
    const auto& [row, version] = GetParam();
    machine.SetSystem("version", version);
    if (row.systemKey) machine.SetSystem(row.systemKey, "yes");
    if (row.formattedStick) {
        // The example machine's stick: one FAT16 partition from sector 2048.
        ASSERT_EQ(Shell(std::string(VELDRA_SOURCE_DIR) + "/examples/media/make-media.sh " +
                        Image("fresh")),
                  0);
        fs::rename(Image("fresh/usb.img"), Image("stick.img"));
    }
    if (row.superfloppy) {
        ASSERT_EQ(Shell(ToolPath("mkfs.fat") + " " + Image("stick.img")), 0);
    }
    // Another stick at F:, the one that takes the number of a replugged E:.
    std::ofstream(Image("other.img"), std::ios::binary) << std::string(512, 'F');
    fs::resize_file(Image("other.img"), 8 << 20);
    Devices("", row.sections);
    machine.AddSection(
        "[drive F]\ntype = removable\ndevice = disk 2\n[disk 2]\nimage = other.img\n");
    std::map<std::string, std::string> before;
    for (const char* image : {"fd.img", "stick.img", "other.img"}) {
        if (row.refusal || image == std::string("other.img")) before[image] = Slurp(Image(image));
    }

    RunResult run = RunKeepingDataFiles(machine, row.script + ", exit");
    ASSERT_EQ(run.exitCode, 0) << run.Text();
    EXPECT_EQ(run.sleptMs, row.sleptMs[version != kXp]) << run.Text();
    EXPECT_EQ(Slurp(Image("other.img")), before["other.img"]) << "only the picked stick changes";
    if (row.refusal) {
        int failed = run.IndexOf(kFailed);
        int refused = run.IndexOf(StopBox(row.refusal));
        EXPECT_GE(refused, 0) << run.Text();
        EXPECT_LT(refused, failed) << run.Text();
        // The line said the creation had begun while the device was tried.
        int creating = run.IndexOf("status: \"実行メディアを作成中です。\"");
        EXPECT_GE(creating, 0) << run.Text();
        EXPECT_LT(creating, refused) << run.Text();
        EXPECT_EQ(run.Count("message box [stop"), 1) << run.Text();
        // After a swap the drive list is made anew, from what is plugged in now.
        if (row.refusal == std::string(kNoMedium)) {
            EXPECT_LT(failed, run.IndexOf("drive box: clear", failed)) << run.Text();
        }
        for (const auto& [image, bytes] : before) EXPECT_EQ(Slurp(Image(image)), bytes) << image;
        return;
    }
    EXPECT_EQ(run.Count("message box [stop"), 0) << run.Text();
    bool floppy = row.script.rfind("create", 0) == 0;
    bool stick = row.script.find("program 2") != std::string::npos;
    EXPECT_EQ(run.Count(kDone), int{floppy} + int{stick}) << run.Text();
    // Each medium written holds what its data file says, and fsck.fat agrees.
    if (floppy) {
        EXPECT_EQ(Shell(ToolPath("fsck.fat") + " -n " + Image("fd.img")), 0);
        ExpectMediumHolds(machine.ReadFile("TAVEX/FD.DAT"), Image("fd.img"), Holds::Medium);
    }
    if (stick) {
        EXPECT_EQ(Shell(ToolPath("fsck.fat") + " -n " + StickPartition()), 0);
        ExpectMediumHolds(machine.ReadFile("TAVEX/USB.DAT"), Image("stick.img"), Holds::Medium);
    }
}

// What the program sleeps, from its own documented pauses rather than from a
// run: 100 ms (WRITEDELAY) before each of the example data file's four chunk
// writes per medium; after the stick's layout 500 ms; on 6.0 and later 250 ms
// polls until the new volume arrives, appear-after (1000 ms) by default. A
// volume held by another program costs its lets-go-after once per pass, in
// 100 ms lock retries; a device that will not open, two waits of 1000 ms.
constexpr std::uint64_t kFloppyPauses = 4 * 100;
constexpr std::uint64_t kStickPausesXp = 4 * 100 + 500;
constexpr std::uint64_t kStickPauses = kStickPausesXp + 1000;
constexpr std::uint64_t kHeldInBothPasses(std::uint64_t letsGoAfter) {
    return 2 * letsGoAfter;
}

const WindowsRuleRow kWindowsRules[] = {
    // Every volume on the stick is locked and dismounted before the writes.
    {"RawWritesIntoAMountedVolumeNeedItLocked",
     "",
     "program 2, create, yes",
     true,
     {kStickPausesXp, kStickPauses}},
    // Another volume of the stick (Z:, the same partition here, reported
    // fixed as a filter driver for removable media makes it), held by
    // Explorer, is locked as well as E:.
    {"EveryVolumeOfTheStickIsLocked",
     "[drive Z]\ntype = fixed\ndevice = disk 1\n"
     "[holder Explorer]\nvolume = Z\nlets-go-after = 300\n",
     "program 2, create, yes",
     true,
     {kStickPausesXp, kStickPauses + kHeldInBothPasses(300)}},
    // The floppy's volume is opened sharing writing and locked once Explorer
    // lets go, in both passes.
    {"ExplorerShowsTheFloppy",
     "[holder Explorer]\nvolume = A\nlets-go-after = 300\n",
     "create, yes",
     false,
     {kFloppyPauses, kFloppyPauses + kHeldInBothPasses(300)}},
    {"AnAntivirusLetsGoOfTheStickLate",
     "[holder Antivirus]\nvolume = E\nlets-go-after = 3000\n",
     "program 2, create, yes",
     true,
     {kStickPausesXp, kStickPauses + kHeldInBothPasses(3000)}},
    // AutoPlay opens the new volume the moment it arrives, before the final pass.
    {"AutoPlayOpensTheNewVolume",
     "[holder AutoPlay]\nvolume = E\nholds-after = 0\nlets-go-after = 1000\n",
     "program 2, create, yes",
     true,
     {kStickPausesXp, kStickPauses + kHeldInBothPasses(1000)}},
    // The new partition table is read only when the program asks for it; the
    // volume is polled for until its arrival 2500 ms later, not 1000.
    {"ANewLayoutIsSeenOnlyAfterAReread",
     "reread-after = never\nappear-after = 2500\n",
     "program 2, create, yes",
     true,
     {kStickPausesXp, kStickPauses + (2500 - 1000)}},
    {"Windows7WithExplorerOnAAndAutoPlayOnE",
     "[holder Explorer]\nvolume = A\nlets-go-after = 300\n"
     "[holder AutoPlay]\nvolume = E\nholds-after = 0\nlets-go-after = 1000\n",
     "create, yes, program 2, create, yes",
     true,
     {kFloppyPauses + kStickPausesXp,
      kFloppyPauses + kHeldInBothPasses(300) + kStickPauses + kHeldInBothPasses(1000)}},
    // The empty partition table leaves sector 0 a boot sector: the stick's
    // volume comes back during the first pass and AutoPlay opens it; the
    // writes into it are refused until it is locked again. With appear-after 0
    // there is no poll; AutoPlay's hold is waited out three times.
    {"AStickWithoutPartitionsComesBackAndIsLockedAgain",
     "appear-after = 0\n[holder AutoPlay]\nvolume = E\nholds-after = 0\nlets-go-after = 1000\n",
     "program 2, create, yes",
     false,
     {kStickPausesXp, kStickPausesXp + 3 * 1000},
     nullptr,
     true},
    // Windows gave the stick's number to the other stick: E: answers 2 now.
    {"AStickReplugged", "", "program 2, replug E, create, yes, ok", true, {0, 0}, kNoMedium},
    {"AStickRepluggedWhileTheConfirmationIsUp",
     "",
     "program 2, create, replug E, yes, ok",
     true,
     {0, 0},
     kNoMedium},
    // "Removable Disks: Deny write access" (on XP: an account without
    // administrator rights): Windows refuses the open with
    // ERROR_ACCESS_DENIED, and the operator is told so, not that no medium is in.
    {"WritesToRemovableDisksDeniedForTheFloppy",
     "",
     "create, yes, ok",
     false,
     {2 * 1000, 2 * 1000},
     "ドライブ A: への書き込みが許可されていないため、作成できません。",
     false,
     "deny-removable-writes"},
    {"WritesToRemovableDisksDeniedForTheStick",
     "",
     "program 2, create, yes, ok",
     true,
     {2 * 1000, 2 * 1000},
     "ドライブ E: への書き込みが許可されていないため、作成できません。",
     false,
     "deny-removable-writes"},
};

INSTANTIATE_TEST_SUITE_P(Rows, WindowsRules,
                         ::testing::Combine(::testing::ValuesIn(kWindowsRules),
                                            ::testing::Values(kXp, kSeven)),
                         RowOnVersion);

// The states media arrive in that the program must meet before it writes,
// and devices that keep what they are sent in a cache of their own, a row
// each, on Windows XP and on Windows 10. The stick's data file is the
// example's with one more absolute sector: the 40 MiB stick's last. What the
// medium holds afterwards is read here from the data file's own bytes and the
// image, with mtools and fsck.fat for the files.
struct MediumStateRow {
    const char* what;
    std::string keys;                // of the picked device: the stick for "program 2"
    std::string script;              // the creation, from the program pick on
    std::vector<std::string> boxes;  // after the confirmation; none: status 129
    Holds holds;
    std::uint64_t stickBytes = kStickBytes;
};

void PrintTo(const MediumStateRow& row, std::ostream* out) {
    *out << row.what;
}

std::string UsbDataFileToTheStickEnd() {
    std::string bytes = ExampleDataFile("NOVUSUSB.DAT");
    BYTE* header = reinterpret_cast<BYTE*>(bytes.data());
    BYTE* entry = header + HDR_OFFSET_ENTRIES + header[HDR_OFFSET_ENTRY_COUNT]++ * HDR_ENTRY_SIZE;
    entry[0] = 1;
    entry[1] = 0x81;
    WriteLe32(entry + 2, 512);
    WriteLe32(entry + 6, static_cast<std::uint32_t>(bytes.size() - HDR_SIZE));
    WriteLe32(entry + 18, kStickBytes / 512 - 1);
    WriteLe32(header + HDR_OFFSET_CHECKSUM, 0);
    WriteLe32(header + HDR_OFFSET_CHECKSUM,
              ComputeHeaderChecksum(std::span<const BYTE, HDR_SIZE>(header, HDR_SIZE)));
    return bytes + std::string(512, 'Z');
}

class MediumStates : public CreateMedia,
                     public ::testing::WithParamInterface<std::tuple<MediumStateRow, const char*>> {
};

TEST_P(MediumStates, AreMetBeforeWritingOrLeaveTheWholeMedium) {
    const auto& [row, version] = GetParam();
    machine.SetSystem("version", version);
    bool stick = row.script.find("program 2") != std::string::npos;
    Devices(stick ? "" : row.keys, stick ? row.keys : "");
    machine.WriteFile("TAVEX/USB.DAT", UsbDataFileToTheStickEnd());
    fs::resize_file(Image("stick.img"), row.stickBytes);
    std::string picked = Image(stick ? "stick.img" : "fd.img");
    std::string other = Image(stick ? "fd.img" : "stick.img");
    std::string pickedBefore = Slurp(picked), otherBefore = Slurp(other);

    // The blank stick's root cannot be read: the question of files left on
    // it comes after the confirmation, and is answered OK.
    std::string script = row.script;
    if (stick) script.replace(script.find("create, yes"), 11, "create, yes, ok");
    RunResult run = RunKeepingDataFiles(machine, script + ", exit");
    ASSERT_EQ(run.exitCode, 0) << run.Text();
    EXPECT_EQ(BoxesAfterTheConfirmation(run, stick), row.boxes) << run.Text();
    EXPECT_EQ(run.Has(kDone), row.boxes.empty()) << run.Text();
    EXPECT_EQ(run.Has(kFailed), !row.boxes.empty()) << run.Text();
    EXPECT_EQ(Slurp(other), otherBefore) << "only the picked medium may change";
    std::string image = Slurp(picked);
    if (row.holds == Holds::Nothing) {
        EXPECT_TRUE(image == pickedBefore) << "the medium was written";
        return;
    }
    ExpectMediumHolds(machine.ReadFile(stick ? "TAVEX/USB.DAT" : "TAVEX/FD.DAT"), picked,
                      row.holds);
    if (row.holds != Holds::Medium) return;
    EXPECT_EQ(Shell(ToolPath("fsck.fat") + " -n " + (stick ? StickPartition() : picked)), 0);
    if (!stick) {
        EXPECT_EQ(Mtools("mattrib", picked, "::/*"),
                  "  A    R     ::/README.TXT\n  A    R     ::/NOVUS.CFG\n");
    }
}

const std::string kNot512 =
    "ドライブ E: のメディアはセクターサイズが512バイトではないため、作成できません。";

const MediumStateRow kMediumStates[] = {
    // Data files count in sectors of 512 bytes: a 4Kn stick, or
    // magneto-optical media of 2048, would take each entry at another place.
    {"AStickOf4096ByteSectors",
     "bytes-per-sector = 4096\n",
     "program 2, create, yes, ok",
     {StopBox(kNot512)},
     Holds::Nothing},
    {"AStickOf2048ByteSectors",
     "bytes-per-sector = 2048\n",
     "program 2, create, yes, ok",
     {StopBox(kNot512)},
     Holds::Nothing},
    // Refused before the partition table is reset; one sector more takes it.
    {"AStickOneSectorTooSmall",
     "",
     "program 2, create, yes, ok",
     {StopBox("ドライブ E: のメディアは容量が不足しているため、作成できません。")},
     Holds::Nothing,
     kStickBytes - 512},
    // Pulled the moment the status line says 129.
    {"AStickWithAWriteCachePulledRightAfterTheEnd",
     "write-cache = yes\n",
     "program 2, create, yes, pull E",
     {},
     Holds::Medium},
    // Only a flush of the volume writes the floppy's finishing out of a
    // cache that write-through does not pass.
    {"AFloppyWhoseCacheTakesNoFuaPulledRightAfterTheEnd",
     "write-cache = no-fua\n",
     "create, yes, pull A",
     {},
     Holds::Medium},
    // Pulled after the first pass's last write, before its flush.
    {"AStickWithAWriteCachePulledAfterTheFirstPass",
     "write-cache = yes\npull-after-writes = 4\n",
     "program 2, create, yes, ok",
     {StopBox(kWrite + "2")},
     Holds::ImagePass},
    {"TheFirstPassCannotBeFlushed",
     "failing-flush = 1\n",
     "program 2, create, yes, ok",
     {StopBox(kWrite + "2")},
     Holds::ImagePass},
    {"ACopiedFileCannotBeFlushed",
     "failing-flush = 2\n",
     "program 2, create, yes, ok",
     {StopBox(kWrite + "3")},
     Holds::Absolute},
};

INSTANTIATE_TEST_SUITE_P(Rows, MediumStates,
                         ::testing::Combine(::testing::ValuesIn(kMediumStates),
                                            ::testing::Values(kXp, kTen)),
                         RowOnVersion);

// A replug needs a stick to pull and another removable disk to take its
// number; the machine says so rather than pretend.
TEST_F(CreateMedia, AReplugTheMachineCannotShowIsRefused) {
    Devices("");
    RunResult floppy = machine.Run("replug A, exit");
    EXPECT_EQ(floppy.exitCode, 3) << floppy.Text();
    EXPECT_NE(floppy.error.find("replug A"), std::string::npos) << floppy.error;
    RunResult alone = machine.Run("replug E, exit");
    EXPECT_EQ(alone.exitCode, 4) << alone.Text();
    EXPECT_NE(alone.error.find("no other removable disk"), std::string::npos) << alone.error;
}

// The states real drives arrive in. R: stands on a third device (r.img, all
// 'R'): nothing may ever be written to it, and where the program refuses,
// nothing anywhere.
struct DiskStateRow {
    const char* what;
    std::string sections;  // added to the machine
    std::string floppyKeys, stickKeys;
    std::string prepare;  // a shell command on the images IMG (the stick) and R_IMG
    std::string script;
    std::string stop;  // the stop message expected; empty: none
    bool done;
    // Only Windows 6.0 and later hand the letter on: on XP the creation ends
    // with 129, and the stop, when it comes, is answered OK.
    bool vistaOnly = false;
    // The picked letter was found on another disk: the drive box is filled anew.
    bool refilled = false;
};

void PrintTo(const DiskStateRow& row, std::ostream* out) {
    *out << row.what;
}

class DiskStates : public CreateMedia,
                   public ::testing::WithParamInterface<std::tuple<DiskStateRow, const char*>> {};

TEST_P(DiskStates, WriteOnlyThePickedDiskOrNothing) {
    const auto& [row, version] = GetParam();
    machine.SetSystem("version", version);
    // A virtual disk as large as the stick answers its geometry too: only the
    // device type tells them apart.
    bool virtualDisk = row.sections.find("virtual-disk") != std::string::npos;
    std::ofstream(Image("r.img"), std::ios::binary)
        << std::string(virtualDisk ? kStickBytes : 8 << 20, 'R');
    Devices(row.floppyKeys, row.stickKeys);
    if (!row.sections.empty()) machine.AddSection(row.sections);
    if (!row.prepare.empty()) {
        std::string command =
            Put(Put(Put(row.prepare, "MKFS", ToolPath("mkfs.fat")), "R_IMG", Image("r.img")), "IMG",
                Image("stick.img"));
        ASSERT_EQ(Shell(command), 0) << command;
    }
    std::map<std::string, std::string> before;
    for (const char* image : {"fd.img", "stick.img", "r.img"}) before[image] = Slurp(Image(image));

    bool arises = !row.vistaOnly || version[0] != '5';
    RunResult run = RunKeepingDataFiles(
        machine, row.script + (row.vistaOnly && arises ? ", ok" : "") + ", exit");
    ASSERT_EQ(run.exitCode, 0) << run.Text();
    if (!row.stop.empty() && arises) {
        EXPECT_TRUE(run.Has(StopBox(row.stop))) << run.Text();
    }
    bool done = row.done || !arises;
    EXPECT_EQ(run.Has(kDone), done) << run.Text();
    EXPECT_EQ(run.IndexOf("drive box: clear", run.IndexOf("> create")) > 0, row.refilled && arises)
        << run.Text();
    EXPECT_TRUE(Slurp(Image("r.img")) == before["r.img"]) << "R: is never the target";
    if (!done) {
        // The letter handed on is found out after the first pass, which stays.
        for (const auto& [image, bytes] : before) {
            if (!row.vistaOnly) {
                EXPECT_TRUE(Slurp(Image(image)) == bytes) << image;
            }
        }
        return;
    }
    bool stick = row.script.find("program 2") != std::string::npos;
    EXPECT_EQ(Shell(ToolPath("fsck.fat") + " -n " + (stick ? StickPartition() : Image("fd.img"))),
              0);
}

const std::string kVirtualR =
    "[drive R]\ntype = removable\ndevice = disk 3\n[disk 3]\nimage = r.img\ndevice-number = 1\n";

const DiskStateRow kDiskStates[] = {
    // A RAM disk driver answers the stick's number for R:: the stick is
    // written, R: is neither written nor taken for the target.
    {"AVirtualDiskAnswersTheSticksNumber", kVirtualR + "device-type = virtual-disk\n", "", "", "",
     "program 2, drive 1, create, yes, ok", "", true},
    {"AVirtualDiskPicked", kVirtualR + "device-type = virtual-disk\n", "", "", "",
     "program 2, drive 2, create, ok",
     "作成ドライブ R: のディスクを特定できません。別のドライブを指定してください。", false},
    // A disk device with the stick's number whose own geometry is another:
    // the program cannot tell which disk "\\.\PhysicalDrive1" would write.
    {"ADiskTheProgramCannotTellApart", kVirtualR, "", "", "",
     "program 2, drive 2, create, yes, ok, ok",
     "作成ドライブ R: のディスクを特定できません。別のドライブを指定してください。", false},
    // The same disk device whose volume, by its extents, lies on disk 3: the
    // number it answers is not its own, and it is refused before the question.
    {"ADiskWhoseExtentsNameAnotherDisk",
     "[drive R]\ntype = removable\ndevice = disk 3\ndisk-extents = disk 3\n[disk 3]\n"
     "image = r.img\ndevice-number = 1\n",
     "", "", "", "program 2, drive 2, create, ok",
     "作成ドライブ R: のディスクを特定できません。別のドライブを指定してください。", false},
    // A stick a GPT installer left: the legacy layout request is refused.
    {"AGptStick", "", "", "",
     "printf '\\000\\000\\002\\000\\356\\377\\377\\377\\001\\000\\000\\000\\377\\377\\001\\000' | "
     "dd of=IMG bs=1 seek=446 conv=notrunc status=none && "
     "printf '\\125\\252EFI PART' | dd of=IMG bs=1 seek=510 conv=notrunc status=none",
     "program 2, create, yes, ok, ok",
     "IOCTL_DISK_GET_DRIVE_LAYOUT error\\nUSBデバイスへの書き込みができません", false},
    // Once the stick's new table has been read, Windows 10 hands E: to the
    // volume of another stick: the files must not follow the letter there.
    {"TheLetterGoesToAnotherStick",
     "[drive R]\ntype = removable\ndevice = disk 3\n[disk 3]\nimage = r.img\n", "",
     "letters-go-to = disk 3\n", "MKFS R_IMG >/dev/null", "program 2, drive 1, create, yes, ok",
     "メディアが挿入されていません。", false, true, true},
    // The floppy drive is empty when the program starts; the disk goes in
    // while the question asks for it.
    {"AFloppyDriveEmptyAtStart", "", "medium = absent\n", "", "", "create, insert A, yes", "",
     true},
    // A USB floppy drive has a letter of the disks' range, but a USB program
    // is no floppy's.
    {"AUsbFloppyDrivePickedForAUsbProgram",
     "[drive G]\ntype = removable\ndevice = floppy 1\n[floppy 1]\nimage = g.img\n"
     "[registry SYSTEM\\CurrentControlSet\\Services\\Sfloppy\\Enum]\nCount = dword:1\n"
     "0 = USB\\FLOPPY\\1\n",
     "", "", "head -c 1474560 /dev/zero > \"$(dirname R_IMG)/g.img\"",
     "program 2, drive 2, create, ok",
     "作成ドライブ G: はフロッピディスクドライブです。USBメモリドライブを指定してください。",
     false},
    // A card reader empty at start cannot be classified then: it is asked
    // again at the creation, and written once the medium is in; still empty,
    // it has no medium, which is no refusal.
    {"ACardReaderEmptyAtStart", "", "", "medium = absent\n", "",
     "program 2, create, insert E, yes, ok", "", true},
    {"ACardReaderLeftEmpty", "", "", "medium = absent\n", "", "program 2, create, yes, ok, ok",
     "メディアが挿入されていません。", false},
};

INSTANTIATE_TEST_SUITE_P(Rows, DiskStates,
                         ::testing::Combine(::testing::ValuesIn(kDiskStates),
                                            ::testing::Values(kXp, kTen)),
                         RowOnVersion);

// Only a root that answers it is empty lets the stick go without the
// question: files on it, or a root that cannot be read at all.
struct RootRow {
    const char* what;
    std::string prepare;  // a shell command on the stick's image IMG
    bool asks;
};

void PrintTo(const RootRow& row, std::ostream* out) {
    *out << row.what;
}

class StickRoots : public CreateMedia,
                   public ::testing::WithParamInterface<std::tuple<RootRow, const char*>> {};

TEST_P(StickRoots, AskBeforeAnythingIsWrittenUnlessTheRootIsEmpty) {
    const auto& [row, version] = GetParam();
    machine.SetSystem("version", version);
    Devices("");
    if (row.prepare == "a creation") {
        ASSERT_TRUE(RunKeepingDataFiles(machine, "program 2, create, yes, ok, exit").Has(kDone));
    } else if (!row.prepare.empty()) {
        std::string tool = row.prepare.substr(0, row.prepare.find(' '));
        if (tool != "printf" && ToolPath(tool).empty()) GTEST_SKIP() << "needs " << tool;
        std::string command = row.prepare;
        if (tool != "printf") command.replace(0, tool.size(), ToolPath(tool));
        command = Put(command, "IMG", Image("stick.img"));
        ASSERT_EQ(Shell(command), 0) << command;
    }
    std::string before = Slurp(Image("stick.img"));
    RunResult run = RunKeepingDataFiles(
        machine, std::string("program 2, create, yes") + (row.asks ? ", cancel, exit" : ", exit"));
    const std::string question =
        "message box [no icon, OK/Cancel] \"VELDRA\": \"USBドライブにファイルが残っ"
        "ています。\\n全てのファイルを削除して、メディアを作成しますか？\"";
    EXPECT_EQ(run.Has(question + " -> Cancel"), row.asks) << run.Text();
    if (!row.asks) {
        EXPECT_FALSE(run.Has(question)) << run.Text();
        EXPECT_TRUE(run.Has(kDone)) << run.Text();
        return;
    }
    EXPECT_FALSE(run.Has("status: \"実行メディアを作成中です。\"")) << run.Text();
    EXPECT_EQ(Slurp(Image("stick.img")), before);
    // No search of the stick is left open while the operator reads it.
    EXPECT_EQ(run.exitCode, 0) << run.Text();
}

const RootRow kRoots[] = {
    {"FilesOfAnEarlierCreation", "a creation", true},
    {"BlankAndSoRaw", "", true},
    // "-FVE-FS-" where a FAT boot sector has its OEM name: a locked BitLocker volume.
    {"BitLockerLocked",
     "printf '\\353\\130\\220-FVE-FS-\\000\\002' | dd of=IMG conv=notrunc status=none && "
     "printf '\\125\\252' | dd of=IMG bs=1 seek=510 conv=notrunc status=none",
     true},
    {"Ext4", "mke2fs -q -F -t ext4 IMG >/dev/null 2>&1", true},
    {"AnEmptyFatRoot", "mkfs.fat IMG >/dev/null", false},
};

INSTANTIATE_TEST_SUITE_P(Rows, StickRoots,
                         ::testing::Combine(::testing::ValuesIn(kRoots),
                                            ::testing::Values(kXp, kTen)),
                         RowOnVersion);

}  // namespace
}  // namespace veldra::testing
