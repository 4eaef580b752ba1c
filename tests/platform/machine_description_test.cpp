// machine.ini: every value it can carry arrives in the configuration, and every
// mistake is refused with the file and line that hold it.
#include "sim/machine/machine_description.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "tests/support/test_machine.h"

namespace veldra::testing {
namespace {

class MachineDescription : public ::testing::Test {
protected:
    std::filesystem::path Ini() const { return machine.Dir() / "machine.ini"; }
    sim::MachineConfig Load(const std::string& text) const {
        std::ofstream(Ini(), std::ios::binary) << text;
        return sim::LoadMachineDescription(machine.Dir());
    }
    // The error that loading gives; empty when it loads.
    std::string ErrorOf(const std::string& text) const {
        std::ofstream(Ini(), std::ios::binary) << text;
        return ErrorOfLoading();
    }
    std::string ErrorOfLoading() const {
        try {
            sim::LoadMachineDescription(machine.Dir());
        } catch (const sim::MachineDescriptionError& error) {
            return error.what();
        }
        return std::string();
    }
    TestMachine machine;
};

TEST_F(MachineDescription, EveryValueArrives) {
    std::filesystem::create_directories(machine.Dir() / "floppy");
    sim::MachineConfig config = Load(
        "# a machine\n[system]\nversion = 6.0.6002\nplatform = 1\nversion-query = fails\n"
        "module = C:\\ツール\\TAVEX.EXE\ncommand-line = \"C:\\ツール\\TAVEX.EXE\" /install\n"
        "clock = 2012-02-29 23:59:58\nheap = fails\nsystem-menu = no\n\n"
        "[drive c]\ntype = fixed\nroot = C\n"
        "; the floppy\n[drive A]\ntype = removable\nroot = floppy\nread-only = yes\n"
        "free-bytes = 1457664\n"
        "[viewers]\n.pdf = Adobe Reader\n"
        "[held-open]\nC:\\TAVEX\\TVLOG.TXT = read\n"
        "[vanishing]\nC:\\TAVEX\\表.DAT = 2\n"
        "[strings]\n101 =\n102 = 別の文\n");
    EXPECT_EQ(config.directory, machine.Dir());
    EXPECT_EQ(config.majorVersion, 6u);
    EXPECT_EQ(config.minorVersion, 0u);
    EXPECT_EQ(config.buildNumber, 6002u);
    EXPECT_EQ(config.platformId, 1u);
    EXPECT_TRUE(config.versionQueryFails);
    EXPECT_EQ(config.modulePath, Sjis("C:\\ツール\\TAVEX.EXE"));
    EXPECT_EQ(config.commandLine, Sjis("\"C:\\ツール\\TAVEX.EXE\" /install"));
    ASSERT_TRUE(config.fixedClock);
    EXPECT_EQ(config.fixedClock->wYear, 2012);
    EXPECT_EQ(config.fixedClock->wMonth, 2);
    EXPECT_EQ(config.fixedClock->wDay, 29);
    EXPECT_EQ(config.fixedClock->wDayOfWeek, 3);
    EXPECT_EQ(config.fixedClock->wSecond, 58);
    EXPECT_TRUE(config.heapFails);
    EXPECT_FALSE(config.systemMenu);

    ASSERT_EQ(config.drives.size(), 2u);
    const sim::DriveConfig& c = config.drives.at('C');
    EXPECT_EQ(c.type, DRIVE_FIXED);
    EXPECT_EQ(c.hostRoot, std::filesystem::canonical(machine.Dir() / "C"));
    EXPECT_FALSE(c.readOnly);
    EXPECT_FALSE(c.freeBytes);
    const sim::DriveConfig& a = config.drives.at('A');
    EXPECT_EQ(a.letter, 'A');
    EXPECT_EQ(a.type, DRIVE_REMOVABLE);
    EXPECT_EQ(a.hostRoot, std::filesystem::canonical(machine.Dir() / "floppy"));
    EXPECT_TRUE(a.readOnly);
    EXPECT_EQ(a.freeBytes, 1457664u);

    EXPECT_EQ(config.viewers.at(".PDF"), "Adobe Reader");
    ASSERT_EQ(config.heldOpen.size(), 1u);
    EXPECT_EQ(config.heldOpen[0].path, "C:\\TAVEX\\TVLOG.TXT");
    EXPECT_EQ(config.heldOpen[0].shareMode, DWORD{FILE_SHARE_READ});
    EXPECT_EQ(config.heldOpen[0].access, GENERIC_READ | GENERIC_WRITE);
    ASSERT_EQ(config.vanishing.size(), 1u);
    EXPECT_EQ(config.vanishing[0].path, Sjis("C:\\TAVEX\\表.DAT"));
    EXPECT_EQ(config.vanishing[0].opensBeforeVanishing, 2);
    EXPECT_EQ(config.stringOverrides.at(101), "");
    EXPECT_EQ(config.stringOverrides.at(102), "別の文");
    EXPECT_TRUE(config.FollowsVistaRules());
}

TEST_F(MachineDescription, HoldersAndTheRereadOfADiskArrive) {
    sim::MachineConfig config = Load(
        "[drive C]\nroot = C\n[drive E]\ntype = removable\ndevice = disk 1\n"
        "[disk 1]\nmedium = absent\nreread-after = never\nappear-after = 1500\n"
        "[disk 2]\nmedium = absent\nreread-after = 40\nwrite-cache = no-fua\nfailing-flush = 2\n"
        "[holder Explorer]\nvolume = e:\nholds-after = 250\nlets-go-after = never\n"
        "[holder AutoPlay]\nvolume = E\n");
    EXPECT_FALSE(config.FollowsVistaRules());
    const sim::DeviceConfig& stick = config.devices.at(sim::DeviceId{sim::DeviceKind::Disk, 1});
    EXPECT_FALSE(stick.rereadAfterMs);
    EXPECT_EQ(stick.appearAfterMs, 1500u);
    const sim::DeviceConfig& other = config.devices.at(sim::DeviceId{sim::DeviceKind::Disk, 2});
    EXPECT_EQ(other.rereadAfterMs, 40u);
    EXPECT_EQ(other.appearAfterMs, 1000u);
    EXPECT_EQ(stick.writeCache, sim::WriteCache::None);
    EXPECT_EQ(other.writeCache, sim::WriteCache::NoFua);
    EXPECT_EQ(other.failingFlush, 2);
    ASSERT_EQ(config.holders.size(), 2u);
    EXPECT_EQ(config.holders[0].name, "Explorer");
    EXPECT_EQ(config.holders[0].letter, 'E');
    EXPECT_EQ(config.holders[0].holdsAfterMs, 250u);
    EXPECT_FALSE(config.holders[0].letsGoAfterMs);
    EXPECT_EQ(config.holders[1].holdsAfterMs, 0u);
    EXPECT_EQ(config.holders[1].letsGoAfterMs, 500u);
}

TEST_F(MachineDescription, DriveTypesAreWhatGetDriveTypeAReports) {
    const std::pair<const char*, std::int32_t> types[] = {
        {"removable", DRIVE_REMOVABLE}, {"fixed", DRIVE_FIXED},     {"remote", DRIVE_REMOTE},
        {"cdrom", DRIVE_CDROM},         {"ramdisk", DRIVE_RAMDISK},
    };
    for (const auto& [word, type] : types) {
        sim::MachineConfig config = Load(std::string("[drive C]\nroot = C\ntype = ") + word + "\n");
        EXPECT_EQ(config.drives.at('C').type, type) << word;
    }
}

TEST_F(MachineDescription, MistakesNameTheFileAndLine) {
    const std::string drive = "[drive C]\nroot = C\n";
    const struct {
        std::string text;
        int line;
        const char* says;
    } cases[] = {
        {"[system]\nfoo = 1\n" + drive, 2, "unknown key 'foo' in [system]"},
        {"[sytem]\n" + drive, 1, "unknown section [sytem]"},
        {drive + "[system\n", 3, "section header lacks its closing ]"},
        {"root = C\n" + drive, 1, "key outside a section"},
        {drive + "just words\n", 3, "expected KEY = VALUE"},
        {drive + " = 1\n", 3, "empty key"},
        {"[system]\nversion = 5\n" + drive, 2, "version is MAJOR.MINOR"},
        {"[system]\nplatform = nt\n" + drive, 2, "platform is a number"},
        {"[system]\nclock = 2010-02-30 10:00:00\n" + drive, 2, "clock is host or"},
        {"[system]\nclock = 2010-03-09 24:00:00\n" + drive, 2, "clock is host or"},
        {"[system]\nclock = 1600-12-31 23:59:59\n" + drive, 2, "clock is host or"},
        {"[system]\nclock = 2010-03-09 14:05\n" + drive, 2, "clock is host or"},
        {"[system]\nclock = 2010-03-09 14:05:07x\n" + drive, 2, "clock is host or"},
        {"[system]\nclock = 2010-03-09 +4:05:07\n" + drive, 2, "clock is host or"},
        {"[system]\nclock = 99999999999-01-01 00:00:00\n" + drive, 2, "clock is host or"},
        {"[system]\nheap = broken\n" + drive, 2, "heap is ok or fails"},
        {"[system]\nmodule =\n" + drive, 2, "module needs a path"},
        {"[drive C]\n# the disk\nroot = nowhere\n", 3, "does not exist"},
        {drive + "type = floppy\n", 3, "unknown drive type 'floppy'"},
        {drive + "read-only = true\n", 3, "expected yes or no"},
        {drive + "free-bytes = lots\n", 3, "free-bytes is a number"},
        {drive + "size = 1\n", 3, "unknown key 'size' in a drive section"},
        {"[drive CD]\n", 1, "[drive X] with X a letter"},
        {drive + "[drive c]\n", 3, "drive C is described twice"},
        {drive + "[viewers]\npdf = X\n", 4, "extension"},
        {drive + "[held-open]\nC:\\A = shared\n", 4, "none, read, write or read-write"},
        {drive + "[vanishing]\nC:\\A = -1\n", 4, "number of opens"},
        {drive + "[strings]\nabc = x\n", 4, "keyed by its number"},
        {drive + "[strings]\n101 = \xF0\x9F\x98\x80\n", 4, "no code page 932 form"},
        {drive + "[holder X]\nvolume = EE\n", 4, "volume is a drive letter"},
        {drive + "[holder X]\nholds-after = soon\n", 4, "number of milliseconds"},
        {drive + "[holder X]\nlets-go-after = -1\n", 4, "number of milliseconds"},
        {drive + "[holder X]\nwhen = 1\n", 4, "unknown key 'when' in a holder section"},
        {drive + "[holder X]\n[holder X]\n", 4, "holder X is described twice"},
        {drive + "[holder X]\nvolume = C\n", 3, "needs the volume of a drive on a device"},
        {drive + "[disk 1]\nmedium = absent\nreread-after = soon\n", 5, "is a number"},
        {drive + "[disk 1]\nmedium = absent\nwrite-cache = on\n", 5, "no, yes or no-fua"},
        {drive + "[disk 1]\nmedium = absent\nfailing-flush = once\n", 5, "is a number"},
    };
    for (const auto& c : cases) {
        std::string error = ErrorOf(c.text);
        std::string where = Ini().string() + ":" + std::to_string(c.line) + ": ";
        EXPECT_EQ(error.rfind(where, 0), 0u) << c.text << "gave: " << error;
        EXPECT_NE(error.find(c.says), std::string::npos) << c.text << "gave: " << error;
    }
    EXPECT_EQ(ErrorOf("[system]\n"), Ini().string() + ": no [drive X] section");
    EXPECT_EQ(ErrorOf("[drive C]\ntype = fixed\n"), Ini().string() + ": drive C has no root");
    std::filesystem::remove(Ini());
    EXPECT_EQ(ErrorOfLoading(), Ini().string() + ": cannot be read");
}

}  // namespace
}  // namespace veldra::testing
