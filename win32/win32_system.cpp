// SystemPort on kernel32.
#include "win32/win32_ports.h"

namespace veldra::win32 {

BOOL Win32SystemPort::CloseHandle(HANDLE handle) {
    return ::CloseHandle(handle);
}

BOOL Win32SystemPort::FindClose(HANDLE handle) {
    return ::FindClose(handle);
}

DWORD Win32SystemPort::GetLastError() const {
    return ::GetLastError();
}

void Win32SystemPort::SetLastError(DWORD error) {
    ::SetLastError(error);
}

HANDLE Win32SystemPort::OpenMutexA(DWORD desiredAccess, BOOL inheritHandle, const char* name) {
    return ::OpenMutexA(desiredAccess, inheritHandle, name);
}

HANDLE Win32SystemPort::CreateMutexA(BOOL initialOwner, const char* name) {
    return ::CreateMutexA(nullptr, initialOwner, name);
}

BOOL Win32SystemPort::GetVersionExA(OSVERSIONINFOA* info) {
    return ::GetVersionExA(info);
}

std::string Win32SystemPort::GetCommandLineA() {
    return ::GetCommandLineA();
}

DWORD Win32SystemPort::GetModuleFileNameA(char* buffer, DWORD size) {
    return ::GetModuleFileNameA(nullptr, buffer, size);
}

BOOL Win32SystemPort::MessageBeep(UINT type) {
    return ::MessageBeep(type);
}

void Win32SystemPort::Sleep(DWORD milliseconds) {
    ::Sleep(milliseconds);
}

void Win32SystemPort::GetLocalTime(SYSTEMTIME* time) {
    ::GetLocalTime(time);
}

UINT Win32SystemPort::SetErrorMode(UINT mode) {
    return ::SetErrorMode(mode);
}

// The program's one heap block is the work buffer of the raw device
// transfers, which FILE_FLAG_NO_BUFFERING wants sector-aligned; the process
// heap aligns to 8 or 16 bytes only. Whole pages from VirtualAlloc are
// aligned to any sector size and always zero-filled, so HEAP_ZERO_MEMORY
// holds whatever the flags say.
void* Win32SystemPort::HeapAlloc(DWORD flags, std::size_t bytes) {
    (void)flags;
    return ::VirtualAlloc(nullptr, bytes == 0 ? 1 : bytes, MEM_RESERVE | MEM_COMMIT,
                          PAGE_READWRITE);
}

// HeapFree takes a null block as freed; VirtualFree would refuse it.
BOOL Win32SystemPort::HeapFree(void* memory) {
    if (memory == nullptr) return TRUE;
    return ::VirtualFree(memory, 0, MEM_RELEASE);
}

}  // namespace veldra::win32
