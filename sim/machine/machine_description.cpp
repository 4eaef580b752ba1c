#include "sim/machine/machine_description.h"

#include <charconv>
#include <fstream>
#include <sstream>

#include "host/civil_time.h"
#include "host/cp932.h"
#include "host/text.h"
#include "sim/devices/machine_devices.h"

namespace veldra::sim {

MachineDescriptionError::MachineDescriptionError(const std::filesystem::path& file, int line,
                                                 const std::string& what)
    : std::runtime_error(file.string() + (line > 0 ? ":" + std::to_string(line) : "") + ": " +
                         what) {}

namespace {

template <typename T>
std::optional<T> ParseNumber(const std::string& text) {
    T value{};
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || text.empty()) return std::nullopt;
    return value;
}

class Parser {
public:
    Parser(const std::filesystem::path& directory) : m_file(directory / kMachineFileName) {
        m_config.directory = std::filesystem::absolute(directory);
    }

    MachineConfig Parse() {
        std::ifstream in(m_file, std::ios::binary);
        if (!in) throw MachineDescriptionError(m_file, 0, "cannot be read");
        std::string raw;
        while (std::getline(in, raw)) {
            ++m_line;
            std::string line = host::TrimBlanks(raw);
            if (line.empty() || line[0] == '#' || line[0] == ';') continue;
            if (line.front() == '[') {
                StartSection(line);
                continue;
            }
            std::size_t equals = line.find('=');
            if (equals == std::string::npos) Fail("expected KEY = VALUE or [SECTION]");
            std::string key = host::TrimBlanks(line.substr(0, equals));
            std::string value = host::TrimBlanks(line.substr(equals + 1));
            if (key.empty()) Fail("empty key");
            Assign(key, value);
        }
        if (m_config.drives.empty())
            throw MachineDescriptionError(m_file, 0, "no [drive X] section");
        return m_config;
    }

    // The line of holder i's section, for a fault found once all is read.
    int HolderLine(std::size_t i) const { return m_holderLines[i]; }

private:
    [[noreturn]] void Fail(const std::string& what) {
        throw MachineDescriptionError(m_file, m_line, what);
    }

    void StartSection(const std::string& line) {
        if (line.back() != ']') Fail("section header lacks its closing ]");
        std::string name = host::TrimBlanks(line.substr(1, line.size() - 2));
        m_driveLetter = 0;
        if (name == "system" || name == "viewers" || name == "held-open" || name == "strings" ||
            name == "vanishing" || name == "failing-reads") {
            m_section = name;
            return;
        }
        if (name.rfind("drive ", 0) == 0) {
            std::string letter = host::UpperAscii(host::TrimBlanks(name.substr(6)));
            if (letter.size() != 1 || letter[0] < 'A' || letter[0] > 'Z') {
                Fail("a drive section is [drive X] with X a letter A to Z");
            }
            m_driveLetter = letter[0];
            if (m_config.drives.count(m_driveLetter))
                Fail("drive " + letter + " is described twice");
            m_config.drives[m_driveLetter].letter = m_driveLetter;
            m_section = "drive";
            return;
        }
        auto fail = [this](const std::string& what) { Fail(what); };
        if (name.rfind("disk ", 0) == 0 || name.rfind("floppy ", 0) == 0) {
            m_device = ParseDeviceId(name, fail);
            if (m_config.devices.count(m_device)) Fail(name + " is described twice");
            m_config.devices[m_device] = NewDevice(m_device);
            m_section = "device";
            return;
        }
        if (name.rfind("holder ", 0) == 0) {
            HolderConfig holder;
            holder.name = host::TrimBlanks(name.substr(7));
            if (holder.name.empty()) Fail("a holder section names its holder");
            for (const HolderConfig& other : m_config.holders) {
                if (other.name == holder.name) Fail(name + " is described twice");
            }
            m_config.holders.push_back(holder);
            m_holderLines.push_back(m_line);
            m_section = "holder";
            return;
        }
        if (name.rfind("registry ", 0) == 0) {
            m_registryKey = host::TrimBlanks(name.substr(9));
            if (m_registryKey.empty()) Fail("a registry section names its key");
            m_config.registry[host::UpperAscii(m_registryKey)];
            m_section = "registry";
            return;
        }
        Fail("unknown section [" + name + "]");
    }

    std::string ToCp932(const std::string& utf8) {
        auto converted = host::Utf8ToCp932(utf8);
        if (!converted) Fail("text has no code page 932 form: " + utf8);
        return *converted;
    }

    bool ParseYesNo(const std::string& value) {
        if (value == "yes") return true;
        if (value == "no") return false;
        Fail("expected yes or no, not '" + value + "'");
    }

