// Drive discovery and raw device access end to end, on simulated machines
// with devices, media and a registry: what the scan finds, and what opening a
// target and moving sectors does to the images.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "disk/disk_info.h"
#include "disk/target_open.h"
#include "sim/machine/scan_report.h"
#include "sim/machine/sim_machine.h"
#include "tests/support/test_machine.h"

namespace veldra::testing {
namespace {

constexpr char kFlpydisk[] =
    "[registry SYSTEM\\CurrentControlSet\\Services\\Flpydisk\\Enum]\nCount = dword:1\n"
    "0 = ACPI\\PNP0700\\0\n"
    "[registry SYSTEM\\CurrentControlSet\\Enum\\ACPI\\PNP0700\\0]\ndeviceDesc = Legacy floppy\n";
constexpr char kSfloppy[] =
    "[registry SYSTEM\\CurrentControlSet\\Services\\Sfloppy\\Enum]\nCount = dword:1\n"
    "0 = USB\\FLOPPY\\1\n"
    "[registry SYSTEM\\CurrentControlSet\\Enum\\USB\\FLOPPY\\1]\nFriendlyName = USB floppy\n";
constexpr char kDisks[] =
    "[registry SYSTEM\\CurrentControlSet\\Services\\Disk\\Enum]\nCount = dword:2\n"
    "0 = IDE\\HD\\0\n1 = USBSTOR\\STICK\\1\n"
    "[registry SYSTEM\\CurrentControlSet\\Enum\\IDE\\HD\\0]\nFriendlyName = Fixed disk\n"
    "[registry SYSTEM\\CurrentControlSet\\Enum\\USBSTOR\\STICK\\1]\n"
    // A friendly name that says no more than the default gives way to deviceDesc.
    "FriendlyName = ディスクドライブ\ndeviceDesc = Stick from deviceDesc\n";

// An image of the given size, sparse, in the machine directory.
void MakeImage(const TestMachine& machine, const std::string& name, std::uint64_t bytes) {
    std::filesystem::path path = machine.Dir() / name;
    std::ofstream(path, std::ios::binary).close();
    std::filesystem::resize_file(path, bytes);
}

std::string Drive(char letter, const std::string& device, const char* type = "removable") {
    return std::string("[drive ") + letter + "]\ntype = " + type + "\ndevice = " + device + "\n";
}

std::vector<std::string> Scan(TestMachine& machine) {
    machine.WriteMachineDescription();
    return sim::ScanReport(sim::LoadMachineDescription(machine.Dir()));
}

struct ScanCase {
    const char* what;
    std::string sections;
    std::vector<std::string> lines;
};

void PrintTo(const ScanCase& c, std::ostream* out) {
    *out << c.what;
}

class DriveScan : public ::testing::TestWithParam<ScanCase> {};

TEST_P(DriveScan, FindsWhatTheDevicesAndTheRegistryAnswer) {
    TestMachine machine;
    MakeImage(machine, "fd.img", 1474560);
    MakeImage(machine, "fd720.img", 737280);
    MakeImage(machine, "disk.img", 64 << 20);
    machine.AddSection(GetParam().sections);
    std::vector<std::string> lines = Scan(machine);
    // C: is the tool's host folder without a device in every case.
    std::erase_if(lines, [](const std::string& line) { return line.rfind("C:", 0) == 0; });
    EXPECT_EQ(lines, GetParam().lines);
}

const ScanCase kScans[] = {
    {"OneLegacyFloppyAndAPhantomB",
     Drive('A', "floppy 0") + Drive('B', "floppy 1") +
         "[floppy 0]\nimage = fd.img\ndevice-number = fails\n"
         "[floppy 1]\nimage = fd.img\ndevice-number = fails\n" +
         kFlpydisk,
     {"A:  removable  floppy  device -    partition -    \"Legacy floppy\"",
      // The floppy driver's key has no name at the next index.
      "B:  dropped    -       device -    partition -    \"ディスクドライブ\""}},
    {"UsbFloppyAfterTheLegacyOneWithAndWithoutMedium",
     Drive('A', "floppy 0") + Drive('F', "floppy 1") + Drive('G', "floppy 2") +
         "[floppy 0]\nimage = fd.img\ndevice-number = fails\n"
         "[floppy 1]\nimage = fd.img\ndevice-number = 1\n"
         "[floppy 2]\nmedium = absent\ndevice-number = 1\n" +
         kFlpydisk + kSfloppy,
     {"A:  removable  floppy  device -    partition -    \"Legacy floppy\"",
      "F:  removable  floppy  device 1    partition 0    \"USB floppy\"",
      "G:  removable  floppy  device 1    partition 0    \"USB floppy\""}},
    {"StickAndFixedDiskNamedFromTheRegistry",
     Drive('D', "disk 0", "fixed") + Drive('E', "disk 1") +
         "[disk 0]\nimage = disk.img\nmedia = fixed\n[disk 1]\nimage = disk.img\n" + kDisks,
     {"D:  fixed      disk    device 0    partition 1    \"Fixed disk\"",
      "E:  removable  disk    device 1    partition 1    \"Stick from deviceDesc\""}},
    {"EmptyRemovableInTheFloppyRangeStaysUnclassified",
     Drive('D', "disk 0") + "[disk 0]\nmedium = absent\n" + kSfloppy,
     {"D:  removable  -       device 0    partition 1    \"ディスクドライブ\""}},
    // A disk tool keeps E: open for writing, sharing both ways: the scan's
    // opens share writing too, and still find the stick.
    {"StickHeldOpenByAnotherProgram",
     Drive('E', "disk 1") + "[disk 1]\nimage = disk.img\n[held-open]\n\\\\.\\E: = read-write\n" +
         kDisks,
     {"E:  removable  disk    device 1    partition 1    \"Stick from deviceDesc\""}},
};

INSTANTIATE_TEST_SUITE_P(Machines, DriveScan, ::testing::ValuesIn(kScans),
                         [](const auto& info) { return std::string(info.param.what); });

// A machine with the devices a target test needs, and the program's view.
class RawAccess : public ::testing::Test {
protected:
    void Boot(const std::string& sections) {
        m_machine.AddSection(sections);
        m_machine.WriteMachineDescription();
        m_sim = std::make_unique<sim::SimMachine>(sim::LoadMachineDescription(m_machine.Dir()),
                                                  sim::OperatorScript(), m_transcript);
        Ports ports = m_sim->ports();
        m_disk = std::make_unique<CDiskInfo>(
            DiskPorts{ports.system, ports.files, ports.devices, ports.registry});
    }

