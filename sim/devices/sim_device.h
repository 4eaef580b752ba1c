// One device of the simulated machine: a disk or a floppy unit with its
// medium (an image file), the state the machine's faults change (a medium
// pulled, writes that fail, a volume not yet mounted after a new layout), and
// the raw handles opened on it.
#pragma once

#include <memory>

#include "sim/devices/block_device.h"
#include "sim/devices/device_config.h"
#include "sim/devices/image_device.h"
#include "sim/files/volume.h"

namespace veldra::sim {

class SimDevice final : public BlockDevice {
public:
    explicit SimDevice(const DeviceConfig& config);

    const DeviceConfig& Config() const { return m_config; }
    bool MediumPresent() const { return m_pImage != nullptr && !m_bPulled; }
    DISK_GEOMETRY Geometry() const;

    // The medium as the file system sees it.
    std::uint32_t SectorSize() const override { return m_config.bytesPerSector; }
    std::uint64_t Size() const override { return MediumPresent() ? m_pImage->Size() : 0; }
    bool WriteProtected() const override { return m_config.writeProtected; }
    DWORD Read(std::uint64_t offset, void* buffer, std::size_t bytes) override;
    DWORD Write(std::uint64_t offset, const void* buffer, std::size_t bytes) override;

    // A raw write through a device handle: the machine's write faults apply.
    DWORD RawWrite(std::uint64_t offset, const void* buffer, std::size_t bytes);

    // Events the faults follow.
    void FileWritten();
    // Counts a write to a file on the medium's volume; true for the one a
    // "corrupt-file-writes" fault alters.
    bool CorruptsFileWrite() {
        return m_config.corruptFileWrite && ++m_nFileWrites == *m_config.corruptFileWrite;
    }
    void LayoutChanged() { m_nUnmountedLeft = m_config.unmountedCreates; }
    // True when a file creation on the medium's volume must fail because the
    // volume has not been mounted again since the layout changed.
    bool RefuseCreateWhileUnmounted();

private:
    DeviceConfig m_config;
    std::unique_ptr<ImageDevice> m_pImage;
    bool m_bPulled = false;
    int m_nRawWrites = 0;
    int m_nFailedWrites = 0;
    int m_nFilesWritten = 0;
    int m_nFileWrites = 0;
    int m_nUnmountedLeft = 0;
};

// A raw handle's view of a device: the whole disk or floppy, or the volume of
// a drive letter (a disk's first partition). Transfers are whole sectors at
// sector-aligned offsets, as with FILE_FLAG_NO_BUFFERING.
class DeviceFile final : public VolumeFile {
public:
    DeviceFile(SimDevice& device, bool isVolume, DWORD partitionNumber);

    SimDevice& Device() { return m_device; }
    bool IsVolume() const { return m_bVolume; }
    DWORD PartitionNumber() const { return m_nPartitionNumber; }

    DWORD Read(std::uint64_t offset, void* buffer, DWORD bytes, DWORD* read) override;
    DWORD Write(std::uint64_t offset, const void* buffer, DWORD bytes, DWORD* written) override;
    DWORD Size(std::uint64_t* size) override;
    DWORD SetTimes(const FILETIME*, const FILETIME*, const FILETIME*) override {
        return ERROR_INVALID_FUNCTION;
    }
    DWORD Close() override { return ERROR_SUCCESS; }

private:
    DWORD CheckTransfer(std::uint64_t offset, DWORD bytes, std::uint64_t* start) const;

    SimDevice& m_device;
    bool m_bVolume;
    DWORD m_nPartitionNumber;
};

// Where a disk's first partition starts, in bytes: 0 for a medium without a
// partition table (a superfloppy, whose sector 0 is a boot sector).
std::uint64_t FirstPartitionStart(BlockDevice& device);

}  // namespace veldra::sim