    void Assign(const std::string& key, const std::string& value) {
        if (m_section.empty()) Fail("key outside a section");
        if (m_section == "system") return AssignSystem(key, value);
        if (m_section == "drive") return AssignDrive(m_config.drives[m_driveLetter], key, value);
        if (m_section == "viewers") {
            if (key.size() < 2 || key[0] != '.')
                Fail("a viewer is keyed by an extension such as .pdf");
            if (value.empty()) Fail("a viewer needs a name");
            m_config.viewers[host::UpperAscii(key)] = value;
            return;
        }
        if (m_section == "held-open") return AssignHeldOpen(key, value);
        if (m_section == "holder") return AssignHolder(m_config.holders.back(), key, value);
        auto fail = [this](const std::string& what) { Fail(what); };
        if (m_section == "device") {
            return AssignDeviceKey(m_config.devices[m_device], m_config.directory, key, value,
                                   fail);
        }
        if (m_section == "registry") {
            return AssignRegistryValue(m_config.registry, m_registryKey, key, value, fail);
        }
        if (m_section == "vanishing") {
            auto opens = ParseNumber<int>(value);
            if (!opens || *opens < 0)
                Fail("a vanishing file gives the number of opens it survives");
            m_config.vanishing.push_back(VanishingFile{ToCp932(key), *opens});
            return;
        }
        if (m_section == "failing-reads") {
            std::istringstream words(value);
            int reads = -1;
            std::string how;
            words >> reads >> how;
            static const std::map<std::string, ReadFailure> kHows = {
                {"cut", ReadFailure::Cut},
                {"lost", ReadFailure::Lost},
                {"glitch", ReadFailure::Glitch}};
            auto it = kHows.find(how);
            if (reads < 0 || it == kHows.end() || !(words >> std::ws).eof())
                Fail(
                    "a file with failing reads gives the reads that succeed, then cut, lost or "
                    "glitch");
            m_config.failingReads.push_back(FailingReadsFile{ToCp932(key), reads, it->second});
            return;
        }
        if (m_section == "strings") {
            auto id = ParseNumber<UINT>(key);
            if (!id) Fail("a string is keyed by its number");
            ToCp932(value);
            m_config.stringOverrides[*id] = value;
            return;
        }
    }

    void AssignSystem(const std::string& key, const std::string& value) {
        if (key == "version") {
            std::istringstream parts(value);
            std::string major, minor, build;
            std::getline(parts, major, '.');
            std::getline(parts, minor, '.');
            std::getline(parts, build);
            auto ma = ParseNumber<DWORD>(major);
            auto mi = ParseNumber<DWORD>(minor);
            if (!ma || !mi) Fail("version is MAJOR.MINOR or MAJOR.MINOR.BUILD");
            m_config.majorVersion = *ma;
            m_config.minorVersion = *mi;
            if (!build.empty()) {
                auto b = ParseNumber<DWORD>(build);
                if (!b) Fail("version is MAJOR.MINOR or MAJOR.MINOR.BUILD");
                m_config.buildNumber = *b;
            }
        } else if (key == "platform") {
            auto id = ParseNumber<DWORD>(value);
            if (!id) Fail("platform is a number (2 = NT)");
            m_config.platformId = *id;
        } else if (key == "version-query") {
            if (value != "fails" && value != "ok") Fail("version-query is ok or fails");
            m_config.versionQueryFails = value == "fails";
        } else if (key == "module") {
            if (value.empty()) Fail("module needs a path");
            m_config.modulePath = ToCp932(value);
        } else if (key == "command-line") {
            m_config.commandLine = ToCp932(value);
        } else if (key == "clock") {
            if (value == "host") {
                m_config.fixedClock.reset();
                return;
            }
            m_config.fixedClock = host::ParseTimestamp(value);
            if (!m_config.fixedClock) Fail("clock is host or YYYY-MM-DD hh:mm:ss");
        } else if (key == "heap") {
            if (value != "fails" && value != "ok") Fail("heap is ok or fails");
            m_config.heapFails = value == "fails";
        } else if (key == "system-menu") {
            m_config.systemMenu = ParseYesNo(value);
        } else if (key == "mutex-of-another-account") {
            if (value.empty()) Fail("mutex-of-another-account needs a name");
            m_config.otherAccountMutexes.push_back(ToCp932(value));
        } else if (key == "time-zone") {
            auto zone = host::ParseTimeZone(value);
            if (!zone) Fail("time-zone is +HH:MM or -HH:MM, from -12:00 to +14:00");
            m_config.timeZoneMinutes = *zone;
        } else if (key == "deny-removable-writes") {
            m_config.denyRemovableWrites = ParseYesNo(value);
        } else {
            Fail("unknown key '" + key + "' in [system]");
        }
    }

