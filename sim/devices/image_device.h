// A block device over an image file on the host, read and written in place
// with pread and pwrite: no cache, no copy in memory, so a sparse image of
// 64 GiB costs what a floppy costs.
#pragma once

#include <filesystem>

#include "sim/devices/block_device.h"

namespace veldra::sim {

class ImageDevice final : public BlockDevice {
public:
    // The image must exist; its size is the medium's size.
    ImageDevice(std::filesystem::path image, std::uint32_t sectorSize, bool writeProtected);
    ~ImageDevice() override;
    ImageDevice(const ImageDevice&) = delete;
    ImageDevice& operator=(const ImageDevice&) = delete;

    // ERROR_SUCCESS when the image could be opened; every transfer fails
    // with this error otherwise.
    DWORD OpenError() const { return m_nOpenError; }

    std::uint32_t SectorSize() const override { return m_nSectorSize; }
    std::uint64_t Size() const override { return m_nSize; }
    bool WriteProtected() const override { return m_bWriteProtected; }
    DWORD Read(std::uint64_t offset, void* buffer, std::size_t bytes) override;
    DWORD Write(std::uint64_t offset, const void* buffer, std::size_t bytes) override;

private:
    std::filesystem::path m_image;
    std::uint32_t m_nSectorSize;
    bool m_bWriteProtected;
    int m_fd = -1;
    std::uint64_t m_nSize = 0;
    DWORD m_nOpenError = ERROR_SUCCESS;
};

}  // namespace veldra::sim
