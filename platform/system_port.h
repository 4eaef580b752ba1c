// Processes and system: kernel32's single-instance mutex, version, command
// line, module path, beep, sleep, local time, error mode and process heap.
//
// The contract is Win32's. A mutex function that fails returns NULL_HANDLE and
// sets the last error; OpenMutexA on a name nobody created fails with
// ERROR_FILE_NOT_FOUND; CreateMutexA on an existing name returns a handle and
// sets ERROR_ALREADY_EXISTS. GetModuleFileNameA copies at most size - 1
// characters and a NUL; when the path does not fit it returns size and sets
// ERROR_INSUFFICIENT_BUFFER.
#pragma once

#include <cstddef>
#include <string>

#include "platform/handle.h"
#include "platform/win32_types.h"

namespace veldra {

class SystemPort : public HandleCloser {
public:
    virtual HANDLE OpenMutexA(DWORD desiredAccess, BOOL inheritHandle, const char* name) = 0;
    // Default security attributes.
    virtual HANDLE CreateMutexA(BOOL initialOwner, const char* name) = 0;
    virtual BOOL GetVersionExA(OSVERSIONINFOA* info) = 0;
    virtual std::string GetCommandLineA() = 0;
    virtual DWORD GetModuleFileNameA(char* buffer, DWORD size) = 0;
    virtual BOOL MessageBeep(UINT type) = 0;
    virtual void Sleep(DWORD milliseconds) = 0;
    virtual void GetLocalTime(SYSTEMTIME* time) = 0;
    virtual UINT SetErrorMode(UINT mode) = 0;
    // HeapAlloc and HeapFree on GetProcessHeap().
    virtual void* HeapAlloc(DWORD flags, std::size_t bytes) = 0;
    virtual BOOL HeapFree(void* memory) = 0;

protected:
    ~SystemPort() = default;
};

}  // namespace veldra