    void AssignDrive(DriveConfig& drive, const std::string& key, const std::string& value) {
        if (key == "type") {
            static const std::map<std::string, std::int32_t> kTypes = {
                {"removable", DRIVE_REMOVABLE},
                {"fixed", DRIVE_FIXED},
                {"remote", DRIVE_REMOTE},
                {"cdrom", DRIVE_CDROM},
                {"ramdisk", DRIVE_RAMDISK}};
            auto it = kTypes.find(value);
            if (it == kTypes.end()) Fail("unknown drive type '" + value + "'");
            drive.type = it->second;
        } else if (key == "root") {
            if (value.empty()) Fail("root needs a directory");
            std::filesystem::path root = m_config.directory / value;
            std::error_code ec;
            if (!std::filesystem::is_directory(root, ec))
                Fail("root directory " + root.string() + " does not exist");
            drive.hostRoot = std::filesystem::canonical(root, ec);
            if (ec) Fail("root directory " + root.string() + ": " + ec.message());
        } else if (key == "device") {
            drive.device = ParseDeviceId(value, [this](const std::string& what) { Fail(what); });
            if (drive.device->kind == DeviceKind::Disk) drive.partitionNumber = 1;
        } else if (key == "partition") {
            auto number = ParseNumber<DWORD>(value);
            if (!number) Fail("partition is a number");
            drive.partitionNumber = *number;
        } else if (key == "disk-extents") {
            drive.extentsFail = value == "fails";
            drive.extentDisks.clear();
            if (!drive.extentsFail) {
                // "disk 1" or "disk 1, disk 2": the disks the volume spans.
                std::size_t start = 0;
                while (start <= value.size()) {
                    std::size_t comma = value.find(',', start);
                    std::string part = host::TrimBlanks(value.substr(start, comma - start));
                    auto number = part.rfind("disk ", 0) == 0
                                      ? ParseNumber<DWORD>(host::TrimBlanks(part.substr(5)))
                                      : std::nullopt;
                    if (!number) Fail("disk-extents is fails, or disk N[, disk M...]");
                    drive.extentDisks.push_back(*number);
                    if (comma == std::string::npos) break;
                    start = comma + 1;
                }
            }
        } else if (key == "read-only") {
            drive.readOnly = ParseYesNo(value);
        } else if (key == "free-bytes") {
            auto bytes = ParseNumber<std::uint64_t>(value);
            if (!bytes) Fail("free-bytes is a number");
            drive.freeBytes = *bytes;
        } else {
            Fail("unknown key '" + key + "' in a drive section");
        }
    }

    std::uint64_t Milliseconds(const std::string& key, const std::string& value) {
        auto ms = ParseNumber<std::uint64_t>(value);
        if (!ms) Fail(key + " is a number of milliseconds");
        return *ms;
    }

    void AssignHolder(HolderConfig& holder, const std::string& key, const std::string& value) {
        if (key == "volume") {
            std::string letter = host::UpperAscii(value);
            if (letter.size() == 2 && letter[1] == ':') letter.pop_back();
            if (letter.size() != 1 || letter[0] < 'A' || letter[0] > 'Z')
                Fail("volume is a drive letter such as E");
            holder.letter = letter[0];
        } else if (key == "holds-after") {
            holder.holdsAfterMs = Milliseconds(key, value);
        } else if (key == "lets-go-after") {
            if (value == "never") {
                holder.letsGoAfterMs.reset();
            } else {
                holder.letsGoAfterMs = Milliseconds(key, value);
            }
        } else {
            Fail("unknown key '" + key + "' in a holder section");
        }
    }

    void AssignHeldOpen(const std::string& key, const std::string& value) {
        static const std::map<std::string, DWORD> kShares = {
            {"none", 0},
            {"read", FILE_SHARE_READ},
            {"write", FILE_SHARE_WRITE},
            {"read-write", FILE_SHARE_READ | FILE_SHARE_WRITE}};
        auto it = kShares.find(value);
        if (it == kShares.end())
            Fail("a held-open file's share mode is none, read, write or read-write");
        HeldOpenFile held;
        held.path = ToCp932(key);
        held.shareMode = it->second;
        m_config.heldOpen.push_back(held);
    }

    std::filesystem::path m_file;
    MachineConfig m_config;
    int m_line = 0;
    std::string m_section;
    char m_driveLetter = 0;
    DeviceId m_device;
    std::string m_registryKey;
    std::vector<int> m_holderLines;  // where each holder's section starts
};

}  // namespace

MachineConfig LoadMachineDescription(const std::filesystem::path& directory) {
    Parser parser(directory);
    MachineConfig config = parser.Parse();
    std::filesystem::path file = directory / kMachineFileName;
    auto fail = [&](const std::string& what) { throw MachineDescriptionError(file, 0, what); };
    for (std::size_t i = 0; i < config.holders.size(); ++i) {
        const HolderConfig& holder = config.holders[i];
        auto drive = config.drives.find(holder.letter);
        if (drive == config.drives.end() || !drive->second.device) {
            throw MachineDescriptionError(
                file, parser.HolderLine(i),
                "holder " + holder.name + " needs the volume of a drive on a device");
        }
    }
    for (const auto& [letter, drive] : config.drives) {
        std::string name = std::string("drive ") + letter;
        if (drive.hostRoot.empty() && !drive.device) fail(name + " has no root");
        if (drive.device && !config.devices.count(*drive.device))
            fail(name + " names a device that is not described");
    }
    for (const auto& [id, device] : config.devices) {
        CheckDevice(device, fail);
        if (device.lettersGoTo && !config.devices.count(*device.lettersGoTo))
            fail("letters-go-to names a device that is not described");
    }
    return config;
}

}  // namespace veldra::sim
