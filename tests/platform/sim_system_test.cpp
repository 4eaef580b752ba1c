// What only the simulated machine offers: a fixed clock that Sleep moves on
// exactly, and the system faults and values its description names.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>

#include "platform/sim/sim_machine.h"
#include "tests/support/test_machine.h"

namespace veldra::testing {
namespace {

class SimSystem : public ::testing::Test {
protected:
    sim::SimMachine& Machine() {
        machine.WriteMachineDescription();
        sim = std::make_unique<sim::SimMachine>(sim::LoadMachineDescription(machine.Dir()),
                                                sim::OperatorScript(), transcript);
        return *sim;
    }
    TestMachine machine;
    sim::Transcript transcript;
    std::unique_ptr<sim::SimMachine> sim;
};

std::string Show(const SYSTEMTIME& t) {
    char text[64];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u.%03u day %u", t.wYear, t.wMonth,
                  t.wDay, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds, t.wDayOfWeek);
    return text;
}

TEST_F(SimSystem, SleepMovesTheFixedClockExactlyAndIsCounted) {
    machine.SetSystem("clock", "2010-03-09 14:05:07");
    sim::SimMachine& m = Machine();
    SYSTEMTIME now;
    m.GetLocalTime(&now);
    EXPECT_EQ(Show(now), "2010-03-09 14:05:07.000 day 2");
    m.GetLocalTime(&now);
    EXPECT_EQ(Show(now), "2010-03-09 14:05:07.000 day 2") << "time stands still between sleeps";
    m.Sleep(250);
    m.Sleep(0);
    m.Sleep(59750);
    m.GetLocalTime(&now);
    EXPECT_EQ(Show(now), "2010-03-09 14:06:07.000 day 2");
    EXPECT_EQ(m.SleepCount(), 3u);
    EXPECT_EQ(m.SleptMilliseconds(), 60000u);
}

TEST_F(SimSystem, TheClockCarriesThroughLeapDaysAndYears) {
    machine.SetSystem("clock", "2012-02-28 23:59:59");
    sim::SimMachine& m = Machine();
    m.Sleep(1500);
    SYSTEMTIME now;
    m.GetLocalTime(&now);
    EXPECT_EQ(Show(now), "2012-02-29 00:00:00.500 day 3");
    for (int day = 0; day < 307; ++day) m.Sleep(86400 * 1000);
    m.GetLocalTime(&now);
    EXPECT_EQ(Show(now), "2013-01-01 00:00:00.500 day 2");
}

TEST_F(SimSystem, TheDescriptionGivesVersionModuleAndCommandLine) {
    machine.SetSystem("version", "4.10.2222");
    machine.SetSystem("platform", "1");
    machine.SetSystem("module", "C:\\ツール\\TAVEX.EXE");
    sim::SimMachine& m = Machine();
    OSVERSIONINFOA info;
    info.dwOSVersionInfoSize = sizeof info;
    ASSERT_TRUE(m.GetVersionExA(&info));
    EXPECT_EQ(info.dwMajorVersion, 4u);
    EXPECT_EQ(info.dwMinorVersion, 10u);
    EXPECT_EQ(info.dwBuildNumber, 2222u);
    EXPECT_EQ(info.dwPlatformId, DWORD{VER_PLATFORM_WIN32_WINDOWS});
    char module[MAX_PATH];
    EXPECT_EQ(m.GetModuleFileNameA(module, MAX_PATH), Sjis("C:\\ツール\\TAVEX.EXE").size());
    EXPECT_EQ(module, Sjis("C:\\ツール\\TAVEX.EXE"));
    EXPECT_EQ(m.GetCommandLineA(), Sjis("\"C:\\ツール\\TAVEX.EXE\""));
}

TEST_F(SimSystem, DescribedFaultsFailTheVersionQueryAndTheHeap) {
    machine.SetSystem("version-query", "fails");
    machine.SetSystem("heap", "fails");
    sim::SimMachine& m = Machine();
    OSVERSIONINFOA info;
    info.dwOSVersionInfoSize = sizeof info;
    EXPECT_FALSE(m.GetVersionExA(&info));
    m.SetLastError(ERROR_SUCCESS);
    EXPECT_EQ(m.HeapAlloc(HEAP_ZERO_MEMORY, 16), nullptr);
    EXPECT_EQ(m.GetLastError(), ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_EQ(m.HeapBlockCount(), 0u);
}

}  // namespace
}  // namespace veldra::testing
