#include "tools/datafile/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

namespace veldra {
namespace {

bool WriteAll(int fd, std::span<const BYTE> bytes) {
    while (!bytes.empty()) {
        ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        bytes = bytes.subspan(static_cast<std::size_t>(n));
    }
    return true;
}

}  // namespace

void WriteFileAtomically(const std::filesystem::path& path, std::span<const BYTE> bytes) {
    // mkstemp picks a name no one else uses, so two builds cannot meet in it.
    std::string pattern = path.string() + ".tmp.XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    int fd = ::mkstemp(name.data());
    if (fd < 0) {
        throw AtomicWriteError("cannot create '" + pattern + "': " + std::strerror(errno));
    }
    std::filesystem::path temp(name.data());

    // The first step that fails decides the message; errno is saved before
    // the message is built.
    int error = 0;
    const char* failed = nullptr;
    if (!WriteAll(fd, bytes)) {
        error = errno, failed = "write";
    } else if (::fchmod(fd, 0644) != 0) {  // mkstemp made it private; a data file is not
        error = errno, failed = "set the mode of";
    } else if (::fsync(fd) != 0) {
        error = errno, failed = "flush";
    }
    if (::close(fd) != 0 && !failed) error = errno, failed = "close";
    if (!failed && ::rename(temp.c_str(), path.c_str()) != 0) error = errno, failed = "rename";
    if (failed) {
        ::unlink(temp.c_str());
        throw AtomicWriteError(std::string("cannot ") + failed + " '" + temp.string() + "' (for '" +
                               path.string() + "'): " + std::strerror(error));
    }
}

}  // namespace veldra
