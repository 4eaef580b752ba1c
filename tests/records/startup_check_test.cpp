// The start-up check of the listed data files and the header reader behind the
// program list, on a simulated machine: which file a failure names, how it is
// named, and that the program ends after it without touching the files.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "tests/records/records_test_support.h"

namespace veldra::testing {
namespace {

class StartupCheck : public ::testing::Test {
protected:
    TestMachine machine;
};

TEST_F(StartupCheck, AMissingDataFileEndsTheProgramNamingItAsListed) {
    machine.InstallPrograms({TestMachine::FloppyProgram("一")});
    std::filesystem::remove(machine.OnC("TAVEX/PROG1.DAT"));
    ExpectEndsAfter(RunKeepingDataFiles(machine, "ok"), "PROG1.DAT が開けません。");
}

TEST_F(StartupCheck, ShortOrDamagedFilesEndTheProgramNamingThemAsListed) {
    struct Row {
        const char* listed;  // as written in TAVEXMEDIA.INI
        const char* onC;
        std::uint64_t keepBytes;  // 0: the whole file
        std::size_t flipByte;     // 0: none
        const char* message;
    };
    const Row rows[] = {
        {"PROG.DAT", "TAVEX/PROG.DAT", 2047, 0, "PROG.DAT はデータファイルではありません。"},
        {"PROG.DAT", "TAVEX/PROG.DAT", 0, 20, "PROG.DAT は壊れています。"},
        {"PROG.DAT", "TAVEX/PROG.DAT", 0, 2045, "PROG.DAT は壊れています。"},
        // The check shows the name with its folder, just as it is listed.
        {"SUB\\PROG.DAT", "TAVEX/SUB/PROG.DAT", 100, 0,
         "SUB\\\\PROG.DAT はデータファイルではありません。"},
        {"SUB\\PROG.DAT", "TAVEX/SUB/PROG.DAT", 0, 300, "SUB\\\\PROG.DAT は壊れています。"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.message);
        TestMachine fresh;
        DataFileSpec model = TestMachine::FloppyProgram("壊れ");
        if (row.keepBytes != 0) model.faults.truncateTo = row.keepBytes;
        fresh.WriteDataFile(row.onC, model);
        if (row.flipByte != 0) {
            std::string bytes = fresh.ReadFile(row.onC);
            bytes[row.flipByte] ^= 0x40;
            fresh.WriteFile(row.onC, bytes);
        }
        fresh.WriteIni({"[FILE]", "FILES=1", std::string("FILE1=") + row.listed});
        ExpectEndsAfter(RunKeepingDataFiles(fresh, "ok"), row.message);
    }
}

TEST_F(StartupCheck, AFileThatCannotBeOpenedForWritingFailsTheCheck) {
    // The check opens for writing too, so that a creation cannot fail on it later.
    machine.InstallPrograms({TestMachine::FloppyProgram("一")});
    std::filesystem::permissions(machine.OnC("TAVEX/PROG1.DAT"), std::filesystem::perms::all,
                                 std::filesystem::perm_options::remove);
    std::filesystem::permissions(machine.OnC("TAVEX/PROG1.DAT"), std::filesystem::perms::owner_read,
                                 std::filesystem::perm_options::add);
    ExpectEndsAfter(RunKeepingDataFiles(machine, "ok"), "PROG1.DAT が開けません。");

    TestMachine onReadOnlyMedia;
    onReadOnlyMedia.InstallPrograms({TestMachine::FloppyProgram("一")});
    MoveInstallationTo(onReadOnlyMedia, 'D', "read-only = yes\n");
    ExpectEndsAfter(RunKeepingDataFiles(onReadOnlyMedia, "ok"), "PROG1.DAT が開けません。");
}

TEST_F(StartupCheck, AFileHeldOpenByAnotherProcessFailsTheCheck) {
    // Even a holder that shares reading and writing keeps the check out, as
    // the check itself does not share writing.
    for (const char* share : {"none", "read", "read-write"}) {
        SCOPED_TRACE(share);
        TestMachine held;
        held.InstallPrograms({TestMachine::FloppyProgram("一")});
        held.AddSection(std::string("[held-open]\nC:\\TAVEX\\PROG1.DAT = ") + share);
        ExpectEndsAfter(RunKeepingDataFiles(held, "ok"), "PROG1.DAT が開けません。");
    }
}

TEST_F(StartupCheck, TheFirstFailingFileIsTheOnlyOneReported) {
    DataFileSpec damaged = TestMachine::FloppyProgram("三");
    damaged.faults.truncateTo = 2047;
    machine.InstallPrograms(
        {TestMachine::FloppyProgram("一"), TestMachine::FloppyProgram("二"), damaged});
    std::filesystem::remove(machine.OnC("TAVEX/PROG2.DAT"));
    ExpectEndsAfter(RunKeepingDataFiles(machine, "ok"), "PROG2.DAT が開けません。");
}

TEST_F(StartupCheck, AWrongSignatureGetsPastTheCheckButNotTheProgramList) {
    DataFileSpec foreign = TestMachine::FloppyProgram("他");
    foreign.faults.signature = "NOVUS-KT DATB";
    machine.WriteDataFile("TAVEX/SUB/FOREIGN.DAT", foreign);
    machine.WriteIni({"[FILE]", "FILES=1", "FILE1=SUB\\FOREIGN.DAT"});
    // The program list reads the header itself and names only the file.
    ExpectEndsAfter(RunKeepingDataFiles(machine, "ok"),
                    "FOREIGN.DAT はデータファイルではありません。");
}

TEST_F(StartupCheck, APayloadPastTheEndGetsPastTheCheckButNotTheProgramList) {
    DataFileSpec cut = TestMachine::FloppyProgram("短");
    cut.faults.dropTail = 1;
    machine.WriteDataFile("TAVEX/SUB/CUT.DAT", cut);
    machine.WriteIni({"[FILE]", "FILES=1", "FILE1=SUB\\CUT.DAT"});
    ExpectEndsAfter(RunKeepingDataFiles(machine, "ok"), "CUT.DAT は壊れています。");
}

TEST_F(StartupCheck, AMissingOrEmptyProgramCountEndsTheProgramNamingTheDefinitionFile) {
    const std::string message = "TAVEXMEDIA.INI が存在しないか、正しくありません。 ";
    const std::vector<std::vector<std::string>> inis = {
        {"[FILE]", "FILE1=PROG1.DAT"},
        {"[FILE]", "FILES=0", "FILE1=PROG1.DAT"},
        {"[FILE]", "FILES=-1", "FILE1=PROG1.DAT"},
        {"[OTHER]", "FILES=1", "FILE1=PROG1.DAT"},
    };
    for (const auto& ini : inis) {
        SCOPED_TRACE(ini[1]);
        TestMachine fresh;
        fresh.InstallPrograms({TestMachine::FloppyProgram("一")});
        fresh.WriteIni(ini);
        ExpectEndsAfter(fresh.Run("ok"), message);
    }
    // No definition file at all reads the same.
    ExpectEndsAfter(machine.Run("ok"), message);
}

TEST_F(StartupCheck, AMissingEntryKeyEndsTheProgramNamingTheDefinitionFile) {
    machine.InstallPrograms({TestMachine::FloppyProgram("一"), TestMachine::FloppyProgram("二"),
                             TestMachine::FloppyProgram("三")});
    machine.WriteIni({"[FILE]", "FILES=3", "FILE1=PROG1.DAT", "FILE3=PROG3.DAT"});
    ExpectEndsAfter(RunKeepingDataFiles(machine, "ok"),
                    "TAVEXMEDIA.INI が存在しないか、正しくありません。 ");
}

TEST_F(StartupCheck, IntactFilesAreListedAndLeftAsTheyWere) {
    machine.InstallPrograms({TestMachine::FloppyProgram("一"), TestMachine::UsbProgram("二")});
    RunResult run = RunKeepingDataFiles(machine, "program 2, exit");
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_FALSE(run.Has("message box")) << run.Text();
    EXPECT_TRUE(run.Has("program box: add \"二\"")) << run.Text();
}

}  // namespace
}  // namespace veldra::testing
