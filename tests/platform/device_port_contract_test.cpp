// The device port's contract: drive types, raw disks opened like files (with
// their share modes), whole-sector transfers at 64-bit offsets, and the disk
// driver's requests with their buffers and errors. On a disk with a FAT
// volume, what Windows Vista and later demand of a raw writer: volume locks,
// opens of a volume for itself alone, and partition tables read again. Wine
// has no raw disks, so those run on the simulated machine here and against a
// real Windows only.
#include <cstring>
#include <vector>

#include "tests/platform/port_contract.h"

namespace veldra::testing {
namespace {

constexpr std::uint64_t kDiskBytes = std::uint64_t{5} << 30;  // past 4 GiB, sparse

class DeviceContract : public PortContract {
protected:
    bool BootWithDisk() {
        HostSetup setup;
        setup.diskBytes = kDiskBytes;
        return Boot(setup);
    }
    UniqueFileHandle OpenDisk(DWORD share = FILE_SHARE_READ) {
        return UniqueFileHandle(
            sys(), files().CreateFileA(host().DiskPath().c_str(), GENERIC_READ | GENERIC_WRITE,
                                       share, OPEN_EXISTING, FILE_FLAG_NO_BUFFERING));
    }
    BOOL Ask(HANDLE device, DWORD code, void* out, DWORD outSize, DWORD* returned) {
        Stale();
        return devices().DeviceIoControl(device, code, nullptr, 0, out, outSize, returned);
    }
    bool BootWithVolume() {
        HostSetup setup;
        setup.fatVolume = true;
        return Boot(setup);
    }
    UniqueFileHandle OpenVolume(DWORD share) {
        std::string path = "\\\\.\\" + host().VolumeRoot();
        return UniqueFileHandle(
            sys(), files().CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, share,
                                       OPEN_EXISTING, FILE_FLAG_NO_BUFFERING));
    }
    UniqueFileHandle OpenOnVolume(const std::string& name) {
        std::string path = host().VolumeRoot() + "\\" + name;
        return UniqueFileHandle(sys(), files().CreateFileA(path.c_str(), GENERIC_WRITE, 0,
                                                           OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL));
    }
    BOOL Request(HANDLE device, DWORD code) {
        DWORD returned = 0;
        Stale();
        return devices().DeviceIoControl(device, code, nullptr, 0, nullptr, 0, &returned);
    }
    // Writes a sector back with what it holds, and reports the write's error.
    DWORD RewriteSector(HANDLE device, std::uint64_t sector) {
        std::vector<char> bytes(512);
        DWORD moved = 0;
        if (!Seek(device, sector * 512) || !files().ReadFile(device, bytes.data(), 512, &moved))
            return sys().GetLastError();
        Stale();
        if (!Seek(device, sector * 512)) return sys().GetLastError();
        return files().WriteFile(device, bytes.data(), 512, &moved) ? DWORD{ERROR_SUCCESS}
                                                                    : sys().GetLastError();
    }
    bool VolumeThere() {
        return files().GetFileAttributesA((host().VolumeRoot() + "\\").c_str()) !=
               INVALID_FILE_ATTRIBUTES;
    }
    static constexpr std::uint64_t kPartitionStart = 2048;

