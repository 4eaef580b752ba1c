// FilePort on kernel32.
#include "win32/win32_ports.h"

namespace veldra::win32 {

HANDLE Win32FilePort::CreateFileA(const char* fileName, DWORD desiredAccess, DWORD shareMode,
                                  DWORD creationDisposition, DWORD flagsAndAttributes) {
    return ::CreateFileA(fileName, desiredAccess, shareMode, nullptr, creationDisposition,
                         flagsAndAttributes, nullptr);
}

BOOL Win32FilePort::ReadFile(HANDLE file, void* buffer, DWORD bytesToRead, DWORD* bytesRead) {
    return ::ReadFile(file, buffer, bytesToRead, bytesRead, nullptr);
}

BOOL Win32FilePort::WriteFile(HANDLE file, const void* buffer, DWORD bytesToWrite,
                              DWORD* bytesWritten) {
    return ::WriteFile(file, buffer, bytesToWrite, bytesWritten, nullptr);
}

// The port's 32-bit halves are LONG on Windows, a distinct type from
// std::int32_t: the high half travels through a LONG of its own.
DWORD Win32FilePort::SetFilePointer(HANDLE file, std::int32_t distance, std::int32_t* distanceHigh,
                                    DWORD moveMethod) {
    LONG high = distanceHigh ? *distanceHigh : 0;
    DWORD low = ::SetFilePointer(file, distance, distanceHigh ? &high : nullptr, moveMethod);
    if (distanceHigh) *distanceHigh = high;
    return low;
}

DWORD Win32FilePort::GetFileSize(HANDLE file, DWORD* fileSizeHigh) {
    return ::GetFileSize(file, fileSizeHigh);
}

BOOL Win32FilePort::SetFileTime(HANDLE file, const FILETIME* creation, const FILETIME* lastAccess,
                                const FILETIME* lastWrite) {
    return ::SetFileTime(file, creation, lastAccess, lastWrite);
}

DWORD Win32FilePort::GetFileAttributesA(const char* fileName) {
    return ::GetFileAttributesA(fileName);
}

BOOL Win32FilePort::SetFileAttributesA(const char* fileName, DWORD attributes) {
    return ::SetFileAttributesA(fileName, attributes);
}

HANDLE Win32FilePort::FindFirstFileA(const char* pattern, WIN32_FIND_DATAA* data) {
    return ::FindFirstFileA(pattern, data);
}

BOOL Win32FilePort::FindNextFileA(HANDLE find, WIN32_FIND_DATAA* data) {
    return ::FindNextFileA(find, data);
}

BOOL Win32FilePort::FlushFileBuffers(HANDLE file) {
    return ::FlushFileBuffers(file);
}

}  // namespace veldra::win32
