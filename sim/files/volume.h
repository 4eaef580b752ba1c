// A volume: what a drive letter of the simulated machine leads to. Today every
// volume is a folder on the host (HostFolderVolume); volumes over disk images
// can come beside it. The drive letters and the Windows path rules live apart,
// in DriveMap; share modes and the machine's file faults in SimFiles.
//
// A path on a volume is the list of names from its root, as the volume spells
// them (UTF-8); the root is the empty list. Names compare without regard to
// ASCII case.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/win32_types.h"

namespace veldra::sim {

using VolumePath = std::vector<std::string>;

struct VolumeEntry {
    std::string name;  // as the volume spells it
    bool isDirectory = false;
};

// What GetFileAttributesA and a search report of an entry.
struct VolumeEntryInfo {
    DWORD attributes = FILE_ATTRIBUTE_NORMAL;
    FILETIME creationTime;
    FILETIME lastAccessTime;
    FILETIME lastWriteTime;
    std::uint64_t size = 0;  // 0 for a directory
};

struct VolumeOpen {
    bool write = false;
    bool create = false;    // the file does not exist yet: make it
    bool truncate = false;  // the file exists: cut it to nothing
    DWORD attributes = 0;   // a new file's FILE_ATTRIBUTE_* bits
};

// An open file. Each call returns ERROR_SUCCESS or the error to report.
class VolumeFile {
public:
    // Closes the file if Close has not, keeping quiet about a failure: the
    // caller is failing already.
    virtual ~VolumeFile() = default;
    virtual DWORD Read(std::uint64_t offset, void* buffer, DWORD bytes, DWORD* read) = 0;
    // On a full volume the write stores what fits, reports that in *written
    // and fails with ERROR_DISK_FULL.
    virtual DWORD Write(std::uint64_t offset, const void* buffer, DWORD bytes, DWORD* written) = 0;
    virtual DWORD Size(std::uint64_t* size) = 0;
    // A null or zero time stays as it is (SetFileTime's contract); all ones
    // keeps it too, and the file system's own updates through this open.
    virtual DWORD SetTimes(const FILETIME* creation, const FILETIME* lastAccess,
                           const FILETIME* lastWrite) = 0;
    // FlushFileBuffers: what this open wrote, down to the medium.
    virtual DWORD Flush() = 0;
    virtual DWORD Close() = 0;
};

class Volume {
public:
    virtual ~Volume() = default;

    // Every change to a write-protected volume fails with ERROR_WRITE_PROTECT;
    // the callers check before they change anything.
    virtual bool WriteProtected() const = 0;
    // Space left for file data; nullopt when the volume sets no limit.
    virtual std::optional<std::uint64_t> FreeBytes() const = 0;
    // Whether a creating open is refused, and counted, because the volume has
    // not been mounted since its disk's layout changed (unmounted-creates).
    virtual bool RefusesCreate() { return false; }

    // Each call returns ERROR_SUCCESS or the error to report.

    // The entry of a directory whose name matches; *entry stays empty when
    // the directory has none.
    virtual DWORD Find(const VolumePath& directory, const std::string& name,
                       std::optional<VolumeEntry>* entry) = 0;
    // The names in a directory, in listing order, without "." and "..".
    virtual DWORD List(const VolumePath& directory, std::vector<std::string>* names) = 0;
    virtual DWORD Info(const VolumePath& path, VolumeEntryInfo* info) = 0;
    // Read-only, hidden, system and archive; the root keeps no read-only bit.
    virtual DWORD SetAttributes(const VolumePath& path, DWORD attributes) = 0;
    // nullptr, with *error, when the file cannot be opened.
    virtual std::unique_ptr<VolumeFile> Open(const VolumePath& path, const VolumeOpen& how,
                                             DWORD* error) = 0;
};

}  // namespace veldra::sim
