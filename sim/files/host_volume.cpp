#include "sim/files/host_volume.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <utility>

#include "host/civil_time.h"
#include "host/cp932.h"
#include "host/text.h"
#include "sim/kernel/errors.h"

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

DWORD LastHostError() {
    return Win32ErrorFromErrno(errno);
}

DWORD SetHostReadOnly(const std::filesystem::path& host, bool readOnly) {
    struct stat st;
    if (::stat(host.c_str(), &st) != 0) return LastHostError();
    mode_t mode = st.st_mode & 07777;
    mode = readOnly ? (mode & ~(S_IWUSR | S_IWGRP | S_IWOTH)) : (mode | S_IWUSR);
    return ::chmod(host.c_str(), mode) == 0 ? ERROR_SUCCESS : LastHostError();
}

std::string KeyOf(const VolumePath& path) {
    std::string key;
    for (const std::string& name : path) key += "\\" + host::UpperAscii(name);
    return key;
}

// The entries the machine can name (UTF-8), sorted without regard to case,
// as NTFS returns them.
DWORD ListHostEntries(const std::filesystem::path& directory, std::vector<std::string>* names) {
    names->clear();
    std::error_code ec;
    std::filesystem::directory_iterator it(directory, ec);
    for (; !ec && it != std::filesystem::directory_iterator(); it.increment(ec)) {
        std::string name = it->path().filename().string();
        if (host::Utf8ToCp932(name)) names->push_back(name);
    }
    if (ec) return Win32ErrorFromErrno(ec.value());
    std::sort(names->begin(), names->end(), [](const std::string& a, const std::string& b) {
        return host::UpperAscii(a) < host::UpperAscii(b);
    });
    return ERROR_SUCCESS;
}

}  // namespace

