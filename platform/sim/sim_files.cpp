// Files and directories on the simulated machine's drives, with Windows'
// share modes, the read-only attribute, read-only drives and full disks.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

#include "platform/host/cp932.h"
#include "platform/host/text.h"
#include "platform/sim/host_names.h"
#include "platform/sim/sim_machine.h"

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

}  // namespace

SimMachine::OpenFile* SimMachine::FindOpenFile(HANDLE handle) {
    return Lookup<OpenFile>(handle);
}

// Windows refuses an open when its access is not shared by an existing open,
// or when its own share mode does not admit an existing open's access.
// An open without data access (0, to query) neither checks nor restricts sharing.
bool SimMachine::ShareConflicts(const std::string& key, DWORD access, DWORD share) const {
    constexpr DWORD kDataAccess = GENERIC_READ | GENERIC_WRITE;
    if (!(access & kDataAccess)) return false;
    auto conflicts = [&](DWORD otherAccess, DWORD otherShare) {
        if (!(otherAccess & kDataAccess)) return false;
        if ((access & GENERIC_READ) && !(otherShare & FILE_SHARE_READ)) return true;
        if ((access & GENERIC_WRITE) && !(otherShare & FILE_SHARE_WRITE)) return true;
        if ((otherAccess & GENERIC_READ) && !(share & FILE_SHARE_READ)) return true;
        if ((otherAccess & GENERIC_WRITE) && !(share & FILE_SHARE_WRITE)) return true;
        return false;
    };
    bool conflict = false;
    ForEach<OpenFile>([&](const OpenFile& file) {
        conflict = conflict || (file.key == key && conflicts(file.access, file.share));
    });
    if (conflict) return true;
    for (const HeldOpenFile& held : m_config.heldOpen) {
        ResolvedPath other = const_cast<SimMachine*>(this)->Resolve(held.path.c_str());
        if (other.error == ERROR_SUCCESS && other.key == key &&
            conflicts(held.access, held.shareMode)) {
            return true;
        }
    }
    return false;
}

// The opens a vanishing file has left; nullptr for any other file.
int* SimMachine::OpensLeft(const std::string& key) {
    auto left = m_opensLeft.find(key);
    if (left == m_opensLeft.end()) {
        for (const VanishingFile& file : m_config.vanishing) {
            ResolvedPath vanishing = Resolve(file.path.c_str());
            if (vanishing.error == ERROR_SUCCESS && vanishing.key == key) {
                left = m_opensLeft.emplace(key, file.opensBeforeVanishing).first;
                break;
            }
        }
        if (left == m_opensLeft.end()) return nullptr;
    }
    return &left->second;
}

// Counts the opens of a vanishing file; true once it is gone.
bool SimMachine::HasVanished(const ResolvedPath& path) {
    int* left = OpensLeft(path.key);
    if (left == nullptr) return false;
    if (*left == 0) return true;
    --*left;
    return false;
}

// Once gone, the file is missing for every other look at it too.
bool SimMachine::IsGone(const std::string& key) {
    int* left = OpensLeft(key);
    return left != nullptr && *left == 0;
}

DWORD SimMachine::AttributesOf(const ResolvedPath& path) const {
    DWORD attributes = path.isDirectory ? DWORD{FILE_ATTRIBUTE_DIRECTORY} : DWORD{0};
    auto extra = m_extraAttributes.find(path.key);
    if (extra != m_extraAttributes.end()) {
        attributes |= extra->second;
    } else if (!path.isDirectory) {
        attributes |= FILE_ATTRIBUTE_ARCHIVE;
    }
    if (!path.isRoot && HostReadOnly(path.host)) attributes |= FILE_ATTRIBUTE_READONLY;
    return attributes ? attributes : FILE_ATTRIBUTE_NORMAL;
}

