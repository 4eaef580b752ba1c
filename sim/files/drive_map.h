// The drive letters of the simulated machine and the volumes behind them:
// Windows paths (code page 932) become paths on a volume here, whatever kind
// of volume a letter leads to.
#pragma once

#include <map>
#include <memory>
#include <string>

#include "sim/files/volume.h"

namespace veldra::sim {

// A Windows path resolved onto a volume.
struct ResolvedPath {
    DWORD error = ERROR_SUCCESS;  // set when the path cannot name anything
    Volume* volume = nullptr;
    VolumePath path;  // the entry, existing or to be created
    std::string key;  // upper-case Windows path: the entry's identity on the machine
    bool exists = false;
    bool isDirectory = false;
    bool isRoot = false;
};

// Asked before a path on a drive letter is used: the volume behind it may be
// gone (ERROR_PATH_NOT_FOUND), locked (ERROR_ACCESS_DENIED), or mount again.
class VolumeGate {
public:
    virtual DWORD Access(char letter) = 0;

protected:
    ~VolumeGate() = default;
};

class DriveMap {
public:
    // Paths without a drive letter are on the program's own drive: the
    // machine has no current directory but each drive's root.
    explicit DriveMap(char programDrive) : m_programDrive(programDrive) {}

    void Mount(char letter, std::unique_ptr<Volume> volume);
    void SetGate(VolumeGate& gate) { m_pGate = &gate; }

    // Drive letters, either separator, "." and "..", trailing dots and blanks
    // dropped, names matched without regard to case.
    ResolvedPath Resolve(const char* path);

private:
    char m_programDrive;
    std::map<char, std::unique_ptr<Volume>> m_volumes;
    VolumeGate* m_pGate = nullptr;
};

}  // namespace veldra::sim
