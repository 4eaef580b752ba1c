// Start-up on a simulated machine: which systems may run the program, one
// instance per machine, the error mode, and the paths from the module name.
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>

#include "app/tavexfd_app.h"
#include "sim/machine/sim_machine.h"
#include "tests/support/test_machine.h"

namespace veldra::testing {
namespace {

constexpr char kRefusal[] =
    "message box [stop, OK] \"VELDRA\": "
    "\"本ツールはWindows XP, Windows Vista, Windows 7で動作します。\" -> OK";

class Startup : public ::testing::Test {
protected:
    void SetUp() override { machine.InstallPrograms({TestMachine::FloppyProgram("フロッピー版")}); }
    TestMachine machine;
};

struct SystemCase {
    const char* version;
    const char* platform;
    const char* query;
};

void PrintTo(const SystemCase& c, std::ostream* os) {
    *os << "version " << c.version << " platform " << c.platform << " query " << c.query;
}

class RefusedSystem : public Startup, public ::testing::WithParamInterface<SystemCase> {};

TEST_P(RefusedSystem, ShowsTheSupportedSystemsAndEndsWithoutTheDialog) {
    machine.SetSystem("version", GetParam().version);
    machine.SetSystem("platform", GetParam().platform);
    machine.SetSystem("version-query", GetParam().query);
    std::string iniBefore = machine.Ini();
    RunResult run = machine.Run("ok");
    EXPECT_EQ(run.exitCode, 0) << run.Text();
    EXPECT_EQ(run.lines, std::vector<std::string>{kRefusal}) << run.Text();
    EXPECT_EQ(machine.Ini(), iniBefore);
}

INSTANTIATE_TEST_SUITE_P(Table, RefusedSystem,
                         ::testing::Values(SystemCase{"5.0.2195", "2", "ok"},
                                           SystemCase{"4.0.1381", "2", "ok"},
                                           SystemCase{"4.90.3000", "1", "ok"},
                                           SystemCase{"5.1.2600", "1", "ok"},
                                           SystemCase{"5.1.2600", "2", "fails"}));

class AcceptedSystem : public Startup, public ::testing::WithParamInterface<const char*> {};

TEST_P(AcceptedSystem, OpensTheDialog) {
    machine.SetSystem("version", GetParam());
    RunResult run = machine.Run("exit");
    EXPECT_EQ(run.exitCode, 0) << run.Text();
    EXPECT_TRUE(run.Has("dialog \"VELDRA\" shown")) << run.Text();
    EXPECT_FALSE(run.Has("message box")) << run.Text();
}

INSTANTIATE_TEST_SUITE_P(Table, AcceptedSystem,
                         ::testing::Values("5.1.2600", "5.2.3790", "6.0.6002", "6.1.7601"));

sim::MachineConfig DescriptionOf(const TestMachine& machine) {
    machine.WriteMachineDescription();
    return sim::LoadMachineDescription(machine.Dir());
}

// Another process on the same machine that holds the single-instance mutex.
class FirstInstance {
public:
    explicit FirstInstance(const TestMachine& machine)
        : m_machine(DescriptionOf(machine), sim::OperatorScript(), m_transcript) {
        m_hMutex = m_machine.CreateMutexA(FALSE, kSingleInstanceMutexName);
    }
    bool Holds() { return m_hMutex != NULL_HANDLE && m_machine.GetLastError() == ERROR_SUCCESS; }

private:
    sim::Transcript m_transcript;
    sim::SimMachine m_machine;
    HANDLE m_hMutex = NULL_HANDLE;
};

// Who holds the single-instance mutex while the program starts again: an
// instance of the same account, or one of another account (started elevated
// with other credentials), whose mutex this account may not open.
enum class RunningInstance { SameAccount, OtherAccount };

void PrintTo(RunningInstance running, std::ostream* os) {
    *os << (running == RunningInstance::SameAccount ? "same account" : "other account");
}

class SecondStart : public Startup, public ::testing::WithParamInterface<RunningInstance> {};

TEST_P(SecondStart, OnlyBeepsAndEnds) {
    std::optional<FirstInstance> first;
    if (GetParam() == RunningInstance::SameAccount) {
        first.emplace(machine);
        ASSERT_TRUE(first->Holds());
    } else {
        machine.SetSystem("mutex-of-another-account", kSingleInstanceMutexName);
    }
    RunResult second = machine.Run("exit");
    EXPECT_EQ(second.exitCode, 0);
    EXPECT_EQ(second.lines, std::vector<std::string>{"beep 0"}) << second.Text();
}

INSTANTIATE_TEST_SUITE_P(Table, SecondStart,
                         ::testing::Values(RunningInstance::SameAccount,
                                           RunningInstance::OtherAccount));

TEST_F(Startup, OnceTheFirstInstanceHasEndedTheNextStartRuns) {
    {
        FirstInstance first(machine);
        ASSERT_TRUE(first.Holds());
    }
    RunResult later = machine.Run("exit");
    EXPECT_FALSE(later.Has("beep")) << later.Text();
    EXPECT_TRUE(later.Has("dialog \"VELDRA\" shown")) << later.Text();
}

TEST_F(Startup, ASecondStartOnAnUnsupportedSystemBeepsWithoutTheRefusal) {
    // The first instance is showing message 148: it holds the mutex already.
    FirstInstance first(machine);
    ASSERT_TRUE(first.Holds());
    machine.SetSystem("version", "5.0.2195");
    RunResult second = machine.Run("ok");
    EXPECT_EQ(second.exitCode, 0);
    EXPECT_EQ(second.lines, std::vector<std::string>{"beep 0"}) << second.Text();
}

TEST_F(Startup, QuietErrorModeIsAddedToTheOneInForce) {
    for (UINT before : {0x0000u, 0x0004u, 0x8000u}) {
        sim::Transcript transcript;
        sim::SimMachine simMachine(DescriptionOf(machine), sim::OperatorScript::Parse("exit"),
                                   transcript);
        simMachine.SetErrorMode(before);
        Ports ports = simMachine.ports();
        EXPECT_EQ(RunTavexApplication(ports), 0);
        EXPECT_EQ(simMachine.ErrorMode(), before | 0x8001u) << "before: " << before;
    }
}

// A folder on drive C whose module path "C:\<folder>\TAVEX.EXE" is `length` bytes.
std::string FolderForModulePathOf(std::size_t length) {
    const std::size_t folderLength = length - 13;  // "C:\" and "\TAVEX.EXE"
    std::string folder;
    for (char name = 'A'; folder.size() < folderLength; ++name) {
        if (!folder.empty()) folder += '\\';
        std::size_t left = folderLength - folder.size();
        // Leave at least two bytes for the next separator and name.
        folder += std::string(left > 81 ? 80 : left, name);
    }
    return folder;
}

class LongModulePath : public Startup, public ::testing::WithParamInterface<std::size_t> {};

TEST_P(LongModulePath, StillFindsTheMediaDefinitionFileBesideIt) {
    std::string folder = FolderForModulePathOf(GetParam());
    std::string module = "C:\\" + folder + "\\TAVEX.EXE";
    ASSERT_EQ(module.size(), GetParam());
    std::string onC = folder;
    std::replace(onC.begin(), onC.end(), '\\', '/');
    machine.WriteDataFile(onC + "/PROG1.DAT", TestMachine::UsbProgram("奥の版"));
    machine.WriteFile(onC + "/TAVEXMEDIA.INI", "[FILE]\r\nFILES=1\r\nFILE1=PROG1.DAT\r\n");
    machine.SetSystem("module", module);

    RunResult run = machine.Run("exit");
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_FALSE(run.Has("message box")) << run.Text();
    EXPECT_TRUE(run.Has("program box: add \"奥の版\"")) << run.Text();
    EXPECT_EQ(machine.ReadFile(onC + "/TAVEXMEDIA.INI"),
              "[FILE]\r\nFILES=1\r\nFILE1=PROG1.DAT\r\nFILENO=1\r\n");
}

INSTANTIATE_TEST_SUITE_P(Lengths, LongModulePath, ::testing::Values(255u, 256u, 257u, 300u));

}  // namespace
}  // namespace veldra::testing
