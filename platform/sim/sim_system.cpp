// Processes and system on the simulated machine: handles, the named mutex
// (a lock file in the machine directory, so that two processes on the same
// machine see each other), version, command line, module path, virtual clock,
// error mode and process heap.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "platform/host/civil_time.h"
#include "platform/sim/sim_machine.h"

namespace veldra::sim {

SimMachine::SimMachine(MachineConfig config, OperatorScript script, Transcript& transcript)
    : m_config(std::move(config)),
      m_script(std::move(script)),
      m_transcript(transcript),
      m_hCursor(static_cast<HCURSOR>(IDC_ARROW)) {
    for (const auto& [letter, drive] : m_config.drives) {
        if (drive.freeBytes) m_freeBytes[letter] = *drive.freeBytes;
    }
    if (m_config.fixedClock) {
        m_nClockBaseMs = host::MillisecondsFromCivil(*m_config.fixedClock);
    } else {
        auto now = std::chrono::system_clock::now();
        std::time_t seconds = std::chrono::system_clock::to_time_t(now);
        std::tm local{};
        localtime_r(&seconds, &local);
        m_nClockBaseMs =
            host::MillisecondsFromCivil(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                                        local.tm_hour, local.tm_min, local.tm_sec);
    }
}

SimMachine::~SimMachine() {
    // The process ends: the system closes what the program left open.
    for (auto& [value, file] : m_files) ::close(file.fd);
    for (auto& [value, mutex] : m_mutexes) {
        if (mutex.lockFd >= 0) ::close(mutex.lockFd);
    }
    for (void* block : m_heapBlocks) std::free(block);
}

HANDLE SimMachine::NewHandle() {
    return static_cast<HANDLE>(m_nNextHandle += 4);
}

DWORD SimMachine::Fail(DWORD error) {
    m_nLastError = error;
    return error;
}

BOOL SimMachine::CloseHandle(HANDLE handle) {
    auto key = static_cast<std::uintptr_t>(handle);
    if (auto file = m_files.find(key); file != m_files.end()) {
        ::close(file->second.fd);
        m_files.erase(file);
        return TRUE;
    }
    if (auto mutex = m_mutexes.find(key); mutex != m_mutexes.end()) {
        if (mutex->second.lockFd >= 0) ::close(mutex->second.lockFd);
        m_mutexes.erase(mutex);
        return TRUE;
    }
    Fail(ERROR_INVALID_HANDLE);
    return FALSE;
}

BOOL SimMachine::FindClose(HANDLE handle) {
    if (m_finds.erase(static_cast<std::uintptr_t>(handle)) == 0) {
        Fail(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}

std::filesystem::path SimMachine::MutexLockPath(const char* name) const {
    std::string file = "mutex-";
    for (const char* p = name; *p; ++p) {
        unsigned char c = static_cast<unsigned char>(*p);
        file += std::isalnum(c) ? static_cast<char>(c) : '_';
    }
    return m_config.directory / ".objects" / file;
}

namespace {

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

// A name exists while some handle, in any program, holds a shared lock on its
// file. flock() locks belong to an open of the file, so the handles of one
// program count as well.
bool NameExists(const std::filesystem::path& lock) {
    int fd = ::open(lock.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) return false;
    bool held = ::flock(fd, LOCK_EX | LOCK_NB) != 0;
    ::close(fd);
    return held;
}

// A new handle on the name: its own open of the file, holding a shared lock.
int HoldName(const std::filesystem::path& lock) {
    int fd = ::open(lock.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd >= 0 && ::flock(fd, LOCK_SH | LOCK_NB) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

}  // namespace

HANDLE SimMachine::OpenMutexA(DWORD desiredAccess, BOOL inheritHandle, const char* name) {
    (void)desiredAccess;
    (void)inheritHandle;
    std::filesystem::path lock = MutexLockPath(name);
    NameGuard guard(lock.parent_path());
    if (!NameExists(lock)) {
        Fail(ERROR_FILE_NOT_FOUND);
        return NULL_HANDLE;
    }
    int fd = HoldName(lock);
    if (fd < 0) {
        Fail(ERROR_ACCESS_DENIED);
        return NULL_HANDLE;
    }
    HANDLE handle = NewHandle();
    m_mutexes[static_cast<std::uintptr_t>(handle)] = MutexObject{fd};
    return handle;
}

HANDLE SimMachine::CreateMutexA(BOOL initialOwner, const char* name) {
    if (initialOwner) throw NotImplementedError("CreateMutexA with initial ownership");
    std::filesystem::path lock = MutexLockPath(name);
    std::error_code ec;
    std::filesystem::create_directories(lock.parent_path(), ec);
    NameGuard guard(lock.parent_path());
    bool existed = NameExists(lock);
    int fd = HoldName(lock);
    if (fd < 0) {
        Fail(ERROR_ACCESS_DENIED);
        return NULL_HANDLE;
    }
    HANDLE handle = NewHandle();
    m_mutexes[static_cast<std::uintptr_t>(handle)] = MutexObject{fd};
    m_nLastError = existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS;
    return handle;
}

BOOL SimMachine::GetVersionExA(OSVERSIONINFOA* info) {
    constexpr DWORD kPlainSize = sizeof(OSVERSIONINFOA);
    constexpr DWORD kExtendedSize = kPlainSize + 8;  // OSVERSIONINFOEXA
    if (info->dwOSVersionInfoSize != kPlainSize && info->dwOSVersionInfoSize != kExtendedSize) {
        Fail(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    if (m_config.versionQueryFails) {
        Fail(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    info->dwMajorVersion = m_config.majorVersion;
    info->dwMinorVersion = m_config.minorVersion;
    info->dwBuildNumber = m_config.buildNumber;
    info->dwPlatformId = m_config.platformId;
    std::memset(info->szCSDVersion, 0, sizeof info->szCSDVersion);
    return TRUE;
}

std::string SimMachine::GetCommandLineA() {
    if (m_config.commandLine) return *m_config.commandLine;
    return "\"" + m_config.modulePath + "\"";
}

DWORD SimMachine::GetModuleFileNameA(char* buffer, DWORD size) {
    const std::string& path = m_config.modulePath;
    if (size == 0) {
        Fail(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    if (path.size() < size) {
        std::memcpy(buffer, path.c_str(), path.size() + 1);
        m_nLastError = ERROR_SUCCESS;
        return static_cast<DWORD>(path.size());
    }
    // As Windows Vista and later: cut, terminated, and the full size returned.
    std::memcpy(buffer, path.data(), size - 1);
    buffer[size - 1] = '\0';
    Fail(ERROR_INSUFFICIENT_BUFFER);
    return size;
}

BOOL SimMachine::MessageBeep(UINT type) {
    m_transcript.Add("beep " + std::to_string(type));
    return TRUE;
}

void SimMachine::Sleep(DWORD milliseconds) {
    ++m_nSleepCount;
    m_nSleptMs += milliseconds;
}

std::int64_t SimMachine::NowMilliseconds() const {
    return m_nClockBaseMs + static_cast<std::int64_t>(m_nSleptMs);
}

void SimMachine::GetLocalTime(SYSTEMTIME* time) {
    *time = host::CivilFromMilliseconds(NowMilliseconds());
}

UINT SimMachine::SetErrorMode(UINT mode) {
    UINT previous = m_nErrorMode;
    m_nErrorMode = mode;
    return previous;
}

void* SimMachine::HeapAlloc(DWORD flags, std::size_t bytes) {
    if (m_config.heapFails) {
        Fail(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    void* block = (flags & HEAP_ZERO_MEMORY) ? std::calloc(1, bytes ? bytes : 1)
                                             : std::malloc(bytes ? bytes : 1);
    if (block == nullptr) {
        Fail(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    m_heapBlocks.insert(block);
    return block;
}

BOOL SimMachine::HeapFree(void* memory) {
    if (memory == nullptr) return TRUE;
    if (m_heapBlocks.erase(memory) == 0) {
        throw NotImplementedError("HeapFree of a block the heap never gave out");
    }
    std::free(memory);
    return TRUE;
}

}  // namespace veldra::sim
