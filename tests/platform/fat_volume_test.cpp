// FatVolume against file systems made and checked by tools written elsewhere:
// mkfs.fat formats, mtools puts files there and reads back what the volume
// wrote, fsck.fat judges the result.
#include <map>
#include <set>

#include "sim/devices/sim_devices.h"
#include "sim/files/file_system.h"
#include "sim/kernel/errors.h"
#include "sim/kernel/kernel.h"
#include "tests/platform/fat_medium.h"

namespace veldra::sim::testing {
namespace {

class FatFormats : public FatVolumeTest, public ::testing::WithParamInterface<MediumFormat> {};

INSTANTIATE_TEST_SUITE_P(Tools, FatFormats,
                         ::testing::Values(MediumFormat{"Fat12Floppy", "", 1440, false},
                                           MediumFormat{"Fat16", "-F 16", 16384, false},
                                           MediumFormat{"Fat32", "-F 32", 65536, false},
                                           MediumFormat{"Fat16InPartition", "-F 16", 16384, true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_P(FatFormats, ReadsWhatMtoolsPutThere) {
    MakeMedium(GetParam());
    const std::string longBytes = Pattern(9000, 1);
    HostFile("short", "short\r\n");
    HostFile("long", longBytes);
    Put("short", "::SHORT.TXT");
    Put("long", "::Long file name.data");
    Mtools("mmd", "::SUB");
    Put("short", "::SUB/INNER.BIN");
    Put("short", "::HIDDEN.SYS");
    Mtools("mattrib", "+h +s ::HIDDEN.SYS");
    Mtools("mattrib", "+r ::SHORT.TXT");
    // 8.3 names whose name or extension Windows NT keeps lower case by a flag.
    Put("short", "::readme.TXT");
    Put("short", "::NOTES.txt");

    EXPECT_EQ(List({}), (std::vector<std::string>{"SHORT.TXT", "Long file name.data", "SUB",
                                                  "HIDDEN.SYS", "readme.TXT", "NOTES.txt"}));
    EXPECT_EQ(List({"sub"}), std::vector<std::string>{"INNER.BIN"});
    // 8.3 names in double-byte and in single-byte kana, a long name whose 8.3
    // name starts with the byte that marks deleted entries (0xE5, kept as
    // 0x05), and a long name the machine cannot name (no code page 932 form).
    WriteFile({"ソフト.TXT"}, {{0, "x"}});
    WriteFile({"Aｿ.TXT"}, {{0, "z"}});
    WriteFile({"蕁麻疹の記録.txt"}, {{0, "y"}});
    Put("short", "::Café au lait.txt");
    const struct {
        const char* name;
        const char* found;  // nullptr: none
    } lookups[] = {
        {"long FILE name.DATA", "Long file name.data"},
        {"longfi~1.dat", "Long file name.data"},
        {"ソフト.txt", "ソフト.TXT"},
        {"ｿﾌﾄ.TXT", nullptr},  // as many characters, other ones
        {"aｿ.txt", "Aｿ.TXT"},
        {"AB.TXT", nullptr},
        {"ソフト.TX", nullptr},
        {"SHORT.TXTX", nullptr},
        {"Café au lait.txt", nullptr},
        {"蕁麻疹の記録.TXT", "蕁麻疹の記録.txt"},
        {"蕁麻疹~1.txt", "蕁麻疹の記録.txt"},
        {"NOPE", nullptr},
    };
    for (const auto& lookup : lookups) {
        std::optional<VolumeEntry> entry;
        ASSERT_EQ(m_volume->Find({}, lookup.name, &entry), ERROR_SUCCESS);
        ASSERT_EQ(entry.has_value(), lookup.found != nullptr) << lookup.name;
        EXPECT_EQ(entry ? entry->name : "", lookup.found ? lookup.found : "");
        EXPECT_FALSE(entry && entry->isDirectory);
    }
    std::optional<VolumeEntry> missing;
    EXPECT_EQ(m_volume->Find({"NOPE"}, "X", &missing), ERROR_PATH_NOT_FOUND);

    const struct {
        VolumePath path;
        DWORD attributes;
        std::uint64_t size;
    } entries[] = {
        {{"SHORT.TXT"}, FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE, 7},
        {{"HIDDEN.SYS"}, FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE, 7},
        {{"SUB"}, FILE_ATTRIBUTE_DIRECTORY, 0},
        {{"Long file name.data"}, FILE_ATTRIBUTE_ARCHIVE, longBytes.size()},
    };
    for (const auto& e : entries) {
        VolumeEntryInfo info = Info(e.path);
        EXPECT_EQ(info.attributes, e.attributes) << e.path[0];
        EXPECT_EQ(info.size, e.size) << e.path[0];
    }
    EXPECT_EQ(ReadAll({"Long file name.data"}), longBytes);
    EXPECT_EQ(ReadAll({"SUB", "INNER.BIN"}), "short\r\n");
    EXPECT_EQ(m_volume->FreeBytes(), MtoolsFreeBytes());
}

TEST_P(FatFormats, WritesWhatFsckAndMtoolsAccept) {
    MakeMedium(GetParam());
    Mtools("mmd", "::SUB");
    const std::string big = Pattern(20000, 2);
    WriteFile({"NEW.TXT"}, {{0, "new file"}});
    WriteFile({"Mixed Case Name.bin"}, {{0, big.substr(0, 7000)}, {7000, big.substr(7000)}});
    // A write past the end leaves zeros between.
    WriteFile({"SUB", "Gap in between.dat"}, {{0, "abc"}, {5000, "xyz"}});
    WriteFile({"REPLACED.DAT"}, {{0, big}});
    WriteFile({"REPLACED.DAT"}, {{0, "shorter"}}, true);
    ASSERT_EQ(m_volume->SetAttributes({"NEW.TXT"}, FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                                       FILE_ATTRIBUTE_READONLY),
              ERROR_SUCCESS);
    const FILETIME creation = FileTimeOf(2021, 2, 3, 4, 5, 7, 340);
    const FILETIME written = FileTimeOf(2022, 11, 30, 22, 58, 59, 0);
    {
        DWORD error = ERROR_SUCCESS;
        auto file = m_volume->Open({"mixed case name.BIN"}, VolumeOpen{true}, &error);
        ASSERT_TRUE(file) << error;
        ASSERT_EQ(file->SetTimes(&creation, nullptr, &written), ERROR_SUCCESS);
        ASSERT_EQ(file->Close(), ERROR_SUCCESS);
    }

    EXPECT_TRUE(FsckClean());
    EXPECT_EQ(Mtools("mtype", "::NEW.TXT"), "new file");
    EXPECT_EQ(Mtools("mtype", "'::Mixed Case Name.bin'"), big);
    EXPECT_EQ(Mtools("mtype", "'::SUB/Gap in between.dat'"),
              "abc" + std::string(4997, '\0') + "xyz");
    EXPECT_EQ(Mtools("mtype", "::REPLACED.DAT"), "shorter");
    std::string attributes = Mtools("mattrib", "::NEW.TXT");
    EXPECT_EQ(std::set<char>(attributes.begin(), attributes.begin() + attributes.find("::")),
              (std::set<char>{' ', 'S', 'H', 'R'}));
    // Times as the machine's clock gave them and as set, without a time-zone shift.
    std::string listing = Mtools("mdir -a", "::");
    EXPECT_NE(listing.find("NEW      TXT         8 2024-05-03  17:09"), std::string::npos)
        << listing;
    EXPECT_NE(listing.find("MIXEDC~1 BIN     20000 2022-11-30  22:59  Mixed Case Name.bin"),
              std::string::npos)
        << listing;
    VolumeEntryInfo info = Info({"Mixed Case Name.bin"});
    auto same = [](const FILETIME& a, const FILETIME& b) {
        return a.dwLowDateTime == b.dwLowDateTime && a.dwHighDateTime == b.dwHighDateTime;
    };
    EXPECT_TRUE(same(info.creationTime, creation));
    // The driver rounds a last write time up to the next even second.
    EXPECT_TRUE(same(info.lastWriteTime, FileTimeOf(2022, 11, 30, 22, 59, 0, 0)));
    EXPECT_TRUE(same(info.lastAccessTime, FileTimeOf(2024, 5, 3, 0, 0, 0, 0)));
    EXPECT_EQ(m_volume->FreeBytes(), MtoolsFreeBytes());
}

// SetFileTime as the FAT driver takes it: zero leaves a time alone, all ones
// leaves it alone for the rest of the open, a time FAT cannot hold fails the
// whole call.
TEST_F(FatVolumeTest, TimesZeroAndAllOnesAreRequestsAndTimesOutsideFatAreRefused) {
    MakeMedium({"Fat12Floppy", "", 1440, false});
    WriteFile({"T.TXT"}, {{0, "x"}});
    const FILETIME set = FileTimeOf(2004, 4, 1, 9, 0, 0, 0),
                   later = FileTimeOf(2010, 1, 1, 0, 0, 0, 0);
    const FILETIME zero{}, ones{0xFFFFFFFFu, 0xFFFFFFFFu};
    const FILETIME past2107 = FileTimeOf(2107, 12, 31, 23, 59, 59, 0);
    auto open = [&] {
        DWORD error = ERROR_SUCCESS;
        auto file = m_volume->Open({"T.TXT"}, VolumeOpen{true}, &error);
        EXPECT_TRUE(file) << error;
        return file;
    };
    {
        auto file = open();
        ASSERT_EQ(file->SetTimes(&set, &set, &set), ERROR_SUCCESS);
        EXPECT_EQ(file->SetTimes(&later, nullptr, &past2107), ERROR_INVALID_PARAMETER);
        ASSERT_EQ(file->Close(), ERROR_SUCCESS);
    }
    {
        auto file = open();
        ASSERT_EQ(file->SetTimes(&zero, &zero, &ones), ERROR_SUCCESS);
        DWORD written = 0;
        ASSERT_EQ(file->Write(1, "y", 1, &written), ERROR_SUCCESS);
        ASSERT_EQ(file->Close(), ERROR_SUCCESS);
    }
    VolumeEntryInfo info = Info({"T.TXT"});
    EXPECT_EQ(Ticks(info.creationTime), Ticks(set)) << "the refused call changed nothing";
    EXPECT_EQ(Ticks(info.lastWriteTime), Ticks(set)) << "all ones kept the close from stamping";
    EXPECT_EQ(Ticks(info.lastAccessTime), Ticks(FileTimeOf(2024, 5, 3, 0, 0, 0, 0)))
        << "zero did not keep the close from stamping";
    EXPECT_TRUE(FsckClean());
}

TEST_F(FatVolumeTest, AFullFloppyTakesWhatFitsAndSaysDiskFull) {
    MakeMedium({"Fat12Floppy", "", 1440, false});
    std::uint64_t free = *m_volume->FreeBytes();
    std::string bytes = Pattern(free + 5000, 3);
    DWORD error = ERROR_SUCCESS;
    auto file = m_volume->Open({"FULL.BIN"}, VolumeOpen{true, true}, &error);
    ASSERT_TRUE(file) << error;
    DWORD written = 0;
    EXPECT_EQ(file->Write(0, bytes.data(), static_cast<DWORD>(bytes.size()), &written),
              ERROR_DISK_FULL);
    EXPECT_EQ(written, free);
    EXPECT_EQ(file->Write(written, "x", 1, &written), ERROR_DISK_FULL);
    EXPECT_EQ(written, 0u);
    ASSERT_EQ(file->Close(), ERROR_SUCCESS);
    EXPECT_EQ(m_volume->FreeBytes(), 0u);
    EXPECT_TRUE(FsckClean());
    EXPECT_EQ(Mtools("mtype", "::FULL.BIN"), bytes.substr(0, free));
}

TEST_F(FatVolumeTest, DirectoriesGrowByAClusterButTheFixedRootIsFull) {
    const struct {
        MediumFormat format;
        VolumePath directory;
        DWORD rootFull;  // what the entry after the root's last one gets
    } cases[] = {
        {{"Fat12Floppy", "-r 16", 1440, false}, {"SUB"}, ERROR_CANNOT_MAKE},
        {{"Fat32", "-F 32 -s 1", 65536, false}, {}, ERROR_SUCCESS},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.format.name);
        MakeMedium(c.format);
        Mtools("mmd", "::SUB");
        // 40 long names take two entries each: several clusters' worth.
        std::vector<std::string> expected;
        if (c.directory.empty()) expected.push_back("SUB");
        for (int i = 0; i < 40; ++i) {
            VolumePath path = c.directory;
            path.push_back("File number " + std::to_string(i));
            WriteFile(path, {{0, path.back()}});
            expected.push_back(path.back());
        }
        EXPECT_EQ(List(c.directory), expected);
        // The root holds 16 entries (SUB and the label among them).
        for (int i = 0; i < 14; ++i) WriteFile({"F" + std::to_string(i) + ".TXT"}, {{0, "f"}});
        DWORD error = ERROR_SUCCESS;
        auto file = m_volume->Open({"LAST.TXT"}, VolumeOpen{true, true}, &error);
        EXPECT_EQ(error, c.rootFull);
        file.reset();
        EXPECT_TRUE(FsckClean());
        std::string listing = Mtools("mdir -a", c.directory.empty() ? "::" : "::SUB");
        EXPECT_NE(listing.find("File number 39"), std::string::npos) << listing;
        EXPECT_EQ(
            Mtools("mtype", c.directory.empty() ? "'::File number 17'" : "'::SUB/File number 17'"),
            "File number 17");
    }
}

TEST_F(FatVolumeTest, MediaWithoutAFatVolume) {
    const struct {
        const char* name;
        std::function<void()> damage;
        DWORD error;
    } cases[] = {
        {"no medium", [this] { fs::resize_file(m_image, 0); }, ERROR_NOT_READY},
        {"garbage", [this] { Patch(0, Pattern(1440 * 1024, 4)); }, ERROR_UNRECOGNIZED_VOLUME},
        {"no bytes per sector", [this] { Patch(11, std::string(2, '\0')); },
         ERROR_UNRECOGNIZED_VOLUME},
        {"more sectors than the medium", [this] { Patch(19, "\xFF\xFF"); },
         ERROR_UNRECOGNIZED_VOLUME},
        {"FAT too small", [this] { Patch(22, std::string("\x02\x00", 2)); },
         ERROR_UNRECOGNIZED_VOLUME},
        {"partition of another type", [this] { Patch(446 + 4, "\x83"); },
         ERROR_UNRECOGNIZED_VOLUME},
        {"partition past the end", [this] { Patch(446 + 12, std::string("\x00\x00\x01\x00", 4)); },
         ERROR_UNRECOGNIZED_VOLUME},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        bool partitioned = std::string(c.name).find("partition") == 0;
        MakeMedium(partitioned ? MediumFormat{"Fat16InPartition", "-F 16", 16384, true}
                               : MediumFormat{"Fat12Floppy", "", 1440, false});
        m_volume.reset();
        c.damage();
        m_device = std::make_unique<ImageDevice>(m_image, 512, false);
        m_volume = std::make_unique<FatVolume>(*m_device, Clock);
        std::vector<std::string> names;
        VolumeEntryInfo info;
        std::optional<VolumeEntry> entry;
        DWORD error = ERROR_SUCCESS;
        EXPECT_EQ(m_volume->List({}, &names), c.error);
        EXPECT_EQ(m_volume->Info({}, &info), c.error);
        EXPECT_EQ(m_volume->Find({}, "A.TXT", &entry), c.error);
        EXPECT_FALSE(m_volume->Open({"A.TXT"}, VolumeOpen{true, true}, &error));
        EXPECT_EQ(error, c.error);
        EXPECT_EQ(m_volume->FreeBytes(), 0u);
    }
}

// Counts what a volume reads of its medium.
class CountingDevice final : public BlockDevice {
public:
    explicit CountingDevice(BlockDevice& inner) : m_inner(inner) {}
    std::uint32_t SectorSize() const override { return m_inner.SectorSize(); }
    std::uint64_t Size() const override { return m_inner.Size(); }
    bool WriteProtected() const override { return m_inner.WriteProtected(); }
    DWORD Read(std::uint64_t offset, void* buffer, std::size_t bytes) override {
        bytesRead += bytes;
        largest = std::max(largest, bytes);
        return m_inner.Read(offset, buffer, bytes);
    }
    DWORD Write(std::uint64_t offset, const void* buffer, std::size_t bytes) override {
        return m_inner.Write(offset, buffer, bytes);
    }

    std::uint64_t bytesRead = 0;
    std::size_t largest = 0;

private:
    BlockDevice& m_inner;
};

TEST_F(FatVolumeTest, ALargeStickIsNeverReadWhole) {
    // 64 GiB, sparse: its FATs alone take 16 MiB.
    MakeMedium({"Fat32", "-F 32", 64 * 1024 * 1024, false});
    CountingDevice counting(*m_device);
    m_volume = std::make_unique<FatVolume>(counting, Clock);
    WriteFile({"Program image.bin"}, {{0, Pattern(100000, 6)}});
    EXPECT_LT(counting.bytesRead, 1024u * 1024);
    EXPECT_EQ(m_volume->FreeBytes(), MtoolsFreeBytes());
    EXPECT_LE(counting.largest, 64u * 1024);
    EXPECT_TRUE(FsckClean());
}

TEST_F(FatVolumeTest, SeesWhatChangesTheMediumBetweenCalls) {
    MakeMedium({"Fat12Floppy", "", 1440, false});
    WriteFile({"MINE.TXT"}, {{0, "mine"}});
    DWORD error = ERROR_SUCCESS;
    auto file = m_volume->Open({"MINE.TXT"}, VolumeOpen{true}, &error);
    ASSERT_TRUE(file) << error;
    HostFile("other", "other");
    Put("other", "::OTHER.TXT");
    Mtools("mattrib", "+h ::MINE.TXT");
    EXPECT_EQ(List({}), (std::vector<std::string>{"MINE.TXT", "OTHER.TXT"}));
    EXPECT_EQ(Info({"MINE.TXT"}).attributes, FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE);
    Mtools("mdel", "::MINE.TXT");
    std::uint64_t size = 0;
    EXPECT_EQ(file->Size(&size), ERROR_FILE_INVALID);
}

// Chains that loop, as a hostile image may have them, end the walk.
TEST_F(FatVolumeTest, LoopingChainsEndInAnError) {
    MakeMedium({"Fat12Floppy", "", 1440, false});
    Mtools("mmd", "::SUB");
    std::string sources;
    // Fourteen entries and the dot entries fill the folder's one cluster.
    for (int i = 0; i < 14; ++i) {
        HostFile("F" + std::to_string(i), "f");
        sources += "'" + (m_dir / ("F" + std::to_string(i))).string() + "' ";
    }
    Mtools("mcopy", sources + "::SUB/");
    HostFile("chain", Pattern(1500, 5));
    Put("chain", "::CHAIN.BIN");
    // The floppy's root follows the boot sector and two FATs of nine sectors.
    auto firstCluster = [&](const std::string& name) {
        std::string root = Read(19 * 512, 224 * 32);
        std::size_t at = root.find(name);
        EXPECT_EQ(at % 32, 0u) << name;
        return static_cast<std::uint8_t>(root[at + 26]) | static_cast<std::uint8_t>(root[at + 27])
                                                              << 8;
    };
    for (const char* name : {"SUB        ", "CHAIN   BIN"}) {
        // The cluster's FAT12 entry names the cluster itself.
        unsigned cluster = firstCluster(name);
        for (unsigned fat : {512u, 512u + 9 * 512}) {
            std::string pair = Read(fat + cluster * 3 / 2, 2);
            unsigned value = static_cast<std::uint8_t>(pair[0]) | static_cast<std::uint8_t>(pair[1])
                                                                      << 8;
            value = cluster % 2 ? (value & 0x000F) | (cluster << 4) : (value & 0xF000) | cluster;
            Patch(fat + cluster * 3 / 2, {static_cast<char>(value), static_cast<char>(value >> 8)});
        }
    }
    std::vector<std::string> names;
    EXPECT_EQ(m_volume->List({"SUB"}, &names), ERROR_FILE_CORRUPT);
    DWORD error = ERROR_SUCCESS;
    auto file = m_volume->Open({"CHAIN.BIN"}, VolumeOpen{true}, &error);
    ASSERT_TRUE(file) << error;
    DWORD written = 0;
    EXPECT_EQ(file->Write(1500, "more", 4, &written), ERROR_FILE_CORRUPT);
    EXPECT_TRUE(m_volume->Open({"CHAIN.BIN"}, VolumeOpen{true, false, true}, &error)) << error;
}

TEST_F(FatVolumeTest, SearchesOnTheMachineShowHiddenSystemAndFolders) {
    MakeMedium({"Fat12Floppy", "", 1440, false});
    HostFile("x", "x");
    Put("x", "::PLAIN.TXT");
    Put("x", "::IO.SYS");
    Mtools("mattrib", "+h +s ::IO.SYS");
    Mtools("mmd", "::SUB");
    Transcript transcript;
    Kernel kernel(MachineConfig{}, transcript);
    DriveMap drives('C');
    drives.Mount('A', std::move(m_volume));
    ImageDevice locked(m_image, 512, true);
    drives.Mount('B', std::make_unique<FatVolume>(locked, Clock));
    SimDevices devices(kernel);
    SimFiles files(kernel, drives, devices);

    WIN32_FIND_DATAA data;
    HANDLE search = files.FindFirstFileA("A:\\*.*", &data);
    ASSERT_NE(search, INVALID_HANDLE_VALUE);
    std::map<std::string, DWORD> found;
    do {
        found[data.cFileName] = data.dwFileAttributes;
    } while (files.FindNextFileA(search, &data));
    kernel.FindClose(search);
    EXPECT_EQ(
        found,
        (std::map<std::string, DWORD>{
            {"PLAIN.TXT", FILE_ATTRIBUTE_ARCHIVE},
            {"IO.SYS", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE},
            {"SUB", FILE_ATTRIBUTE_DIRECTORY}}));
    EXPECT_EQ(files.CreateFileA("B:\\NEW.TXT", GENERIC_WRITE, 0, CREATE_NEW, 0),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(kernel.GetLastError(), ERROR_WRITE_PROTECT);
}

}  // namespace
}  // namespace veldra::sim::testing
