// Files and directories: kernel32's CreateFileA family.
//
// Share modes and the read-only attribute are enforced as Windows enforces
// them: an open whose access conflicts with the share mode of an open handle,
// or whose share mode refuses the access of an open handle, fails with
// ERROR_SHARING_VIOLATION; write access to a read-only file fails with
// ERROR_ACCESS_DENIED. Handles are closed through SystemPort::CloseHandle and
// search handles through SystemPort::FindClose.
//
// A write that succeeded may still sit in a cache: the system's, and the
// device's own (a USB stick's, a bridge's). FILE_FLAG_WRITE_THROUGH on a
// device handle asks the disk driver to send each write with FUA, which a
// device may not take; FlushFileBuffers asks for everything written so far
// to reach the medium: the file's data and entry through the file system and
// then the device's cache (SYNCHRONIZE CACHE), or on a volume or disk handle
// the whole device's. It needs GENERIC_WRITE (ERROR_ACCESS_DENIED otherwise)
// and fails with the device's error (ERROR_NOT_READY once the medium is out).
#pragma once

#include "platform/handle.h"
#include "platform/win32_types.h"

namespace veldra {

class FilePort {
public:
    // No security attributes, no template file.
    virtual HANDLE CreateFileA(const char* fileName, DWORD desiredAccess, DWORD shareMode,
                               DWORD creationDisposition, DWORD flagsAndAttributes) = 0;
    virtual BOOL ReadFile(HANDLE file, void* buffer, DWORD bytesToRead, DWORD* bytesRead) = 0;
    virtual BOOL WriteFile(HANDLE file, const void* buffer, DWORD bytesToWrite,
                           DWORD* bytesWritten) = 0;
    virtual DWORD SetFilePointer(HANDLE file, std::int32_t distance, std::int32_t* distanceHigh,
                                 DWORD moveMethod) = 0;
    virtual DWORD GetFileSize(HANDLE file, DWORD* fileSizeHigh) = 0;
    virtual BOOL SetFileTime(HANDLE file, const FILETIME* creation, const FILETIME* lastAccess,
                             const FILETIME* lastWrite) = 0;
    virtual DWORD GetFileAttributesA(const char* fileName) = 0;
    virtual BOOL SetFileAttributesA(const char* fileName, DWORD attributes) = 0;
    virtual HANDLE FindFirstFileA(const char* pattern, WIN32_FIND_DATAA* data) = 0;
    virtual BOOL FindNextFileA(HANDLE find, WIN32_FIND_DATAA* data) = 0;
    virtual BOOL FlushFileBuffers(HANDLE file) = 0;

protected:
    ~FilePort() = default;
};

}  // namespace veldra
