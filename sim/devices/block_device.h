// A block device of the simulated machine: a disk or a floppy medium, read
// and written in place, one transfer at a time, at 64-bit byte offsets. The
// device layer opens it raw ("\\.\PhysicalDriveN", "\\.\A:"); a FAT volume
// reads its file system from it.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/win32_types.h"

namespace veldra::sim {

class BlockDevice {
public:
    virtual ~BlockDevice() = default;

    virtual std::uint32_t SectorSize() const = 0;
    // Bytes; 0 when no medium is in the drive.
    virtual std::uint64_t Size() const = 0;
    virtual bool WriteProtected() const = 0;

    // ERROR_SUCCESS, or the error to report: ERROR_NOT_READY without a medium,
    // ERROR_WRITE_PROTECT on a write-protected one, ERROR_SECTOR_NOT_FOUND past
    // the end, or the host's error. A transfer is all or nothing.
    virtual DWORD Read(std::uint64_t offset, void* buffer, std::size_t bytes) = 0;
    virtual DWORD Write(std::uint64_t offset, const void* buffer, std::size_t bytes) = 0;
};

// A window onto part of another device (a partition): offsets count from its
// start and stop at its end.
class DeviceWindow final : public BlockDevice {
public:
    DeviceWindow(BlockDevice& device, std::uint64_t start, std::uint64_t size)
        : m_device(device), m_start(start), m_size(size) {}

    std::uint32_t SectorSize() const override { return m_device.SectorSize(); }
    std::uint64_t Size() const override { return m_size; }
    bool WriteProtected() const override { return m_device.WriteProtected(); }
    DWORD Read(std::uint64_t offset, void* buffer, std::size_t bytes) override {
        if (offset > m_size || bytes > m_size - offset) return ERROR_SECTOR_NOT_FOUND;
        return m_device.Read(m_start + offset, buffer, bytes);
    }
    DWORD Write(std::uint64_t offset, const void* buffer, std::size_t bytes) override {
        if (offset > m_size || bytes > m_size - offset) return ERROR_SECTOR_NOT_FOUND;
        return m_device.Write(m_start + offset, buffer, bytes);
    }

private:
    BlockDevice& m_device;
    std::uint64_t m_start;
    std::uint64_t m_size;
};

}  // namespace veldra::sim
