// The ports under a contract test, whichever adapter provides them. Every
// contract suite runs once per factory of AdapterFactories(), and its
// assertions speak Win32 only (results, last errors, file contents), so that
// the simulated machine and the real system answer the same questions.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "platform/ports.h"

namespace veldra::testing {

// How the machine is set up before a program starts on it. Names are code
// page 932 paths relative to the scratch folder.
struct HostSetup {
    std::vector<std::pair<std::string, std::string>> files{};  // name, contents
    std::vector<std::string> folders{};
    bool readOnlyDrive = false;                // the scratch folder's drive is write-protected
    std::optional<std::uint64_t> freeBytes{};  // free space on the scratch folder's drive
    // Another process holds the file open for reading and writing, sharing this.
    std::vector<std::pair<std::string, DWORD>> heldOpen{};
    // The file can be opened this many times, then someone deletes it.
    std::vector<std::pair<std::string, int>> vanishing{};
    // Registry values under HKEY_LOCAL_MACHINE: key path, value name, and a
    // REG_SZ text or (when number is set) a REG_DWORD.
    struct RegistryValue {
        std::string key;
        std::string name;
        std::string text{};
        std::optional<DWORD> number{};
    };
    std::vector<RegistryValue> registry{};
    // A removable disk of this many bytes (zeros), reached as DevicePath().
    std::optional<std::uint64_t> diskBytes{};
    std::uint32_t diskSectorBytes = 512;  // its sectors
    // Instead: a 64 MiB removable disk whose first partition, from sector
    // 2048, holds a FAT16 volume at the drive VolumeRoot() names, on Windows
    // Vista or later.
    bool fatVolume = false;
};

// One running program's view of the platform.
class PortAdapter {
public:
    virtual ~PortAdapter() = default;
    virtual SystemPort& System() = 0;
    virtual FilePort& Files() = 0;
    virtual ProfilePort& Profile() = 0;
    virtual DevicePort& Devices() = 0;
    virtual RegistryPort& Registry() = 0;
};

// The machine of one test.
class TestHost {
public:
    virtual ~TestHost() = default;
    // An existing folder, "X:\\...", without a trailing separator, holding
    // only what the setup asked for.
    virtual std::string Scratch() const = 0;
    // A drive letter the machine does not have.
    virtual char UnusedDriveLetter() const = 0;
    // A kernel object name that no other test uses.
    virtual std::string UniqueName(const std::string& stem) = 0;
    // The raw path of the setup's disk ("\\\\.\\PhysicalDriveN").
    virtual std::string DiskPath() const = 0;
    // The drive of the setup's FAT volume ("R:").
    virtual std::string VolumeRoot() const = 0;
    // Starts another program (process) on this machine.
    virtual std::unique_ptr<PortAdapter> Start() = 0;
};

struct AdapterFactory {
    std::string name;  // a GoogleTest name: letters and digits
    // nullptr when the adapter cannot set a machine up that way.
    std::function<std::unique_ptr<TestHost>(const HostSetup&)> make;
};

inline void PrintTo(const AdapterFactory& factory, std::ostream* out) {
    *out << factory.name;
}

AdapterFactory SimAdapterFactory();
std::vector<AdapterFactory> AdapterFactories();

}  // namespace veldra::testing
