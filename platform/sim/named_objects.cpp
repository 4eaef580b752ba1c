#include "platform/sim/named_objects.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cctype>
#include <string>

namespace veldra::sim {
namespace {

// One handle on a name: its own open of the name's file, holding a shared
// lock. flock() locks belong to an open of the file, so the handles of one
// program count as well.
class NamedMutex final : public KernelObject {
public:
    explicit NamedMutex(int lockFd) : m_fd(lockFd) {}
    ~NamedMutex() override { ::close(m_fd); }
    NamedMutex(const NamedMutex&) = delete;
    NamedMutex& operator=(const NamedMutex&) = delete;

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
        if (m_fd >= 0) ::flock(m_fd, LOCK_EX);
    }
    ~NameGuard() {
        if (m_fd >= 0) ::close(m_fd);
    }
    NameGuard(const NameGuard&) = delete;
    NameGuard& operator=(const NameGuard&) = delete;

private:
    int m_fd;
};

bool NameExists(const std::filesystem::path& lock) {
    int fd = ::open(lock.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) return false;
    bool held = ::flock(fd, LOCK_EX | LOCK_NB) != 0;
    ::close(fd);
    return held;
}

NamedObjectOpen HoldName(const std::filesystem::path& lock) {
    NamedObjectOpen result;
    int fd = ::open(lock.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd >= 0 && ::flock(fd, LOCK_SH | LOCK_NB) != 0) {
        ::close(fd);
        fd = -1;
    }
    if (fd < 0) {
        result.error = ERROR_ACCESS_DENIED;
        return result;
    }
    result.object = std::make_unique<NamedMutex>(fd);
    return result;
}

}  // namespace

NamedObjectOpen OpenNamedMutex(const std::filesystem::path& machineDirectory, const char* name) {
    std::filesystem::path lock = LockPath(machineDirectory, name);
    NameGuard guard(lock.parent_path());
    if (!NameExists(lock)) return NamedObjectOpen{nullptr, ERROR_FILE_NOT_FOUND, false};
    NamedObjectOpen result = HoldName(lock);
    result.existed = true;
    return result;
}

NamedObjectOpen CreateNamedMutex(const std::filesystem::path& machineDirectory, const char* name) {
    std::filesystem::path lock = LockPath(machineDirectory, name);
    std::error_code ec;
    std::filesystem::create_directories(lock.parent_path(), ec);
    NameGuard guard(lock.parent_path());
    bool existed = NameExists(lock);
    NamedObjectOpen result = HoldName(lock);
    result.existed = existed;
    return result;
}

}  // namespace veldra::sim
