// What only the simulated machine offers: a fixed clock that Sleep moves on
// exactly, the system faults and values its description names, and host
// calls that fail reported as Win32 errors.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
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

// A device's write cache, seen from the image: a write waits there for a
// flush, a write-through handle's passes a cache that takes FUA and not one
// that does not, a pull loses what is left, and a medium still in when the
// machine ends keeps it.
TEST_F(SimSystem, AWriteCacheHoldsWritesUntilAFlushOrLosesThemToAPull) {
    for (const char* image : {"fua.img", "nofua.img"}) {
        std::ofstream(machine.Dir() / image, std::ios::binary).close();
        std::filesystem::resize_file(machine.Dir() / image, 1 << 20);
    }
    machine.AddSection(
        "[disk 1]\nimage = fua.img\nwrite-cache = yes\npull-after-writes = 3\n"
        "[disk 2]\nimage = nofua.img\nwrite-cache = no-fua\n");
    auto onImage = [&](const char* image, int sector) {
        std::ifstream in(machine.Dir() / image, std::ios::binary);
        in.seekg(sector * 512);
        return static_cast<char>(in.get());
    };
    sim::SimMachine& m = Machine();
    FilePort& files = m.ports().files;
    auto write = [&](const char* disk, bool through, int sector, char fill) {
        DWORD flags = FILE_FLAG_NO_BUFFERING | (through ? FILE_FLAG_WRITE_THROUGH : 0);
        HANDLE h = files.CreateFileA(disk, GENERIC_READ | GENERIC_WRITE,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING, flags);
        files.SetFilePointer(h, sector * 512, nullptr, FILE_BEGIN);
        std::string bytes(512, fill);
        DWORD done = 0;
        EXPECT_TRUE(files.WriteFile(h, bytes.data(), 512, &done)) << disk << " " << sector;
        return UniqueFileHandle(m, h);
    };
    const char* kFua = "\\\\.\\PhysicalDrive1";
    const char* kNoFua = "\\\\.\\PhysicalDrive2";
    UniqueFileHandle cached = write(kFua, false, 0, 'A');
    EXPECT_EQ(onImage("fua.img", 0), '\0');
    write(kFua, true, 1, 'B');
    EXPECT_EQ(onImage("fua.img", 1), 'B');
    ASSERT_TRUE(files.FlushFileBuffers(cached.get()));
    EXPECT_EQ(onImage("fua.img", 0), 'A');
    cached = write(kFua, false, 2, 'C');  // the third write: then the stick is pulled
    EXPECT_FALSE(files.FlushFileBuffers(cached.get()));
    EXPECT_EQ(m.GetLastError(), ERROR_NOT_READY);
    EXPECT_EQ(onImage("fua.img", 2), '\0');

    UniqueFileHandle nofua = write(kNoFua, true, 5, 'E');
    EXPECT_EQ(onImage("nofua.img", 5), '\0') << "write-through does not pass it";
    nofua.reset();
    cached.reset();
    sim.reset();
    EXPECT_EQ(onImage("nofua.img", 5), 'E') << "a medium left in keeps it";
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
