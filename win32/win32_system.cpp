// SystemPort on kernel32. Names go to the W functions in code page 932
// (win32/code_page.h); the command line and the module path come back from
// them, and a path that code page 932 cannot write stops the program here,
// before it could look for its files beside a wrong one.
#include <vector>

#include "win32/code_page.h"
#include "win32/win32_ports.h"

namespace veldra::win32 {
namespace {

// The module's full path, however long.
std::wstring ModulePath() {
    std::vector<wchar_t> buffer(MAX_PATH);
    while (true) {
        DWORD length =
            ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) return std::wstring();
        if (length < buffer.size() || buffer.size() >= 32768) {
            return std::wstring(buffer.data(), length);
        }
        buffer.resize(buffer.size() * 2);
    }
}

}  // namespace

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
    if (!Converts932()) return ::OpenMutexA(desiredAccess, inheritHandle, name);
    return ::OpenMutexW(desiredAccess, inheritHandle, WideArg(name).get());
}

HANDLE Win32SystemPort::CreateMutexA(BOOL initialOwner, const char* name) {
    if (!Converts932()) return ::CreateMutexA(nullptr, initialOwner, name);
    return ::CreateMutexW(nullptr, initialOwner, WideArg(name).get());
}

BOOL Win32SystemPort::GetVersionExA(OSVERSIONINFOA* info) {
    return ::GetVersionExA(info);
}

// The command line starts with the program's path: when that is what code
// page 932 cannot write, the stop names the path rather than the whole line.
std::string Win32SystemPort::GetCommandLineA() {
    if (!Converts932()) return ::GetCommandLineA();
    std::wstring line = ::GetCommandLineW();
    std::string text;
    if (!NarrowExactly(line, &text)) {
        std::wstring module = ModulePath();
        std::string unused;
        StopForName(NarrowExactly(module, &unused) ? line : module);
    }
    return text;
}

// As Windows Vista and later copy a path that does not fit: cut, with a NUL,
// the size returned and ERROR_INSUFFICIENT_BUFFER.
DWORD Win32SystemPort::GetModuleFileNameA(char* buffer, DWORD size) {
    if (!Converts932()) return ::GetModuleFileNameA(nullptr, buffer, size);
    std::wstring module = ModulePath();
    if (module.empty()) return 0;
    std::string path;
    if (!NarrowExactly(module, &path)) StopForName(module);
    if (size == 0) {
        ::SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    DWORD copied = static_cast<DWORD>(CopyCut(path, buffer, static_cast<int>(size)));
    if (copied < path.size()) {
        ::SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return size;
    }
    return copied;
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
