// Named kernel objects, seen by every program on the same machine: each name
// is a lock file in the machine directory's .objects folder, and the name
// exists while some handle, in any program, holds a shared lock on it.
//
// A mutex of another account (the machine description's
// mutex-of-another-account) is held for the whole run by a program this
// account may not open: its default security descriptor gives access to its
// creator's account alone. OpenMutexA and CreateMutexA ask MUTEX_ALL_ACCESS
// and fail with ERROR_ACCESS_DENIED ("if the caller has limited access
// rights, the function will fail with ERROR_ACCESS_DENIED", CreateMutexW,
// Microsoft Learn).
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "sim/kernel/kernel.h"

namespace veldra::sim {

struct NamedObjectOpen {
    std::unique_ptr<KernelObject> object;  // nullptr when the open failed
    DWORD error = ERROR_SUCCESS;           // why it failed
    bool existed = false;                  // the name was taken before
};

// The names of mutexes other accounts hold (code page 932, as compared:
// letter case counts).
using OtherAccountMutexes = std::vector<std::string>;

// OpenMutexA: fails with ERROR_FILE_NOT_FOUND when nobody holds the name.
NamedObjectOpen OpenNamedMutex(const std::filesystem::path& machineDirectory, const char* name,
                               const OtherAccountMutexes& otherAccounts);
// CreateMutexA: takes the name, or another handle on it when it exists.
NamedObjectOpen CreateNamedMutex(const std::filesystem::path& machineDirectory, const char* name,
                                 const OtherAccountMutexes& otherAccounts);

}  // namespace veldra::sim
