#include "sim/kernel/kernel.h"

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <stdexcept>

#include "host/civil_time.h"
#include "sim/kernel/named_objects.h"

namespace veldra::sim {

Kernel::Kernel(MachineConfig config, Transcript& transcript)
    : m_config(std::move(config)), m_transcript(transcript) {
    if (m_config.fixedClock) {
        m_nClockBaseMs = host::MillisecondsFromCivil(*m_config.fixedClock);
    } else {
        auto now = std::chrono::system_clock::now();
        std::time_t seconds = std::chrono::system_clock::to_time_t(now);
        std::tm local{};
        if (localtime_r(&seconds, &local) == nullptr) {
            throw std::runtime_error("the host cannot tell its local time");
        }
        m_nClockBaseMs =
            host::MillisecondsFromCivil(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                                        local.tm_hour, local.tm_min, local.tm_sec);
    }
}

Kernel::~Kernel() {
    EndProcess();
}

void Kernel::EndProcess() {
    // The process is gone: nobody is left to hear of a close that failed.
    for (auto& [value, entry] : m_handles) entry.object->Close();
    m_handles.clear();
    for (void* block : m_heapBlocks) std::free(block);
    m_heapBlocks.clear();
}

HANDLE Kernel::AddHandle(HandleKind kind, std::unique_ptr<KernelObject> object) {
    m_nNextHandle += 4;
    m_handles[m_nNextHandle] = Entry{kind, std::move(object)};
    return static_cast<HANDLE>(m_nNextHandle);
}

std::size_t Kernel::OpenHandleCount() const {
    std::size_t count = 0;
    for (const auto& [value, entry] : m_handles) count += entry.kind != HandleKind::Named;
    return count;
}

BOOL Kernel::CloseHandle(HANDLE handle) {
    auto it = m_handles.find(static_cast<std::uintptr_t>(handle));
    if (it == m_handles.end() || it->second.kind == HandleKind::Search) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    // The handle is gone even when the host's close fails, as on Windows.
    DWORD error = it->second.object->Close();
    m_handles.erase(it);
    if (error != ERROR_SUCCESS) {
        SetLastError(error);
        return FALSE;
    }
    return TRUE;
}

BOOL Kernel::FindClose(HANDLE handle) {
    auto it = m_handles.find(static_cast<std::uintptr_t>(handle));
    if (it == m_handles.end() || it->second.kind != HandleKind::Search) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    m_handles.erase(it);
    return TRUE;
}

HANDLE Kernel::OpenMutexA(DWORD desiredAccess, BOOL inheritHandle, const char* name) {
    (void)desiredAccess;
    (void)inheritHandle;
    NamedObjectOpen mutex = OpenNamedMutex(m_config.directory, name, m_config.otherAccountMutexes);
    if (!mutex.object) {
        SetLastError(mutex.error);
        return NULL_HANDLE;
    }
    return AddHandle(HandleKind::Opened, std::move(mutex.object));
}

HANDLE Kernel::CreateMutexA(BOOL initialOwner, const char* name) {
    if (initialOwner) throw NotImplementedError("CreateMutexA with initial ownership");
    NamedObjectOpen mutex =
        CreateNamedMutex(m_config.directory, name, m_config.otherAccountMutexes);
    if (!mutex.object) {
        SetLastError(mutex.error);
        return NULL_HANDLE;
    }
    HANDLE handle = AddHandle(HandleKind::Named, std::move(mutex.object));
    SetLastError(mutex.existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return handle;
}

BOOL Kernel::GetVersionExA(OSVERSIONINFOA* info) {
    constexpr DWORD kPlainSize = sizeof(OSVERSIONINFOA);
    constexpr DWORD kExtendedSize = kPlainSize + 8;  // OSVERSIONINFOEXA
    if (info->dwOSVersionInfoSize != kPlainSize && info->dwOSVersionInfoSize != kExtendedSize) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    if (m_config.versionQueryFails) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    info->dwMajorVersion = m_config.majorVersion;
    info->dwMinorVersion = m_config.minorVersion;
    info->dwBuildNumber = m_config.buildNumber;
    info->dwPlatformId = m_config.platformId;
    std::memset(info->szCSDVersion, 0, sizeof info->szCSDVersion);
    return TRUE;
}

std::string Kernel::GetCommandLineA() {
    if (m_config.commandLine) return *m_config.commandLine;
    return "\"" + m_config.modulePath + "\"";
}

DWORD Kernel::GetModuleFileNameA(char* buffer, DWORD size) {
    const std::string& path = m_config.modulePath;
    if (size == 0) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    if (path.size() < size) {
        std::memcpy(buffer, path.c_str(), path.size() + 1);
        SetLastError(ERROR_SUCCESS);
        return static_cast<DWORD>(path.size());
    }
    // As Windows Vista and later: cut, terminated, and the full size returned.
    std::memcpy(buffer, path.data(), size - 1);
    buffer[size - 1] = '\0';
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return size;
}

BOOL Kernel::MessageBeep(UINT type) {
    m_transcript.Add("beep " + std::to_string(type));
    return TRUE;
}

// The clock is virtual: a sleep returns at once and moves it on exactly.
void Kernel::Sleep(DWORD milliseconds) {
    ++m_nSleepCount;
    m_nSleptMs += milliseconds;
    if (m_clockWatcher) m_clockWatcher(m_nSleptMs);
}

void Kernel::GetLocalTime(SYSTEMTIME* time) {
    *time = host::CivilFromMilliseconds(m_nClockBaseMs + static_cast<std::int64_t>(m_nSleptMs));
}

UINT Kernel::SetErrorMode(UINT mode) {
    UINT previous = m_nErrorMode;
    m_nErrorMode = mode;
    return previous;
}

void* Kernel::HeapAlloc(DWORD flags, std::size_t bytes) {
    if (m_config.heapFails) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    void* block = (flags & HEAP_ZERO_MEMORY) ? std::calloc(1, bytes ? bytes : 1)
                                             : std::malloc(bytes ? bytes : 1);
    if (block == nullptr) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    m_heapBlocks.insert(block);
    return block;
}

BOOL Kernel::HeapFree(void* memory) {
    if (memory == nullptr) return TRUE;
    if (m_heapBlocks.erase(memory) == 0) {
        throw NotImplementedError("HeapFree of a block the heap never gave out");
    }
    std::free(memory);
    return TRUE;
}

}  // namespace veldra::sim