    bool Seek(HANDLE device, std::uint64_t offset) {
        std::int32_t high = static_cast<std::int32_t>(offset >> 32);
        DWORD low =
            files().SetFilePointer(device, static_cast<std::int32_t>(offset), &high, FILE_BEGIN);
        return ((std::uint64_t{static_cast<std::uint32_t>(high)} << 32) | low) == offset;
    }
};

TEST_P(DeviceContract, DriveTypesOfTheRootPaths) {
    BOOT_OR_SKIP();
    std::string scratchRoot = host().Scratch().substr(0, 2) + "\\";
    EXPECT_EQ(devices().GetDriveTypeA(scratchRoot.c_str()), DRIVE_FIXED);
    std::string unused = std::string(1, host().UnusedDriveLetter()) + ":\\";
    EXPECT_EQ(devices().GetDriveTypeA(unused.c_str()), DRIVE_NO_ROOT_DIR);
}

TEST_P(DeviceContract, ADiskOpensLikeAFileWithItsShareModes) {
    if (!BootWithDisk()) GTEST_SKIP() << GetParam().name << " cannot set this machine up";
    UniqueFileHandle first = OpenDisk(FILE_SHARE_READ);
    ASSERT_TRUE(first) << sys().GetLastError();
    Stale();
    EXPECT_FALSE(OpenDisk(FILE_SHARE_READ));
    EXPECT_EQ(sys().GetLastError(), ERROR_SHARING_VIOLATION);
    first.reset();
    UniqueFileHandle a = OpenDisk(FILE_SHARE_READ | FILE_SHARE_WRITE);
    UniqueFileHandle b = OpenDisk(FILE_SHARE_READ | FILE_SHARE_WRITE);
    EXPECT_TRUE(a && b);
    Stale();
    EXPECT_EQ(files().CreateFileA("\\\\.\\PhysicalDrive63", GENERIC_READ, FILE_SHARE_READ,
                                  OPEN_EXISTING, 0),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(sys().GetLastError(), ERROR_FILE_NOT_FOUND);
}

TEST_P(DeviceContract, WholeSectorsMoveAt64BitOffsets) {
    if (!BootWithDisk()) GTEST_SKIP() << GetParam().name << " cannot set this machine up";
    UniqueFileHandle disk = OpenDisk();
    ASSERT_TRUE(disk);
    std::vector<char> sector(512, 'V'), back(512, 0);
    DWORD moved = 0;
    ASSERT_TRUE(Seek(disk.get(), std::uint64_t{1} << 32));
    EXPECT_TRUE(files().WriteFile(disk.get(), sector.data(), 512, &moved));
    EXPECT_EQ(moved, 512u);
    ASSERT_TRUE(Seek(disk.get(), std::uint64_t{1} << 32));
    EXPECT_TRUE(files().ReadFile(disk.get(), back.data(), 512, &moved));
    EXPECT_EQ(back, sector);
    ASSERT_TRUE(Seek(disk.get(), 0));
    EXPECT_TRUE(files().ReadFile(disk.get(), back.data(), 512, &moved));
    EXPECT_EQ(back, std::vector<char>(512, 0)) << "the write wrapped to the start";
    // Unbuffered device I/O takes whole sectors only.
    Stale();
    EXPECT_FALSE(files().ReadFile(disk.get(), back.data(), 100, &moved));
    EXPECT_EQ(sys().GetLastError(), ERROR_INVALID_PARAMETER);
}

// A 4Kn disk: its sectors, not 512 bytes, are what a transfer moves whole.
TEST_P(DeviceContract, ADiskOfLargerSectorsMovesOnlyWholeSectorsOfItsOwn) {
    HostSetup setup;
    setup.diskBytes = 8 << 20;
    setup.diskSectorBytes = 4096;
    if (!Boot(setup)) GTEST_SKIP() << GetParam().name << " cannot set this machine up";
    UniqueFileHandle disk = OpenDisk();
    ASSERT_TRUE(disk);
    DISK_GEOMETRY geometry{};
    DWORD returned = 0;
    ASSERT_TRUE(
        Ask(disk.get(), IOCTL_DISK_GET_DRIVE_GEOMETRY, &geometry, sizeof geometry, &returned));
    EXPECT_EQ(geometry.BytesPerSector, 4096u);
    std::vector<char> sector(4096, 'K'), back(4096, 0);
    DWORD moved = 0;
    Stale();
    EXPECT_FALSE(files().ReadFile(disk.get(), back.data(), 512, &moved));
    EXPECT_EQ(sys().GetLastError(), ERROR_INVALID_PARAMETER);
    ASSERT_TRUE(Seek(disk.get(), 512));
    Stale();
    EXPECT_FALSE(files().WriteFile(disk.get(), sector.data(), 4096, &moved));
    EXPECT_EQ(sys().GetLastError(), ERROR_INVALID_PARAMETER);
    ASSERT_TRUE(Seek(disk.get(), 4096));
    EXPECT_TRUE(files().WriteFile(disk.get(), sector.data(), 4096, &moved));
    ASSERT_TRUE(Seek(disk.get(), 4096));
    EXPECT_TRUE(files().ReadFile(disk.get(), back.data(), 4096, &moved));
    EXPECT_EQ(back, sector);
}

TEST_P(DeviceContract, GeometryAndDeviceNumberNeedTheirWholeBuffers) {
    if (!BootWithDisk()) GTEST_SKIP() << GetParam().name << " cannot set this machine up";
    UniqueFileHandle disk = OpenDisk();
    ASSERT_TRUE(disk);
    DISK_GEOMETRY geometry{};
    DWORD returned = 0;
    ASSERT_TRUE(
        Ask(disk.get(), IOCTL_DISK_GET_DRIVE_GEOMETRY, &geometry, sizeof geometry, &returned));
    EXPECT_EQ(returned, sizeof geometry);
    EXPECT_EQ(geometry.MediaType, RemovableMedia);
    EXPECT_EQ(geometry.BytesPerSector, 512u);
    std::uint64_t bytes = std::uint64_t(geometry.Cylinders.QuadPart) * geometry.TracksPerCylinder *
                          geometry.SectorsPerTrack * geometry.BytesPerSector;
    EXPECT_LE(bytes, kDiskBytes);
    EXPECT_GT(bytes, kDiskBytes - std::uint64_t{255} * 63 * 512);
    // The length leaves nothing out.
    GET_LENGTH_INFORMATION length{};
    EXPECT_FALSE(Ask(disk.get(), IOCTL_DISK_GET_LENGTH_INFO, &length, 7, &returned));
    EXPECT_EQ(sys().GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    ASSERT_TRUE(Ask(disk.get(), IOCTL_DISK_GET_LENGTH_INFO, &length, sizeof length, &returned));
    EXPECT_EQ(returned, sizeof length);
    EXPECT_EQ(std::uint64_t(length.Length.QuadPart), kDiskBytes);

    STORAGE_DEVICE_NUMBER number{};
    EXPECT_FALSE(Ask(disk.get(), IOCTL_STORAGE_GET_DEVICE_NUMBER, &number, 8, &returned));
    EXPECT_EQ(sys().GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    ASSERT_TRUE(
        Ask(disk.get(), IOCTL_STORAGE_GET_DEVICE_NUMBER, &number, sizeof number, &returned));
    EXPECT_EQ(number.DeviceType, FILE_DEVICE_DISK);
    EXPECT_EQ(number.PartitionNumber, 0u);
}

TEST_P(DeviceContract, ANewLayoutKeepsTheSignatureAndClearsTheEntries) {
    if (!BootWithDisk()) GTEST_SKIP() << GetParam().name << " cannot set this machine up";
    UniqueFileHandle disk = OpenDisk();
    ASSERT_TRUE(disk);
    std::vector<BYTE> layout(kDriveLayoutBufferSize, 0);
    DWORD returned = 0;
    ASSERT_TRUE(Ask(disk.get(), IOCTL_DISK_GET_DRIVE_LAYOUT, layout.data(), kDriveLayoutBufferSize,
                    &returned));
    // A new signature and one FAT16 partition, then the empty table.
    const DWORD signature = 0x56454C44;
    std::memcpy(&layout[4], &signature, 4);
    DWORD count = 4;
    std::memcpy(&layout[0], &count, 4);
    PARTITION_INFORMATION partition{};
    partition.StartingOffset.QuadPart = 2048 * 512;
    partition.PartitionLength.QuadPart = 4096 * 512;
    partition.PartitionType = 0x06;
    partition.RewritePartition = 1;
    std::memcpy(&layout[8], &partition, sizeof partition);
    ASSERT_TRUE(devices().DeviceIoControl(disk.get(), IOCTL_DISK_SET_DRIVE_LAYOUT, layout.data(),
                                          kDriveLayoutBufferSize, nullptr, 0, &returned));
    std::vector<BYTE> read(kDriveLayoutBufferSize, 0xFF);
    ASSERT_TRUE(Ask(disk.get(), IOCTL_DISK_GET_DRIVE_LAYOUT, read.data(), kDriveLayoutBufferSize,
                    &returned));
    DWORD readSignature = 0;
    std::memcpy(&readSignature, &read[4], 4);
    EXPECT_EQ(readSignature, signature);
    PARTITION_INFORMATION first{};
    std::memcpy(&first, &read[8], sizeof first);
    EXPECT_EQ(first.PartitionType, 0x06);
    EXPECT_EQ(first.StartingOffset.QuadPart, 2048 * 512);
    EXPECT_EQ(first.PartitionNumber, 1u);

    EXPECT_FALSE(Ask(disk.get(), IOCTL_DISK_GET_DRIVE_LAYOUT, read.data(), 16, &returned));
    EXPECT_EQ(sys().GetLastError(), ERROR_INSUFFICIENT_BUFFER);
}

TEST_P(DeviceContract, RawWritesIntoAMountedVolumeWaitForItsLockOrDismount) {
    if (!BootWithVolume()) GTEST_SKIP() << GetParam().name << " cannot set this machine up";
    ASSERT_TRUE(VolumeThere());  // mounted
    UniqueFileHandle disk = OpenDisk();
    ASSERT_TRUE(disk);
    EXPECT_EQ(RewriteSector(disk.get(), 0), ERROR_SUCCESS)
        << "the master boot record is no volume's";
    EXPECT_EQ(RewriteSector(disk.get(), kPartitionStart), ERROR_ACCESS_DENIED);

    UniqueFileHandle volume = OpenVolume(FILE_SHARE_READ | FILE_SHARE_WRITE);
    ASSERT_TRUE(volume);
    ASSERT_TRUE(Request(volume.get(), FSCTL_LOCK_VOLUME)) << sys().GetLastError();
    EXPECT_EQ(RewriteSector(disk.get(), kPartitionStart), ERROR_SUCCESS);
    ASSERT_TRUE(Request(volume.get(), FSCTL_UNLOCK_VOLUME));
    EXPECT_EQ(RewriteSector(disk.get(), kPartitionStart), ERROR_ACCESS_DENIED);

    // Dismounted, the volume takes the writes until someone reaches it again.
    ASSERT_TRUE(Request(volume.get(), FSCTL_DISMOUNT_VOLUME));
    EXPECT_EQ(RewriteSector(disk.get(), kPartitionStart), ERROR_SUCCESS);
    ASSERT_TRUE(VolumeThere());
    EXPECT_EQ(RewriteSector(disk.get(), kPartitionStart), ERROR_ACCESS_DENIED);
}

TEST_P(DeviceContract, AVolumeOpenedForItselfAloneWaitsForEveryOtherHandle) {
    if (!BootWithVolume()) GTEST_SKIP() << GetParam().name << " cannot set this machine up";
    UniqueFileHandle file = OpenOnVolume("HELD.TXT");
    ASSERT_TRUE(file);
    Stale();
    EXPECT_FALSE(OpenVolume(FILE_SHARE_READ));
    EXPECT_EQ(sys().GetLastError(), ERROR_SHARING_VIOLATION);
    file.reset();
    UniqueFileHandle volume = OpenVolume(FILE_SHARE_READ);
    ASSERT_TRUE(volume) << sys().GetLastError();
    // Its open holds the volume's lock: nobody else reaches the volume, and
    // its own writes go through.
    Stale();
    EXPECT_FALSE(OpenOnVolume("LATER.TXT"));
    EXPECT_EQ(sys().GetLastError(), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RewriteSector(volume.get(), 1), ERROR_SUCCESS);
    volume.reset();
    EXPECT_TRUE(OpenOnVolume("LATER.TXT"));
}

TEST_P(DeviceContract, ALockWantsTheVolumeToItself) {
    if (!BootWithVolume()) GTEST_SKIP() << GetParam().name << " cannot set this machine up";
    UniqueFileHandle file = OpenOnVolume("HELD.TXT");
    UniqueFileHandle volume = OpenVolume(FILE_SHARE_READ | FILE_SHARE_WRITE);
    ASSERT_TRUE(file && volume);
    EXPECT_FALSE(Request(volume.get(), FSCTL_LOCK_VOLUME));
    EXPECT_EQ(sys().GetLastError(), ERROR_ACCESS_DENIED);
    file.reset();
    ASSERT_TRUE(Request(volume.get(), FSCTL_LOCK_VOLUME)) << sys().GetLastError();
    Stale();
    EXPECT_FALSE(OpenOnVolume("HELD.TXT"));
    EXPECT_EQ(sys().GetLastError(), ERROR_ACCESS_DENIED);
    ASSERT_TRUE(Request(volume.get(), FSCTL_UNLOCK_VOLUME));
    EXPECT_TRUE(OpenOnVolume("HELD.TXT"));
}

TEST_P(DeviceContract, ANewPartitionTableIsSeenOnceReadAgain) {
    if (!BootWithVolume()) GTEST_SKIP() << GetParam().name << " cannot set this machine up";
    UniqueFileHandle disk = OpenDisk();
    ASSERT_TRUE(disk);
    std::vector<BYTE> layout(kDriveLayoutBufferSize, 0);
    DWORD returned = 0;
    ASSERT_TRUE(Ask(disk.get(), IOCTL_DISK_GET_DRIVE_LAYOUT, layout.data(), kDriveLayoutBufferSize,
                    &returned));
    ASSERT_TRUE(devices().DeviceIoControl(disk.get(), IOCTL_DISK_SET_DRIVE_LAYOUT, layout.data(),
                                          kDriveLayoutBufferSize, nullptr, 0, &returned));
    // The same table, written anew: the volume goes, and comes back only
    // after the system has read the table again.
    Stale();
    EXPECT_FALSE(VolumeThere());
    EXPECT_EQ(sys().GetLastError(), ERROR_PATH_NOT_FOUND);
    EXPECT_EQ(devices().GetDriveTypeA((host().VolumeRoot() + "\\").c_str()), DRIVE_NO_ROOT_DIR);
    ASSERT_TRUE(Request(disk.get(), IOCTL_DISK_UPDATE_PROPERTIES)) << sys().GetLastError();
    int waited = 0;
    while (!VolumeThere() && waited < 10000) {
        sys().Sleep(100);
        waited += 100;
    }
    EXPECT_TRUE(VolumeThere());
    EXPECT_EQ(devices().GetDriveTypeA((host().VolumeRoot() + "\\").c_str()), DRIVE_REMOVABLE);
}

INSTANTIATE_PORT_CONTRACT(DeviceContract);

}  // namespace
}  // namespace veldra::testing
