#include "platform/sim/host_volume.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/host/text.h"
#include "platform/sim/host_names.h"

namespace veldra::sim {
namespace {

constexpr std::int64_t kUnixEpochAsFileTimeSeconds = 11644473600LL;

FILETIME FileTimeFromUnix(const struct timespec& t) {
    std::uint64_t ticks =
        static_cast<std::uint64_t>(t.tv_sec + kUnixEpochAsFileTimeSeconds) * 10000000ULL +
        static_cast<std::uint64_t>(t.tv_nsec) / 100;
    return FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

struct timespec UnixFromFileTime(const FILETIME& t) {
    std::int64_t ticks = static_cast<std::int64_t>(
        (static_cast<std::uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime);
    struct timespec out;
    out.tv_sec = static_cast<time_t>(ticks / 10000000 - kUnixEpochAsFileTimeSeconds);
    out.tv_nsec = static_cast<long>(ticks % 10000000 * 100);
    return out;
}

bool HostReadOnly(const std::filesystem::path& host) {
    struct stat st;
    return ::stat(host.c_str(), &st) == 0 && !(st.st_mode & S_IWUSR);
}

void SetHostReadOnly(const std::filesystem::path& host, bool readOnly) {
    struct stat st;
    if (::stat(host.c_str(), &st) != 0) return;
    mode_t mode = st.st_mode & 07777;
    mode = readOnly ? (mode & ~(S_IWUSR | S_IWGRP | S_IWOTH)) : (mode | S_IWUSR);
    ::chmod(host.c_str(), mode);
}

std::string KeyOf(const VolumePath& path) {
    std::string key;
    for (const std::string& name : path) key += "\\" + host::UpperAscii(name);
    return key;
}

}  // namespace

class HostFolderVolume::File final : public VolumeFile {
public:
    File(int fd, HostFolderVolume& volume, std::string key)
        : m_fd(fd), m_volume(volume), m_key(std::move(key)) {}
    ~File() override { ::close(m_fd); }
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    DWORD Read(std::uint64_t offset, void* buffer, DWORD bytes, DWORD* read) override {
        DWORD total = 0;
        while (total < bytes) {
            ssize_t n = ::pread(m_fd, static_cast<char*>(buffer) + total, bytes - total,
                                static_cast<off_t>(offset + total));
            if (n < 0) return ERROR_ACCESS_DENIED;
            if (n == 0) break;
            total += static_cast<DWORD>(n);
        }
        *read = total;
        return ERROR_SUCCESS;
    }

    DWORD Write(std::uint64_t offset, const void* buffer, DWORD bytes, DWORD* written) override {
        std::uint64_t size = 0;
        Size(&size);
        std::uint64_t end = offset + bytes;
        std::uint64_t growth = end > size ? end - size : 0;
        std::optional<std::uint64_t>& free = m_volume.m_freeBytes;
        DWORD allowed = bytes;
        bool full = false;
        if (free && growth > *free) {
            allowed = static_cast<DWORD>(bytes - (growth - *free));
            full = true;
        }
        DWORD total = 0;
        while (total < allowed) {
            ssize_t n = ::pwrite(m_fd, static_cast<const char*>(buffer) + total, allowed - total,
                                 static_cast<off_t>(offset + total));
            if (n <= 0) return ERROR_DISK_FULL;
            total += static_cast<DWORD>(n);
        }
        if (free) {
            std::uint64_t newEnd = offset + total;
            *free -= newEnd > size ? newEnd - size : 0;
        }
        *written = total;
        return full ? ERROR_DISK_FULL : ERROR_SUCCESS;
    }

    DWORD Size(std::uint64_t* size) override {
        struct stat st;
        ::fstat(m_fd, &st);
        *size = static_cast<std::uint64_t>(st.st_size);
        return ERROR_SUCCESS;
    }

    DWORD SetTimes(const FILETIME* creation, const FILETIME* lastAccess,
                   const FILETIME* lastWrite) override {
        if (creation) m_volume.m_creationTimes[m_key] = *creation;
        struct timespec times[2];
        times[0].tv_nsec = UTIME_OMIT;
        times[1].tv_nsec = UTIME_OMIT;
        if (lastAccess) times[0] = UnixFromFileTime(*lastAccess);
        if (lastWrite) times[1] = UnixFromFileTime(*lastWrite);
        ::futimens(m_fd, times);
        return ERROR_SUCCESS;
    }

private:
    int m_fd;
    HostFolderVolume& m_volume;
    std::string m_key;
};

HostFolderVolume::HostFolderVolume(std::filesystem::path root, bool writeProtected,
                                   std::optional<std::uint64_t> freeBytes)
    : m_root(std::move(root)), m_bWriteProtected(writeProtected), m_freeBytes(freeBytes) {}

std::filesystem::path HostFolderVolume::HostPath(const VolumePath& path) const {
    std::filesystem::path host = m_root;
    for (const std::string& name : path) host /= name;
    return host;
}

std::optional<VolumeEntry> HostFolderVolume::Find(const VolumePath& directory,
                                                  const std::string& name) {
    std::filesystem::path folder = HostPath(directory);
    std::optional<std::string> actual = FindHostEntry(folder, name);
    if (!actual) return std::nullopt;
    std::error_code ec;
    return VolumeEntry{*actual, std::filesystem::is_directory(folder / *actual, ec)};
}

std::vector<std::string> HostFolderVolume::List(const VolumePath& directory) {
    return ListHostEntries(HostPath(directory));
}

VolumeEntryInfo HostFolderVolume::Info(const VolumePath& path) {
    std::filesystem::path host = HostPath(path);
    std::string key = KeyOf(path);
    VolumeEntryInfo info;
    std::error_code ec;
    bool isDirectory = std::filesystem::is_directory(host, ec);
    DWORD attributes = isDirectory ? DWORD{FILE_ATTRIBUTE_DIRECTORY} : DWORD{0};
    auto extra = m_extraAttributes.find(key);
    if (extra != m_extraAttributes.end()) {
        attributes |= extra->second;
    } else if (!isDirectory) {
        attributes |= FILE_ATTRIBUTE_ARCHIVE;
    }
    if (!path.empty() && HostReadOnly(host)) attributes |= FILE_ATTRIBUTE_READONLY;
    info.attributes = attributes ? attributes : FILE_ATTRIBUTE_NORMAL;
    struct stat st;
    if (::stat(host.c_str(), &st) == 0) {
        info.lastWriteTime = FileTimeFromUnix(st.st_mtim);
        info.lastAccessTime = FileTimeFromUnix(st.st_atim);
        info.creationTime = info.lastWriteTime;
        if (!isDirectory) info.size = static_cast<std::uint64_t>(st.st_size);
    }
    auto creation = m_creationTimes.find(key);
    if (creation != m_creationTimes.end()) info.creationTime = creation->second;
    return info;
}

void HostFolderVolume::SetAttributes(const VolumePath& path, DWORD attributes) {
    m_extraAttributes[KeyOf(path)] =
        attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE);
    if (!path.empty()) SetHostReadOnly(HostPath(path), attributes & FILE_ATTRIBUTE_READONLY);
}

std::unique_ptr<VolumeFile> HostFolderVolume::Open(const VolumePath& path, const VolumeOpen& how,
                                                   DWORD* error) {
    std::filesystem::path host = HostPath(path);
    std::string key = KeyOf(path);
    std::uint64_t oldSize = 0;
    if (how.truncate) {
        std::error_code ec;
        std::uintmax_t size = std::filesystem::file_size(host, ec);
        if (!ec) oldSize = size;
    }
    int flags = O_CLOEXEC | (how.write || how.truncate ? O_RDWR : O_RDONLY);
    if (how.create) flags |= O_CREAT | O_EXCL;
    if (how.truncate) flags |= O_TRUNC;
    int fd = ::open(host.c_str(), flags, 0644);
    if (fd < 0) {
        *error = errno == ENOENT ? ERROR_PATH_NOT_FOUND : ERROR_ACCESS_DENIED;
        return nullptr;
    }
    // Truncation gives the file's space back to the volume.
    if (how.truncate && m_freeBytes) *m_freeBytes += oldSize;
    if (how.create) {
        DWORD given = how.attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                        FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE);
        m_extraAttributes[key] = (given & ~FILE_ATTRIBUTE_READONLY) | FILE_ATTRIBUTE_ARCHIVE;
        if (given & FILE_ATTRIBUTE_READONLY) SetHostReadOnly(host, true);
        m_creationTimes.erase(key);
    }
    return std::make_unique<File>(fd, *this, key);
}

}  // namespace veldra::sim
