// The description of a simulated machine: "machine.ini" in the machine
// directory, UTF-8. What the machine is (version, executable, clock), its
// drives and the host directories behind them, the viewers it associates with
// file types, and the faults it is to show. docs/machine.md describes it.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "disk/drive_types.h"
#include "platform/win32_types.h"
#include "sim/devices/device_config.h"

namespace veldra::sim {

constexpr char kMachineFileName[] = "machine.ini";

// A malformed description: names the file and the line.
class MachineDescriptionError : public std::runtime_error {
public:
    MachineDescriptionError(const std::filesystem::path& file, int line, const std::string& what);
};

struct DriveConfig {
    char letter = 'C';
    std::int32_t type = DRIVE_FIXED;  // as GetDriveTypeA reports it
    std::filesystem::path hostRoot;   // absolute; empty for a drive on a device
    std::optional<DeviceId> device;   // the disk or floppy unit behind the letter
    DWORD partitionNumber = 0;        // what its volume reports (1 for a disk's volume)
    bool readOnly = false;
    std::optional<std::uint64_t> freeBytes;  // unlimited when absent
    // What IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS answers for the volume: by
    // default one extent on the disk it stands on; `fails`: the request is
    // not served (ERROR_INVALID_FUNCTION); otherwise the disks named, in order.
    bool extentsFail = false;
    std::vector<DWORD> extentDisks;
};

// A file that another process holds open while the program runs.
struct HeldOpenFile {
    std::string path;  // Windows path, code page 932
    DWORD access = GENERIC_READ | GENERIC_WRITE;
    DWORD shareMode = 0;
};

// A file that disappears (reads as missing) after it has been opened a given
// number of times: the operator or another program removed it meanwhile.
struct VanishingFile {
    std::string path;  // Windows path, code page 932
    int opensBeforeVanishing = 0;
};

// A file whose reads go wrong after a given number succeeded: another program
// cut it where the next read starts (reads past that point find its end), the
// share it lies on went away (every later read and seek fails with
// ERROR_NETNAME_DELETED), or the network failed once (the next read or seek
// fails with ERROR_UNEXP_NET_ERR, later ones succeed).
enum class ReadFailure { Cut, Lost, Glitch };
struct FailingReadsFile {
    std::string path;  // Windows path, code page 932
    int readsBeforeFailing = 0;
    ReadFailure how = ReadFailure::Cut;
};

// A program of the machine that keeps a volume open: Explorer showing the
// drive, AutoPlay looking at a volume that has just arrived, an antivirus.
struct HolderConfig {
    std::string name;
    char letter = 0;                 // the drive whose volume it holds
    std::uint64_t holdsAfterMs = 0;  // after the volume arrives, is unlocked or dismounted
    // After a lock request finds it holding; nullopt: it never lets go.
    std::optional<std::uint64_t> letsGoAfterMs = 500;
};

struct MachineConfig {
    std::filesystem::path directory;  // absolute

    DWORD majorVersion = 5;
    DWORD minorVersion = 1;
    DWORD buildNumber = 2600;
    DWORD platformId = 2;
    bool versionQueryFails = false;

    std::string modulePath = "C:\\TAVEX\\TAVEX.EXE";  // code page 932
    std::optional<std::string> commandLine;           // code page 932; default: module quoted
    std::optional<SYSTEMTIME> fixedClock;             // host clock when absent
    bool heapFails = false;
    bool systemMenu = true;
    // Mutexes that programs of other accounts hold, code page 932.
    std::vector<std::string> otherAccountMutexes;
    // The "Removable Disks: Deny write access" policy, or on Windows XP an
    // account that is no administrator: opens of a removable device for
    // writing are refused.
    bool denyRemovableWrites = false;
    // The time zone, minutes east of UTC: the FAT driver keeps local time.
    std::int32_t timeZoneMinutes = 0;

    std::map<char, DriveConfig> drives;
    std::map<std::string, std::string> viewers;  // upper-case extension (".PDF") -> viewer name
    std::vector<HeldOpenFile> heldOpen;
    std::vector<VanishingFile> vanishing;
    std::vector<FailingReadsFile> failingReads;
    std::map<UINT, std::string> stringOverrides;  // UTF-8
    std::map<DeviceId, DeviceConfig> devices;
    RegistryConfig registry;
    std::vector<HolderConfig> holders;

    // Windows 6.0 and later: raw writes, volume opens and locks, and new
    // partition tables follow the rules of Vista and later.
    bool FollowsVistaRules() const { return majorVersion >= 6; }
};

// Reads DIR/machine.ini. Throws MachineDescriptionError.
MachineConfig LoadMachineDescription(const std::filesystem::path& directory);

}  // namespace veldra::sim
