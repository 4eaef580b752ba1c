// What only the simulated machine offers: a fixed clock that Sleep moves on
// exactly, the system faults and values its description names, and host
// calls that fail reported as Win32 errors.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <memory>

#include "platform/handle.h"
#include "sim/machine/sim_machine.h"
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

TEST(Win32ErrorFromErrno, GivesEachHostErrorItsWin32Number) {
    const std::pair<int, DWORD> cases[] = {
        {0, ERROR_SUCCESS},
        {EPERM, ERROR_ACCESS_DENIED},
        {EACCES, ERROR_ACCESS_DENIED},
        {EISDIR, ERROR_ACCESS_DENIED},
        {ENOENT, ERROR_FILE_NOT_FOUND},
        {ENOTDIR, ERROR_PATH_NOT_FOUND},
        {EEXIST, ERROR_FILE_EXISTS},
        {ENOSPC, ERROR_DISK_FULL},
        {EDQUOT, ERROR_DISK_FULL},
        {EROFS, ERROR_WRITE_PROTECT},
        {ENAMETOOLONG, ERROR_FILENAME_EXCED_RANGE},
        {EBADF, ERROR_INVALID_HANDLE},
        {ENOMEM, ERROR_NOT_ENOUGH_MEMORY},
        {EINVAL, ERROR_INVALID_PARAMETER},
        {EMFILE, sim::ERROR_TOO_MANY_OPEN_FILES},
        {ENFILE, sim::ERROR_TOO_MANY_OPEN_FILES},
        {EXDEV, sim::ERROR_NOT_SAME_DEVICE},
        {ENOTEMPTY, ERROR_DIR_NOT_EMPTY},
        {EBUSY, sim::ERROR_BUSY},
        {ETXTBSY, ERROR_SHARING_VIOLATION},
        {EWOULDBLOCK, ERROR_SHARING_VIOLATION},
        {ENXIO, ERROR_NOT_READY},
        {ENODEV, ERROR_NOT_READY},
        {ENOMEDIUM, ERROR_NOT_READY},
        {EIO, sim::ERROR_IO_DEVICE},
        {ELOOP, ERROR_GEN_FAILURE},
    };
    for (const auto& [error, win32] : cases) {
        EXPECT_EQ(sim::Win32ErrorFromErrno(error), win32) << "errno " << error;
    }
}

TEST_F(SimSystem, AHostCallThatFailsIsReportedWithItsError) {
    machine.WriteFile("STAMP.DAT", "x");
    sim::SimMachine& m = Machine();
    Ports ports = m.ports();
    UniqueFileHandle file(m, ports.files.CreateFileA("C:\\STAMP.DAT", GENERIC_WRITE, 0,
                                                     OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL));
    ASSERT_TRUE(file.valid());
    // Before 1601: the host refuses the time, and so does the call.
    const FILETIME negative{0, 0x80000000u};
    m.SetLastError(ERROR_SUCCESS);
    EXPECT_FALSE(ports.files.SetFileTime(file.get(), nullptr, nullptr, &negative));
    EXPECT_EQ(m.GetLastError(), ERROR_INVALID_PARAMETER);
    const FILETIME fine{0, 0x01C00000u};
    EXPECT_TRUE(ports.files.SetFileTime(file.get(), nullptr, nullptr, &fine));

    // The machine keeps its named objects in DIR/.objects; a file there
    // leaves no room for them.
    std::ofstream(machine.Dir() / ".objects") << "in the way";
    EXPECT_EQ(m.CreateMutexA(FALSE, "SIM_SYSTEM_TEST"), NULL_HANDLE);
    EXPECT_EQ(m.GetLastError(), ERROR_PATH_NOT_FOUND);
}

}  // namespace
}  // namespace veldra::testing
