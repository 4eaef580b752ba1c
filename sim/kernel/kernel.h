// The simulated machine's kernel: the handle table, the thread's last error,
// the virtual clock, named objects, the process heap and what the process
// knows of itself (version, command line, module path). It is the
// SystemPort; the other parts put their objects into its handle table.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <set>

#include "platform/system_port.h"
#include "sim/kernel/errors.h"
#include "sim/machine/machine_description.h"
#include "sim/machine/transcript.h"

namespace veldra::sim {

// What a handle stands for.
class KernelObject {
public:
    virtual ~KernelObject() = default;
    // Gives back what the object holds on the host: ERROR_SUCCESS, or the
    // error the host gave.
    virtual DWORD Close() { return ERROR_SUCCESS; }
};

// Which function closes a handle, and whether tests count it as opened.
enum class HandleKind {
    File,    // CloseHandle
    Search,  // FindClose
    Opened,  // CloseHandle; a named object opened to look at it, counted
    Named,   // CloseHandle; a named object created to be held while the process
             // runs, which its end closes: not counted
};

class Kernel : public SystemPort {
public:
    Kernel(MachineConfig config, Transcript& transcript);
    ~Kernel();
    Kernel(const Kernel&) = delete;
    Kernel& operator=(const Kernel&) = delete;

    const MachineConfig& Config() const { return m_config; }
    // The virtual clock: milliseconds since the machine started. Only Sleep
    // moves it.
    std::uint64_t Now() const { return m_nSleptMs; }

    HANDLE AddHandle(HandleKind kind, std::unique_ptr<KernelObject> object);
    // The object behind a handle of this type; nullptr, with
    // ERROR_INVALID_HANDLE, for any other value.
    template <typename T>
    T* Lookup(HANDLE handle) {
        auto it = m_handles.find(static_cast<std::uintptr_t>(handle));
        T* object = it == m_handles.end() ? nullptr : dynamic_cast<T*>(it->second.object.get());
        if (object == nullptr) SetLastError(ERROR_INVALID_HANDLE);
        return object;
    }
    template <typename T, typename Visit>
    void ForEach(Visit visit) const {
        for (const auto& [value, entry] : m_handles) {
            if (auto* object = dynamic_cast<const T*>(entry.object.get())) visit(*object);
        }
    }

    // The process ends: the system closes what the program left open.
    void EndProcess();

    // Called after each Sleep has moved the virtual clock, with the time it
    // has counted since the machine started.
    void WatchClock(std::function<void(std::uint64_t nowMs)> watcher) {
        m_clockWatcher = std::move(watcher);
    }

    // What tests look at.
    std::uint64_t SleepCount() const { return m_nSleepCount; }
    std::uint64_t SleptMilliseconds() const { return m_nSleptMs; }
    std::size_t OpenHandleCount() const;
    std::size_t HeapBlockCount() const { return m_heapBlocks.size(); }
    UINT ErrorMode() const { return m_nErrorMode; }

    // HandleCloser / SystemPort
    BOOL CloseHandle(HANDLE handle) override;
    BOOL FindClose(HANDLE handle) override;
    DWORD GetLastError() const override { return m_nLastError; }
    void SetLastError(DWORD error) override { m_nLastError = error; }
    HANDLE OpenMutexA(DWORD desiredAccess, BOOL inheritHandle, const char* name) override;
    HANDLE CreateMutexA(BOOL initialOwner, const char* name) override;
    BOOL GetVersionExA(OSVERSIONINFOA* info) override;
    std::string GetCommandLineA() override;
    DWORD GetModuleFileNameA(char* buffer, DWORD size) override;
    BOOL MessageBeep(UINT type) override;
    void Sleep(DWORD milliseconds) override;
    void GetLocalTime(SYSTEMTIME* time) override;
    UINT SetErrorMode(UINT mode) override;
    void* HeapAlloc(DWORD flags, std::size_t bytes) override;
    BOOL HeapFree(void* memory) override;

private:
    struct Entry {
        HandleKind kind;
        std::unique_ptr<KernelObject> object;
    };

    MachineConfig m_config;
    Transcript& m_transcript;

    DWORD m_nLastError = ERROR_SUCCESS;
    std::uintptr_t m_nNextHandle = 0x100;
    std::map<std::uintptr_t, Entry> m_handles;
    std::set<void*> m_heapBlocks;
    UINT m_nErrorMode = 0;
    std::uint64_t m_nSleepCount = 0;
    std::uint64_t m_nSleptMs = 0;
    std::int64_t m_nClockBaseMs = 0;
    std::function<void(std::uint64_t)> m_clockWatcher;
};

}  // namespace veldra::sim
