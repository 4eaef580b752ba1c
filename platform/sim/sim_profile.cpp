// Private-profile files on the simulated machine: the file is read whole and
// rewritten whole, as the rules of profile_rules decide.
#include <fcntl.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <sstream>

#include "platform/sim/profile_rules.h"
#include "platform/sim/sim_machine.h"

namespace veldra::sim {

std::optional<std::string> SimMachine::ReadHostFile(const ResolvedPath& path) {
    if (path.error != ERROR_SUCCESS || !path.exists || path.isDirectory || IsGone(path.key)) {
        return std::nullopt;
    }
    // The profile functions share reading and writing with other openers.
    if (ShareConflicts(path.key, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE)) {
        return std::nullopt;
    }
    std::ifstream in(path.host, std::ios::binary);
    if (!in) return std::nullopt;
    std::ostringstream contents;
    contents << in.rdbuf();
    return contents.str();
}

DWORD SimMachine::GetPrivateProfileStringA(const char* section, const char* key,
                                           const char* defaultValue, char* buffer, DWORD size,
                                           const char* fileName) {
    if (section == nullptr || key == nullptr) {
        throw NotImplementedError("GetPrivateProfileStringA listing sections or keys");
    }
    if (size == 0) return 0;
    ProfileRead read = ProfileGetString(ReadHostFile(Resolve(fileName)), section, key,
                                        defaultValue ? defaultValue : "", size);
    std::memcpy(buffer, read.value.data(), read.returned);
    buffer[read.returned] = '\0';
    return read.returned;
}

UINT SimMachine::GetPrivateProfileIntA(const char* section, const char* key, int defaultValue,
                                       const char* fileName) {
    return ProfileGetInt(ReadHostFile(Resolve(fileName)), section, key, defaultValue);
}

BOOL SimMachine::WritePrivateProfileStringA(const char* section, const char* key, const char* value,
                                            const char* fileName) {
    if (section == nullptr || key == nullptr || value == nullptr) {
        throw NotImplementedError("WritePrivateProfileStringA deleting a section or key");
    }
    ResolvedPath path = Resolve(fileName);
    if (path.error != ERROR_SUCCESS) {
        Fail(path.error);
        return FALSE;
    }
    if (path.isDirectory) {
        Fail(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    if (path.drive->readOnly) {
        Fail(ERROR_WRITE_PROTECT);
        return FALSE;
    }
    if (path.exists && (GetFileAttributesA(fileName) & FILE_ATTRIBUTE_READONLY)) {
        Fail(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    if (path.exists && ShareConflicts(path.key, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ)) {
        Fail(ERROR_SHARING_VIOLATION);
        return FALSE;
    }
    std::optional<std::string> old = ReadHostFile(path);
    std::string contents = ProfileWriteString(old, section, key, value);
    std::uint64_t oldSize = old ? old->size() : 0;
    auto free = m_freeBytes.find(path.drive->letter);
    if (free != m_freeBytes.end() && contents.size() > oldSize &&
        contents.size() - oldSize > free->second) {
        Fail(ERROR_DISK_FULL);
        return FALSE;
    }
    int fd = ::open(path.host.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        Fail(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    bool complete =
        ::write(fd, contents.data(), contents.size()) == static_cast<ssize_t>(contents.size());
    ::close(fd);
    if (!complete) {
        Fail(ERROR_DISK_FULL);
        return FALSE;
    }
    if (free != m_freeBytes.end() && contents.size() > oldSize) {
        free->second -= contents.size() - oldSize;
    }
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}

}  // namespace veldra::sim