    // The listed record of a letter, as the drive box would offer it.
    DriveRecord& Listed(char letter) {
        m_disk->ListRemovableDrives(m_list, m_table);
        for (int i = 0; i < m_list.Count; ++i) {
            if (m_list.Records[static_cast<std::size_t>(i)].Letters[0] == letter)
                return m_list.Records[static_cast<std::size_t>(i)];
        }
        throw std::runtime_error(std::string("no removable drive ") + letter);
    }

    HANDLE OpenTarget(char letter, CreateTarget& target) {
        target.platformId = VER_PLATFORM_WIN32_NT;
        target.strDrive = std::string(1, letter) + ":";
        target.pDrive = &Listed(letter);
        return OpenTargetWithAttempts(*m_disk, target,
                                      target.pDrive->DeviceClass == DEVCLASS_FLOPPY
                                          ? TargetVolumePath(target)
                                          : TargetGeometryPath(target));
    }

    std::string ImageBytes(const std::string& name, std::uint64_t offset, std::size_t count) {
        std::ifstream in(m_machine.Dir() / name, std::ios::binary);
        in.seekg(static_cast<std::streamoff>(offset));
        std::string bytes(count, '\0');
        in.read(bytes.data(), static_cast<std::streamsize>(count));
        return bytes;
    }