HANDLE SimMachine::CreateFileA(const char* fileName, DWORD desiredAccess, DWORD shareMode,
                               DWORD creationDisposition, DWORD flagsAndAttributes) {
    ResolvedPath path = Resolve(fileName);
    if (path.error != ERROR_SUCCESS) {
        Fail(path.error);
        return INVALID_HANDLE_VALUE;
    }
    bool wantsWrite = (desiredAccess & GENERIC_WRITE) != 0;
    bool creates = creationDisposition == CREATE_NEW || creationDisposition == CREATE_ALWAYS ||
                   creationDisposition == OPEN_ALWAYS;
    if (creationDisposition < CREATE_NEW || creationDisposition > TRUNCATE_EXISTING) {
        Fail(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    if (path.isDirectory) {
        if (!(flagsAndAttributes & FILE_FLAG_BACKUP_SEMANTICS)) {
            Fail(ERROR_ACCESS_DENIED);
            return INVALID_HANDLE_VALUE;
        }
        throw NotImplementedError("CreateFileA on a directory");
    }
    if (path.exists && HasVanished(path)) {
        Fail(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    if (!path.exists &&
        (creationDisposition == OPEN_EXISTING || creationDisposition == TRUNCATE_EXISTING)) {
        Fail(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    if (path.exists && creationDisposition == CREATE_NEW) {
        Fail(ERROR_FILE_EXISTS);
        return INVALID_HANDLE_VALUE;
    }
    bool truncates = path.exists && (creationDisposition == CREATE_ALWAYS ||
                                     creationDisposition == TRUNCATE_EXISTING);
    if (path.drive->readOnly && (wantsWrite || truncates || (!path.exists && creates))) {
        Fail(ERROR_WRITE_PROTECT);
        return INVALID_HANDLE_VALUE;
    }
    if (path.exists && (wantsWrite || truncates) && HostReadOnly(path.host)) {
        Fail(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    if (path.exists && ShareConflicts(path.key, desiredAccess, shareMode)) {
        Fail(ERROR_SHARING_VIOLATION);
        return INVALID_HANDLE_VALUE;
    }

    std::uint64_t oldSize = 0;
    if (truncates) {
        std::error_code ec;
        std::uintmax_t size = std::filesystem::file_size(path.host, ec);
        if (!ec) oldSize = size;
    }
    int flags = O_CLOEXEC | (wantsWrite || truncates ? O_RDWR : O_RDONLY);
    if (!path.exists) flags |= O_CREAT | O_EXCL;
    if (truncates) flags |= O_TRUNC;
    int fd = ::open(path.host.c_str(), flags, 0644);
    if (fd < 0) {
        Fail(errno == ENOENT ? ERROR_PATH_NOT_FOUND : ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    // Truncation gives the file's space back to its drive.
    auto free = m_freeBytes.find(path.drive->letter);
    if (truncates && free != m_freeBytes.end()) free->second += oldSize;
    if (!path.exists) {
        DWORD given = flagsAndAttributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                            FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE);
        m_extraAttributes[path.key] = (given & ~FILE_ATTRIBUTE_READONLY) | FILE_ATTRIBUTE_ARCHIVE;
        if (given & FILE_ATTRIBUTE_READONLY) SetHostReadOnly(path.host, true);
        m_creationTimes.erase(path.key);
    }

    HANDLE handle = AddHandle(
        HandleKind::File,
        std::make_unique<OpenFile>(fd, path.key, path.host, path.drive, desiredAccess, shareMode));
    bool reportsExisting =
        path.exists && (creationDisposition == CREATE_ALWAYS || creationDisposition == OPEN_ALWAYS);
    SetLastError(reportsExisting ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return handle;
}

BOOL SimMachine::ReadFile(HANDLE handle, void* buffer, DWORD bytesToRead, DWORD* bytesRead) {
    if (bytesRead) *bytesRead = 0;
    OpenFile* file = FindOpenFile(handle);
    if (!file) return FALSE;
    if (!(file->access & GENERIC_READ)) {
        Fail(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    DWORD total = 0;
    while (total < bytesToRead) {
        ssize_t n = ::pread(file->fd, static_cast<char*>(buffer) + total, bytesToRead - total,
                            static_cast<off_t>(file->position + total));
        if (n < 0) {
            Fail(ERROR_ACCESS_DENIED);
            return FALSE;
        }
        if (n == 0) break;
        total += static_cast<DWORD>(n);
    }
    file->position += total;
    if (bytesRead) *bytesRead = total;
    return TRUE;
}

BOOL SimMachine::WriteFile(HANDLE handle, const void* buffer, DWORD bytesToWrite,
                           DWORD* bytesWritten) {
    if (bytesWritten) *bytesWritten = 0;
    OpenFile* file = FindOpenFile(handle);
    if (!file) return FALSE;
    if (!(file->access & GENERIC_WRITE)) {
        Fail(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    struct stat st;
    ::fstat(file->fd, &st);
    std::uint64_t size = static_cast<std::uint64_t>(st.st_size);
    std::uint64_t end = file->position + bytesToWrite;
    std::uint64_t growth = end > size ? end - size : 0;
    DWORD allowed = bytesToWrite;
    bool full = false;
    auto free = m_freeBytes.find(file->drive->letter);
    if (free != m_freeBytes.end() && growth > free->second) {
        allowed = static_cast<DWORD>(bytesToWrite - (growth - free->second));
        full = true;
    }
    DWORD total = 0;
    while (total < allowed) {
        ssize_t n = ::pwrite(file->fd, static_cast<const char*>(buffer) + total, allowed - total,
                             static_cast<off_t>(file->position + total));
        if (n <= 0) {
            Fail(ERROR_DISK_FULL);
            return FALSE;
        }
        total += static_cast<DWORD>(n);
    }
    if (free != m_freeBytes.end()) {
        std::uint64_t newEnd = file->position + total;
        free->second -= newEnd > size ? newEnd - size : 0;
    }
    file->position += total;
    if (bytesWritten) *bytesWritten = total;
    if (full) {
        Fail(ERROR_DISK_FULL);
        return FALSE;
    }
    return TRUE;
}

DWORD SimMachine::SetFilePointer(HANDLE handle, std::int32_t distance, std::int32_t* distanceHigh,
                                 DWORD moveMethod) {
    OpenFile* file = FindOpenFile(handle);
    if (!file) return INVALID_SET_FILE_POINTER;
    std::int64_t move =
        distanceHigh
            ? static_cast<std::int64_t>(
                  (static_cast<std::uint64_t>(static_cast<std::uint32_t>(*distanceHigh)) << 32) |
                  static_cast<std::uint32_t>(distance))
            : static_cast<std::int64_t>(distance);
    std::int64_t base = 0;
    if (moveMethod == FILE_CURRENT) {
        base = static_cast<std::int64_t>(file->position);
    } else if (moveMethod == FILE_END) {
        struct stat st;
        ::fstat(file->fd, &st);
        base = st.st_size;
    } else if (moveMethod != FILE_BEGIN) {
        Fail(ERROR_INVALID_PARAMETER);
        return INVALID_SET_FILE_POINTER;
    }
    std::int64_t target = base + move;
    if (target < 0) {
        Fail(ERROR_NEGATIVE_SEEK);
        return INVALID_SET_FILE_POINTER;
    }
    if (!distanceHigh && target > 0xFFFFFFFELL) {
        // The low half alone could not report this position.
        Fail(ERROR_INVALID_PARAMETER);
        return INVALID_SET_FILE_POINTER;
    }
    file->position = static_cast<std::uint64_t>(target);
    if (distanceHigh) *distanceHigh = static_cast<std::int32_t>(file->position >> 32);
    SetLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(file->position);
}

DWORD SimMachine::GetFileSize(HANDLE handle, DWORD* fileSizeHigh) {
    OpenFile* file = FindOpenFile(handle);
    if (!file) return INVALID_FILE_SIZE;
    struct stat st;
    ::fstat(file->fd, &st);
    std::uint64_t size = static_cast<std::uint64_t>(st.st_size);
    if (fileSizeHigh) *fileSizeHigh = static_cast<DWORD>(size >> 32);
    SetLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(size);
}

BOOL SimMachine::SetFileTime(HANDLE handle, const FILETIME* creation, const FILETIME* lastAccess,
                             const FILETIME* lastWrite) {
    OpenFile* file = FindOpenFile(handle);
    if (!file) return FALSE;
    if (!(file->access & GENERIC_WRITE)) {
        Fail(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    if (creation) m_creationTimes[file->key] = *creation;
    struct timespec times[2];
    times[0].tv_nsec = UTIME_OMIT;
    times[1].tv_nsec = UTIME_OMIT;
    if (lastAccess) times[0] = UnixFromFileTime(*lastAccess);
    if (lastWrite) times[1] = UnixFromFileTime(*lastWrite);
    ::futimens(file->fd, times);
    return TRUE;
}

DWORD SimMachine::GetFileAttributesA(const char* fileName) {
    ResolvedPath path = Resolve(fileName);
    if (path.error != ERROR_SUCCESS || !path.exists || IsGone(path.key)) {
        Fail(path.error != ERROR_SUCCESS ? path.error : ERROR_FILE_NOT_FOUND);
        return INVALID_FILE_ATTRIBUTES;
    }
    return AttributesOf(path);
}

BOOL SimMachine::SetFileAttributesA(const char* fileName, DWORD attributes) {
    ResolvedPath path = Resolve(fileName);
    if (path.error != ERROR_SUCCESS || !path.exists) {
        Fail(path.error != ERROR_SUCCESS ? path.error : ERROR_FILE_NOT_FOUND);
        return FALSE;
    }
    if (path.drive->readOnly) {
        Fail(ERROR_WRITE_PROTECT);
        return FALSE;
    }
    m_extraAttributes[path.key] =
        attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE);
    if (!path.isRoot) SetHostReadOnly(path.host, attributes & FILE_ATTRIBUTE_READONLY);
    return TRUE;
}

WIN32_FIND_DATAA SimMachine::FindDataFor(const std::filesystem::path& host,
                                         const std::string& cp932Name,
                                         const std::string& key) const {
    WIN32_FIND_DATAA data;
    ResolvedPath entry;
    entry.host = host;
    entry.key = key;
    entry.exists = true;
    std::error_code ec;
    entry.isDirectory = std::filesystem::is_directory(host, ec);
    data.dwFileAttributes = AttributesOf(entry);
    struct stat st;
    if (::stat(host.c_str(), &st) == 0) {
        data.ftLastWriteTime = FileTimeFromUnix(st.st_mtim);
        data.ftLastAccessTime = FileTimeFromUnix(st.st_atim);
        data.ftCreationTime = data.ftLastWriteTime;
        if (!entry.isDirectory) {
            data.nFileSizeLow = static_cast<DWORD>(st.st_size);
            data.nFileSizeHigh = static_cast<DWORD>(static_cast<std::uint64_t>(st.st_size) >> 32);
        }
    }
    auto creation = m_creationTimes.find(key);
    if (creation != m_creationTimes.end()) data.ftCreationTime = creation->second;
    std::size_t length = std::min(cp932Name.size(), sizeof data.cFileName - 1);
    std::memcpy(data.cFileName, cp932Name.data(), length);
    return data;
}

HANDLE SimMachine::FindFirstFileA(const char* pattern, WIN32_FIND_DATAA* data) {
    auto utf8 = host::Cp932ToUtf8(pattern);
    if (!utf8) {
        Fail(ERROR_INVALID_NAME);
        return INVALID_HANDLE_VALUE;
    }
    std::size_t separator = utf8->find_last_of("\\/");
    FindState state;
    if (separator == std::string::npos && utf8->size() == 2 && (*utf8)[1] == ':') {
        // A bare drive names its current directory, which is the root here.
        ResolvedPath root = Resolve(pattern);
        if (root.error != ERROR_SUCCESS) {
            Fail(root.error);
            return INVALID_HANDLE_VALUE;
        }
        state.remaining.push_back(FindDataFor(root.host, ".", root.key));
    } else {
        std::string directory =
            separator == std::string::npos ? "" : utf8->substr(0, separator + 1);
        std::string namePattern =
            separator == std::string::npos ? *utf8 : utf8->substr(separator + 1);
        if (namePattern.empty()) {
            Fail(ERROR_FILE_NOT_FOUND);
            return INVALID_HANDLE_VALUE;
        }
        ResolvedPath parent =
            Resolve(host::Utf8ToCp932(directory.empty() ? "." : directory)->c_str());
        if (parent.error != ERROR_SUCCESS || !parent.exists || !parent.isDirectory) {
            Fail(parent.error != ERROR_SUCCESS ? parent.error : ERROR_PATH_NOT_FOUND);
            return INVALID_HANDLE_VALUE;
        }
        std::string prefix = parent.isRoot ? parent.key : parent.key + "\\";
        if (!parent.isRoot) {
            for (const char* dots : {".", ".."}) {
                if (MatchesWildcard(namePattern, dots)) {
                    state.remaining.push_back(FindDataFor(parent.host, dots, parent.key));
                }
            }
        }
        for (const std::string& name : ListHostEntries(parent.host)) {
            if (!MatchesWildcard(namePattern, name)) continue;
            std::string key = prefix + host::UpperAscii(name);
            if (IsGone(key)) continue;
            state.remaining.push_back(
                FindDataFor(parent.host / name, *host::Utf8ToCp932(name), key));
        }
    }
    if (state.remaining.empty()) {
        Fail(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    *data = state.remaining.front();
    state.remaining.pop_front();
    HANDLE handle = AddHandle(HandleKind::Search, std::make_unique<FindState>(std::move(state)));
    SetLastError(ERROR_SUCCESS);
    return handle;
}

BOOL SimMachine::FindNextFileA(HANDLE find, WIN32_FIND_DATAA* data) {
    FindState* state = Lookup<FindState>(find);
    if (state == nullptr) return FALSE;
    if (state->remaining.empty()) {
        Fail(ERROR_NO_MORE_FILES);
        return FALSE;
    }
    *data = state->remaining.front();
    state->remaining.pop_front();
    return TRUE;
}

}  // namespace veldra::sim
