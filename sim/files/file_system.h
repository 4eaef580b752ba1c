// Files and directories on the simulated machine's drives (the FilePort):
// Windows' dispositions and share modes, the read-only attribute and drive,
// and the machine's file faults (files held open by another process, files
// that vanish), over whatever volume each drive letter leads to.
#pragma once

#include <map>
#include <optional>
#include <string>

#include "platform/file_port.h"
#include "sim/files/drive_map.h"
#include "sim/files/volume_mounts.h"
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
    BOOL FlushFileBuffers(HANDLE file) override;

    // For the functions that reach files without a handle (the profile).
    ResolvedPath Resolve(const char* path) { return m_drives.Resolve(path); }
    // A vanishing file that is gone reads as missing everywhere.
    bool IsGone(const std::string& key);
    // Whether an open with this access and share mode would be refused.
    bool ShareConflicts(const std::string& key, DWORD access, DWORD share);
    // The file behind a handle, for the device requests; nullptr, with
    // ERROR_INVALID_HANDLE, when the handle is none.
    VolumeFile* FileBehind(HANDLE handle);
    // A handle opened on a volume, or on a file of it, before the volume was
    // dismounted or went away (Windows 6.0 and later).
    bool IsStale(HANDLE handle);
    // FSCTL_LOCK_VOLUME, FSCTL_UNLOCK_VOLUME and FSCTL_DISMOUNT_VOLUME on a
    // volume handle, as the file system answers them.
    BOOL VolumeControl(HANDLE volume, DWORD code);
    // Whether any handle is open on the device or on a file of its volumes.
    bool HandlesOn(const SimDevice& device);
    // A drive letter handed on to another device's volume.
    void LetterMoved(char letter, SimDevice& device) { m_mounts.LetterMoved(letter, device); }

private:
    class OpenFile;
    class Search;

    HANDLE OpenDevice(const char* path, DWORD access, DWORD share, DWORD disposition, DWORD flags);
    // What the machine's failing reads do to a read (`reads`) or a seek of an
    // open file: the error it fails with, or ERROR_SUCCESS; a cut file's end
    // goes to `end`.
    DWORD ReadFault(const OpenFile& file, bool reads, std::uint64_t* end);
    int* OpensLeft(const std::string& key);
    bool HasVanished(const ResolvedPath& path);
    bool IsStale(const OpenFile& file);
    // Whether a live handle other than `except` is open on the letter's
    // volume: on a file of it, on the volume itself, or a search of it.
    bool OthersOpen(char letter, const OpenFile* except);
    bool SearchOpenOn(char letter);
    BOOL Fail(DWORD error);

    Kernel& m_kernel;
    DriveMap& m_drives;
    SimDevices& m_devices;
    VolumeMounts m_mounts;
    std::map<std::string, int> m_opensLeft;  // vanishing files, by key
    struct ReadFaultState {
        int reads = 0;
        std::optional<std::uint64_t> cutAt;
        bool glitched = false;
    };
    std::map<std::string, ReadFaultState> m_readFaults;  // by key
};

}  // namespace veldra::sim