    TestMachine m_machine;
    sim::Transcript m_transcript;
    std::unique_ptr<sim::SimMachine> m_sim;
    std::unique_ptr<CDiskInfo> m_disk;
    DriveList m_list;
    LetterTable m_table;
};

// The drive box offers removable drives only, by their first letter: A and B
// for a floppy program, C to Z for a USB one, in the order found.
TEST(DriveBox, KeepsOnlyTheRemovableDrivesWhoseLetterSuitsTheMedium) {
    struct Drive {
        const char* letters;
        UINT type;
    };
    const Drive drives[] = {
        {"A", DRIVE_REMOVABLE}, {"B", DRIVE_REMOVABLE},  {"C", DRIVE_REMOVABLE},
        {"D", DRIVE_FIXED},     {"E", DRIVE_REMOVABLE},  {"", DRIVE_REMOVABLE},
        {"F", DRIVE_CDROM},     {"GH", DRIVE_REMOVABLE}, {"Z", DRIVE_REMOVABLE}};
    for (bool usb : {false, true}) {
        DriveList list;
        for (const Drive& drive : drives) {
            DriveRecord& record = list.Records[static_cast<std::size_t>(list.Count++)];
            record.Letters = drive.letters;
            record.DriveType = static_cast<std::int32_t>(drive.type);
        }
        // A record past the count, left from a longer list, is none of the list's.
        list.Records[static_cast<std::size_t>(list.Count)].Letters = usb ? "Y" : "B";
        list.Records[static_cast<std::size_t>(list.Count)].DriveType = DRIVE_REMOVABLE;
        KeepDrivesForMedium(list, usb);
        std::vector<std::string> kept;
        for (std::int32_t i = 0; i < list.Count; ++i)
            kept.push_back(list.Records[static_cast<std::size_t>(i)].Letters);
        const std::vector<std::string> expected =
            usb ? std::vector<std::string>{"C", "E", "GH", "Z"}
                : std::vector<std::string>{"A", "B"};
        EXPECT_EQ(kept, expected);
    }
}

TEST_F(RawAccess, AStickIsWrittenAsAWholeDiskAndOnlyItsImageChanges) {
    MakeImage(m_machine, "stick.img", 8 << 20);
    MakeImage(m_machine, "other.img", 8 << 20);
    MakeImage(m_machine, "fd.img", 1474560);
    Boot(Drive('E', "disk 1") + Drive('F', "disk 2") + Drive('A', "floppy 0") +
         Drive('G', "disk 3") + "[disk 3]\nmedium = absent\n" +
         "[disk 1]\nimage = stick.img\n[disk 2]\nimage = other.img\n"
         "[floppy 0]\nimage = fd.img\ndevice-number = fails\n" +
         kFlpydisk);
    CreateTarget target;
    HANDLE device = OpenTarget('E', target);
    ASSERT_NE(device, INVALID_HANDLE_VALUE);
    EXPECT_EQ(target.pDrive->Letters, "E");
    EXPECT_EQ(target.pDrive->State, DRIVE_READY);
    EXPECT_EQ(target.pDrive->BytesPerSector, 512u);
    std::string sector(512, 'S');
    EXPECT_EQ(m_disk->WriteSectors(*target.pDrive, 0, 1, sector.data()), ERROR_SUCCESS);
    EXPECT_EQ(m_disk->WriteSectors(*target.pDrive, 3, 1, sector.data()), ERROR_SUCCESS);
    m_sim->CloseHandle(device);
    // The geometry is stored from a device that answers, and a record is left
    // as it was by one that does not open or has no medium to measure.
    DriveRecord probed = *target.pDrive;
    probed.State = 0;
    probed.Cylinders = 0;
    for (const char* path : {"\\\\.\\PhysicalDrive7", "\\\\.\\PhysicalDrive3"}) {
        EXPECT_EQ(m_disk->ReadGeometry(path, probed), -1) << path;
        EXPECT_EQ(probed.State, 0);
        EXPECT_EQ(probed.Cylinders, 0u);
    }
    EXPECT_EQ(m_disk->ReadGeometry("\\\\.\\PhysicalDrive1", probed), 0);
    EXPECT_EQ(probed.State, DRIVE_READY);
    EXPECT_EQ(probed.Cylinders, target.pDrive->Cylinders);
    // A record that has lost its letters is tied to no disk, not even its number's.
    DriveRecord unlettered = *target.pDrive;
    EXPECT_TRUE(StillOnListedDisk(*m_disk, unlettered));
    unlettered.Letters.clear();
    EXPECT_FALSE(StillOnListedDisk(*m_disk, unlettered));
    EXPECT_FALSE(VolumeOnListedDevice(*m_disk, unlettered));
    EXPECT_EQ(ImageBytes("stick.img", 0, 512), sector);
    EXPECT_EQ(ImageBytes("stick.img", 3 * 512, 512), sector);
    EXPECT_EQ(ImageBytes("other.img", 0, 4 * 512), std::string(4 * 512, '\0'));
    EXPECT_EQ(ImageBytes("fd.img", 0, 4 * 512), std::string(4 * 512, '\0'));
}

TEST_F(RawAccess, SectorsPast4GiBAreReachedWithoutWrapping) {
    MakeImage(m_machine, "big.img", (std::uint64_t{5} << 30));
    Boot(Drive('E', "disk 1") + "[disk 1]\nimage = big.img\n");
    CreateTarget target;
    ASSERT_NE(OpenTarget('E', target), INVALID_HANDLE_VALUE);
    std::string sector(512, 'X');
    constexpr std::uint32_t kLba = 1u << 23;  // byte offset 2^32
    ASSERT_EQ(m_disk->WriteSectors(*target.pDrive, kLba, 1, sector.data()), ERROR_SUCCESS);
    std::string back(512, '\0');
    ASSERT_EQ(m_disk->ReadSectors(*target.pDrive, kLba, 1, back.data()), SectorRead::Read);
    EXPECT_EQ(back, sector);
    m_sim->CloseHandle(target.hDevice);
    EXPECT_EQ(ImageBytes("big.img", std::uint64_t{1} << 32, 512), sector);
    EXPECT_EQ(ImageBytes("big.img", 0, 512), std::string(512, '\0'));
}

struct RefusedTarget {
    const char* what;
    char letter;
    std::string sections;
};

void PrintTo(const RefusedTarget& t, std::ostream* out) {
    *out << t.what;
}

class RefusedTargets : public RawAccess, public ::testing::WithParamInterface<RefusedTarget> {};

// No usable medium looks the same whatever the reason: three attempts, two
// waits of a second on the virtual clock, and no handle.
TEST_P(RefusedTargets, AfterThreeAttemptsTwoSecondsApart) {
    MakeImage(m_machine, "fd720.img", 737280);
    MakeImage(m_machine, "stick.img", 8 << 20);
    Boot(GetParam().sections);
    // With the geometry an earlier creation left in the records: the medium
    // is refused for what the device answers now.
    m_disk->ListRemovableDrives(m_list, m_table);
    for (DriveRecord& record : m_list.Records) record.BytesPerSector = 512;
    CreateTarget target;
    std::uint64_t slept = m_sim->SleptMilliseconds();
    EXPECT_EQ(OpenTarget(GetParam().letter, target), INVALID_HANDLE_VALUE);
    EXPECT_EQ(target.hDevice, INVALID_HANDLE_VALUE);
    EXPECT_EQ(target.pDrive->Device, INVALID_HANDLE_VALUE);
    EXPECT_EQ(m_sim->SleptMilliseconds() - slept, 2000u);
    EXPECT_EQ(m_sim->OpenHandleCount(), 0u);
}

const RefusedTarget kRefused[] = {
    {"PulledStick", 'E', Drive('E', "disk 1") + "[disk 1]\nmedium = absent\n"},
    {"Floppy720K", 'A',
     Drive('A', "floppy 0") +
         "[floppy 0]\nimage = fd720.img\nmedia = 720K\ndevice-number = fails\n" + kFlpydisk},
    {"FixedMediaOnUsb", 'E', Drive('E', "disk 1") + "[disk 1]\nimage = stick.img\nmedia = fixed\n"},
    // Never opened as whatever physical drive its number names: an empty USB
    // floppy numbered 0 among floppies, and a stick that is PhysicalDrive0.
    {"UnclassifiedDrive", 'D',
     Drive('D', "floppy 1") + "[floppy 1]\nmedium = absent\ndevice-number = 0\n" +
         "[disk 0]\nimage = stick.img\n" + kSfloppy},
    // Another program writes to the stick; it is not written to under it.
    {"StickHeldOpenForWriting", 'E',
     Drive('E', "disk 1") +
         "[disk 1]\nimage = stick.img\n[held-open]\n\\\\.\\PhysicalDrive1 = read-write\n"},
    {"SectorSizeZero", 'E',
     Drive('E', "disk 1") + "[disk 1]\nimage = stick.img\nbytes-per-sector = 0\n"},
    {"SectorSizeNoPowerOfTwo", 'E',
     Drive('E', "disk 1") + "[disk 1]\nimage = stick.img\nbytes-per-sector = 520\n"},
    {"SectorLargerThanTheBuffer", 'E',
     Drive('E', "disk 1") + "[disk 1]\nimage = stick.img\nbytes-per-sector = 131072\n"},
};

INSTANTIATE_TEST_SUITE_P(Media, RefusedTargets, ::testing::ValuesIn(kRefused),
                         [](const auto& info) { return std::string(info.param.what); });

TEST_F(RawAccess, SectorIoOnARecordThatIsNotReadyTouchesNothing) {
    MakeImage(m_machine, "stick.img", 8 << 20);
    Boot(Drive('E', "disk 1") + "[disk 1]\nimage = stick.img\n");
    CreateTarget target;
    ASSERT_NE(OpenTarget('E', target), INVALID_HANDLE_VALUE);
    DriveRecord record = *target.pDrive;  // with an open handle
    record.State = 0;
    std::string sector(512, 'Z');
    EXPECT_EQ(m_disk->ReadSectors(record, 0, 1, sector.data()), SectorRead::Failed);
    EXPECT_EQ(sector, std::string(512, 'Z'));
    EXPECT_EQ(m_disk->WriteSectors(record, 0, 1, sector.data()), SECTOR_WRITE_NOT_READY);
    m_sim->CloseHandle(target.hDevice);
    EXPECT_EQ(ImageBytes("stick.img", 0, 512), std::string(512, '\0'));
}

// A REG_SZ stored without its NUL still ends inside the buffer, also when it
// fills the buffer.
TEST_F(RawAccess, RegistryTextWithoutItsNulIsEndedInTheBuffer) {
    Boot("[registry SOFTWARE\\T]\nshort = sz-without-nul:Stick\nlong = sz-without-nul:" +
         std::string(kRegStringBufferSize, 'L') + "\n");
    HKEY key = NULL_HKEY;
    ASSERT_EQ(
        m_sim->ports().registry.RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\T", KEY_READ, &key),
        0);
    char text[kRegStringBufferSize];
    std::fill(std::begin(text), std::end(text), 'X');
    EXPECT_EQ(m_disk->QueryRegString(key, "short", text, sizeof text), 0);
    EXPECT_STREQ(text, "Stick");
    EXPECT_EQ(m_disk->QueryRegString(key, "long", text, sizeof text), 0);
    EXPECT_EQ(std::string(text), std::string(kRegStringBufferSize - 1, 'L'));
}

// As on Windows, the device opens for writing and only its writes fail; the
// target opening asks the driver and keeps no such medium.
TEST_F(RawAccess, AWriteProtectedMediumRefusesWritesWithError19AndIsNoTarget) {
    MakeImage(m_machine, "stick.img", 8 << 20);
    Boot(Drive('E', "disk 1") + "[disk 1]\nimage = stick.img\nwrite-protected = yes\n");
    HANDLE device = m_disk->OpenDevicePath("\\\\.\\PhysicalDrive1");
    ASSERT_NE(device, INVALID_HANDLE_VALUE);
    std::string sector(512, 'W');
    EXPECT_EQ(m_disk->WriteSectorsRaw(device, 0, 512, 1, sector.data()), ERROR_WRITE_PROTECT);
    m_sim->CloseHandle(device);
    CreateTarget target;
    EXPECT_EQ(OpenTarget('E', target), INVALID_HANDLE_VALUE);
    EXPECT_EQ(target.openError, ERROR_WRITE_PROTECT);
}

}  // namespace
}  // namespace veldra::testing
