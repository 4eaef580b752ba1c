// Named kernel objects, seen by every program on the same machine: each name
// is a lock file in the machine directory's .objects folder, and the name
// exists while some handle, in any program, holds a shared lock on it.
#pragma once

#include <filesystem>
#include <memory>

#include "sim/kernel/kernel.h"

namespace veldra::sim {

struct NamedObjectOpen {
    std::unique_ptr<KernelObject> object;  // nullptr when the open failed
    DWORD error = ERROR_SUCCESS;           // why it failed
    bool existed = false;                  // the name was taken before
};

// OpenMutexA: fails with ERROR_FILE_NOT_FOUND when nobody holds the name.
NamedObjectOpen OpenNamedMutex(const std::filesystem::path& machineDirectory, const char* name);
// CreateMutexA: takes the name, or another handle on it when it exists.
NamedObjectOpen CreateNamedMutex(const std::filesystem::path& machineDirectory, const char* name);

}  // namespace veldra::sim
