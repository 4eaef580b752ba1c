// Files and directories on the simulated machine's drives (the FilePort):
// Windows' dispositions and share modes, the read-only attribute and drive,
// and the machine's file faults (files held open by another process, files
// that vanish), over whatever volume each drive letter leads to.
#pragma once

#include <map>
#include <string>

#include "platform/file_port.h"
#include "sim/files/drive_map.h"
#include "sim/kernel/kernel.h"

namespace veldra::sim {

class SimDevices;

class SimFiles final : public FilePort {
public:
    SimFiles(Kernel& kernel, DriveMap& drives, SimDevices& devices);

    HANDLE CreateFileA(const char* fileName, DWORD desiredAccess, DWORD shareMode,
                       DWORD creationDisposition, DWORD flagsAndAttributes) override;
    BOOL ReadFile(HANDLE file, void* buffer, DWORD bytesToRead, DWORD* bytesRead) override;
    BOOL WriteFile(HANDLE file, const void* buffer, DWORD bytesToWrite,
                   DWORD* bytesWritten) override;
    DWORD SetFilePointer(HANDLE file, std::int32_t distance, std::int32_t* distanceHigh,
                         DWORD moveMethod) override;
    DWORD GetFileSize(HANDLE file, DWORD* fileSizeHigh) override;
    BOOL SetFileTime(HANDLE file, const FILETIME* creation, const FILETIME* lastAccess,
                     const FILETIME* lastWrite) override;
    DWORD GetFileAttributesA(const char* fileName) override;
    BOOL SetFileAttributesA(const char* fileName, DWORD attributes) override;
    HANDLE FindFirstFileA(const char* pattern, WIN32_FIND_DATAA* data) override;
    BOOL FindNextFileA(HANDLE find, WIN32_FIND_DATAA* data) override;

    // For the functions that reach files without a handle (the profile).
    ResolvedPath Resolve(const char* path) { return m_drives.Resolve(path); }
    // A vanishing file that is gone reads as missing everywhere.
    bool IsGone(const std::string& key);
    // Whether an open with this access and share mode would be refused.
    bool ShareConflicts(const std::string& key, DWORD access, DWORD share);
    // The file behind a handle, for the device requests; nullptr, with
    // ERROR_INVALID_HANDLE, when the handle is none.
    VolumeFile* FileBehind(HANDLE handle);

private:
    class OpenFile;

    HANDLE OpenDevice(const char* path, DWORD access, DWORD share, DWORD disposition);
    int* OpensLeft(const std::string& key);
    bool HasVanished(const ResolvedPath& path);

    Kernel& m_kernel;
    DriveMap& m_drives;
    SimDevices& m_devices;
    std::map<std::string, int> m_opensLeft;  // vanishing files, by key
};

}  // namespace veldra::sim
