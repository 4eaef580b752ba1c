#include "sim/devices/image_device.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "sim/kernel/errors.h"

namespace veldra::sim {

ImageDevice::ImageDevice(std::filesystem::path image, std::uint32_t sectorSize, bool writeProtected)
    : m_image(std::move(image)), m_nSectorSize(sectorSize), m_bWriteProtected(writeProtected) {
    m_fd = ::open(m_image.c_str(), (writeProtected ? O_RDONLY : O_RDWR) | O_CLOEXEC);
    struct stat st;
    if (m_fd < 0 || ::fstat(m_fd, &st) != 0) {
        m_nOpenError = Win32ErrorFromErrno(errno);
        return;
    }
    m_nSize = static_cast<std::uint64_t>(st.st_size);
}

ImageDevice::~ImageDevice() {
    if (m_fd >= 0) ::close(m_fd);
}

DWORD ImageDevice::Read(std::uint64_t offset, void* buffer, std::size_t bytes) {
    if (m_nOpenError != ERROR_SUCCESS) return m_nOpenError;
    if (offset > m_nSize || bytes > m_nSize - offset) return ERROR_SECTOR_NOT_FOUND;
    std::size_t done = 0;
    while (done < bytes) {
        ssize_t n = ::pread(m_fd, static_cast<char*>(buffer) + done, bytes - done,
                            static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return Win32ErrorFromErrno(errno);
        if (n == 0) return ERROR_SECTOR_NOT_FOUND;
        done += static_cast<std::size_t>(n);
    }
    return ERROR_SUCCESS;
}

DWORD ImageDevice::Write(std::uint64_t offset, const void* buffer, std::size_t bytes) {
    if (m_nOpenError != ERROR_SUCCESS) return m_nOpenError;
    if (m_bWriteProtected) return ERROR_WRITE_PROTECT;
    if (offset > m_nSize || bytes > m_nSize - offset) return ERROR_SECTOR_NOT_FOUND;
    std::size_t done = 0;
    while (done < bytes) {
        ssize_t n = ::pwrite(m_fd, static_cast<const char*>(buffer) + done, bytes - done,
                             static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return n < 0 ? Win32ErrorFromErrno(errno) : DWORD{ERROR_WRITE_FAULT};
        done += static_cast<std::size_t>(n);
    }
    return ERROR_SUCCESS;
}

}  // namespace veldra::sim
