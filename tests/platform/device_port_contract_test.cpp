// The device port's contract: drive types, raw disks opened like files (with
// their share modes), whole-sector transfers at 64-bit offsets, and the disk
// driver's requests with their buffers and errors.
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

INSTANTIATE_PORT_CONTRACT(DeviceContract);

}  // namespace
}  // namespace veldra::testing
