#include "sim/kernel/named_objects.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <string>
#include <utility>

namespace veldra::sim {
namespace {

DWORD LastHostError() {
    return Win32ErrorFromErrno(errno);
}

// One handle on a name: its own open of the name's file, holding a shared
// lock. flock() locks belong to an open of the file, so the handles of one
// program count as well.
class NamedMutex final : public KernelObject {
public:
    explicit NamedMutex(int lockFd) : m_fd(lockFd) {}
    ~NamedMutex() override {
        if (m_fd >= 0) ::close(m_fd);
    }
    NamedMutex(const NamedMutex&) = delete;
    NamedMutex& operator=(const NamedMutex&) = delete;

    DWORD Close() override {
        return ::close(std::exchange(m_fd, -1)) == 0 ? ERROR_SUCCESS : LastHostError();
    }

private:
    int m_fd;
};

std::filesystem::path LockPath(const std::filesystem::path& machineDirectory, const char* name) {
    std::string file = "mutex-";
    for (const char* p = name; *p; ++p) {
        unsigned char c = static_cast<unsigned char>(*p);
        file += std::isalnum(c) ? static_cast<char>(c) : '_';
    }
    return machineDirectory / ".objects" / file;
}

// Serialises looking at a name and taking it among the programs of a machine.
class NameGuard {
public:
    explicit NameGuard(const std::filesystem::path& objects)
        : m_fd(::open((objects / "guard").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644)) {
        if (m_fd < 0) {
            m_error = LastHostError();
        } else if (::flock(m_fd, LOCK_EX) != 0) {
            m_error = LastHostError();
        }
    }
    // Closing gives the lock up; a failure there leaves nothing to undo.
    ~NameGuard() {
        if (m_fd >= 0) ::close(m_fd);
    }
    NameGuard(const NameGuard&) = delete;
    NameGuard& operator=(const NameGuard&) = delete;

    DWORD Error() const { return m_error; }

private:
    int m_fd;
    DWORD m_error = ERROR_SUCCESS;
};

// Whether some handle holds the name: its file is locked by another open.
DWORD NameExists(const std::filesystem::path& lock, bool* exists) {
    *exists = false;
    int fd = ::open(lock.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) return errno == ENOENT ? ERROR_SUCCESS : LastHostError();
    DWORD error = ERROR_SUCCESS;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno == EWOULDBLOCK) {
            *exists = true;
        } else {
            error = LastHostError();
        }
    }
    if (::close(fd) != 0 && error == ERROR_SUCCESS) error = LastHostError();
    return error;
}

NamedObjectOpen HoldName(const std::filesystem::path& lock) {
    NamedObjectOpen result;
    int fd = ::open(lock.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        result.error = LastHostError();
        return result;
    }
    auto mutex = std::make_unique<NamedMutex>(fd);
    if (::flock(fd, LOCK_SH | LOCK_NB) != 0) {
        result.error = LastHostError();
        return result;
    }
    result.object = std::move(mutex);
    return result;
}

bool HeldByAnotherAccount(const OtherAccountMutexes& otherAccounts, const char* name) {
    return std::find(otherAccounts.begin(), otherAccounts.end(), name) != otherAccounts.end();
}

}  // namespace

NamedObjectOpen OpenNamedMutex(const std::filesystem::path& machineDirectory, const char* name,
                               const OtherAccountMutexes& otherAccounts) {
    if (HeldByAnotherAccount(otherAccounts, name)) {
        return NamedObjectOpen{nullptr, ERROR_ACCESS_DENIED, true};
    }
    std::filesystem::path lock = LockPath(machineDirectory, name);
    bool exists = false;
    NameGuard guard(lock.parent_path());
    DWORD error = guard.Error();
    if (error == ERROR_SUCCESS) error = NameExists(lock, &exists);
    if (error == ERROR_SUCCESS && !exists) error = ERROR_FILE_NOT_FOUND;
    if (error != ERROR_SUCCESS) return NamedObjectOpen{nullptr, error, false};
    NamedObjectOpen result = HoldName(lock);
    result.existed = true;
    return result;
}

NamedObjectOpen CreateNamedMutex(const std::filesystem::path& machineDirectory, const char* name,
                                 const OtherAccountMutexes& otherAccounts) {
    if (HeldByAnotherAccount(otherAccounts, name)) {
        return NamedObjectOpen{nullptr, ERROR_ACCESS_DENIED, true};
    }
    std::filesystem::path lock = LockPath(machineDirectory, name);
    std::error_code ec;
    std::filesystem::create_directories(lock.parent_path(), ec);
    if (ec) return NamedObjectOpen{nullptr, Win32ErrorFromErrno(ec.value()), false};
    bool existed = false;
    NameGuard guard(lock.parent_path());
    DWORD error = guard.Error();
    if (error == ERROR_SUCCESS) error = NameExists(lock, &existed);
    if (error != ERROR_SUCCESS) return NamedObjectOpen{nullptr, error, false};
    NamedObjectOpen result = HoldName(lock);
    result.existed = existed;
    return result;
}

}  // namespace veldra::sim