class HostFolderVolume::File final : public VolumeFile {
public:
    File(int fd, HostFolderVolume& volume, std::string key)
        : m_fd(fd), m_volume(volume), m_key(std::move(key)) {}
    ~File() override {
        if (m_fd >= 0) ::close(m_fd);
    }
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    DWORD Read(std::uint64_t offset, void* buffer, DWORD bytes, DWORD* read) override {
        DWORD total = 0;
        while (total < bytes) {
            ssize_t n = ::pread(m_fd, static_cast<char*>(buffer) + total, bytes - total,
                                static_cast<off_t>(offset + total));
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) return LastHostError();
            if (n == 0) break;
            total += static_cast<DWORD>(n);
        }
        *read = total;
        return ERROR_SUCCESS;
    }

    DWORD Write(std::uint64_t offset, const void* buffer, DWORD bytes, DWORD* written) override {
        std::uint64_t size = 0;
        if (DWORD error = Size(&size)) return error;
        std::uint64_t end = offset + bytes;
        std::uint64_t growth = end > size ? end - size : 0;
        std::optional<std::uint64_t>& free = m_volume.m_freeBytes;
        DWORD allowed = bytes;
        DWORD error = ERROR_SUCCESS;
        if (free && growth > *free) {
            allowed = static_cast<DWORD>(bytes - (growth - *free));
            error = ERROR_DISK_FULL;
        }
        DWORD total = 0;
        while (total < allowed) {
            ssize_t n = ::pwrite(m_fd, static_cast<const char*>(buffer) + total, allowed - total,
                                 static_cast<off_t>(offset + total));
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                error = n < 0 ? LastHostError() : ERROR_DISK_FULL;
                break;
            }
            total += static_cast<DWORD>(n);
        }
        if (free) {
            std::uint64_t newEnd = offset + total;
            *free -= newEnd > size ? newEnd - size : 0;
        }
        *written = total;
        return error;
    }

    DWORD Size(std::uint64_t* size) override {
        struct stat st;
        if (::fstat(m_fd, &st) != 0) return LastHostError();
        *size = static_cast<std::uint64_t>(st.st_size);
        return ERROR_SUCCESS;
    }

    DWORD SetTimes(const FILETIME* creation, const FILETIME* lastAccess,
                   const FILETIME* lastWrite) override {
        struct timespec times[2];
        times[0].tv_nsec = UTIME_OMIT;
        times[1].tv_nsec = UTIME_OMIT;
        // Zero asks for no change; all ones would also stop the system's own
        // updates through this handle, which the host does not let us do.
        auto given = [](const FILETIME* time) {
            if (time && host::IsAllOnesFileTime(*time))
                throw NotImplementedError("SetFileTime with all ones on a host folder drive");
            return time != nullptr && !host::IsZeroFileTime(*time);
        };
        if (given(lastAccess)) times[0] = UnixFromFileTime(*lastAccess);
        if (given(lastWrite)) times[1] = UnixFromFileTime(*lastWrite);
        if (::futimens(m_fd, times) != 0) return LastHostError();
        if (given(creation)) m_volume.m_creationTimes[m_key] = *creation;
        return ERROR_SUCCESS;
    }

    // The host's own file system answers for its files.
    DWORD Flush() override { return ERROR_SUCCESS; }

    DWORD Close() override {
        return ::close(std::exchange(m_fd, -1)) == 0 ? ERROR_SUCCESS : LastHostError();
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

DWORD HostFolderVolume::Find(const VolumePath& directory, const std::string& name,
                             std::optional<VolumeEntry>* entry) {
    entry->reset();
    std::filesystem::path folder = HostPath(directory);
    std::vector<std::string> names;
    if (DWORD error = ListHostEntries(folder, &names)) return error;
    std::string wanted = host::UpperAscii(name);
    auto actual = std::find_if(names.begin(), names.end(), [&](const std::string& candidate) {
        return host::UpperAscii(candidate) == wanted;
    });
    if (actual == names.end()) return ERROR_SUCCESS;
    struct stat st;
    if (::stat((folder / *actual).c_str(), &st) != 0) {
        // A link that leads nowhere names nothing.
        return errno == ENOENT ? ERROR_SUCCESS : LastHostError();
    }
    *entry = VolumeEntry{*actual, S_ISDIR(st.st_mode)};
    return ERROR_SUCCESS;
}

DWORD HostFolderVolume::List(const VolumePath& directory, std::vector<std::string>* names) {
    return ListHostEntries(HostPath(directory), names);
}

DWORD HostFolderVolume::Info(const VolumePath& path, VolumeEntryInfo* info) {
    struct stat st;
    if (::stat(HostPath(path).c_str(), &st) != 0) return LastHostError();
    std::string key = KeyOf(path);
    bool isDirectory = S_ISDIR(st.st_mode);
    DWORD attributes = isDirectory ? DWORD{FILE_ATTRIBUTE_DIRECTORY} : DWORD{0};
    auto extra = m_extraAttributes.find(key);
    if (extra != m_extraAttributes.end()) {
        attributes |= extra->second;
    } else if (!isDirectory) {
        attributes |= FILE_ATTRIBUTE_ARCHIVE;
    }
    if (!path.empty() && !(st.st_mode & S_IWUSR)) attributes |= FILE_ATTRIBUTE_READONLY;
    *info = VolumeEntryInfo{};
    info->attributes = attributes ? attributes : FILE_ATTRIBUTE_NORMAL;
    info->lastWriteTime = FileTimeFromUnix(st.st_mtim);
    info->lastAccessTime = FileTimeFromUnix(st.st_atim);
    auto creation = m_creationTimes.find(key);
    info->creationTime = creation != m_creationTimes.end() ? creation->second : info->lastWriteTime;
    if (!isDirectory) info->size = static_cast<std::uint64_t>(st.st_size);
    return ERROR_SUCCESS;
}

DWORD HostFolderVolume::SetAttributes(const VolumePath& path, DWORD attributes) {
    if (!path.empty()) {
        if (DWORD error = SetHostReadOnly(HostPath(path), attributes & FILE_ATTRIBUTE_READONLY)) {
            return error;
        }
    }
    m_extraAttributes[KeyOf(path)] =
        attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE);
    return ERROR_SUCCESS;
}

std::unique_ptr<VolumeFile> HostFolderVolume::Open(const VolumePath& path, const VolumeOpen& how,
                                                   DWORD* error) {
    std::string key = KeyOf(path);
    int flags = O_CLOEXEC | (how.write || how.truncate ? O_RDWR : O_RDONLY);
    if (how.create) flags |= O_CREAT | O_EXCL;
    // A new read-only file is made so at once; this open may write it all the same.
    mode_t mode = how.create && (how.attributes & FILE_ATTRIBUTE_READONLY) ? 0444 : 0644;
    int fd = ::open(HostPath(path).c_str(), flags, mode);
    if (fd < 0) {
        *error = LastHostError();
        // Windows calls the folder of a file to be created missing, not the file.
        if (how.create && *error == ERROR_FILE_NOT_FOUND) *error = ERROR_PATH_NOT_FOUND;
        return nullptr;
    }
    auto file = std::make_unique<File>(fd, *this, key);
    if (how.truncate) {
        std::uint64_t oldSize = 0;
        *error = file->Size(&oldSize);
        if (*error == ERROR_SUCCESS && ::ftruncate(fd, 0) != 0) *error = LastHostError();
        if (*error != ERROR_SUCCESS) return nullptr;
        // Truncation gives the file's space back to the volume.
        if (m_freeBytes) *m_freeBytes += oldSize;
    }
    if (how.create) {
        DWORD given = how.attributes &
                      (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE);
        m_extraAttributes[key] = given | FILE_ATTRIBUTE_ARCHIVE;
        m_creationTimes.erase(key);
    }
    return file;
}

}  // namespace veldra::sim
