#include "sim/machine/scan_report.h"

#include <cstdio>

#include "disk/disk_info.h"
#include "host/cp932.h"
#include "sim/machine/sim_machine.h"

namespace veldra::sim {
namespace {

std::string TypeName(std::int32_t type) {
    switch (type) {
        case 0:
            return "dropped";
        case 2:
            return "removable";
        case 3:
            return "fixed";
        case 4:
            return "remote";
        case 5:
            return "cdrom";
        case 6:
            return "ramdisk";
        default:
            return "type " + std::to_string(type);
    }
}

std::string ClassName(std::int32_t deviceClass) {
    return deviceClass == DEVCLASS_FLOPPY ? "floppy" : deviceClass == DEVCLASS_DISK ? "disk" : "-";
}

}  // namespace

std::vector<std::string> ScanReport(const MachineConfig& config) {
    Transcript quiet;
    SimMachine machine(config, OperatorScript(), quiet);
    Ports ports = machine.ports();
    CDiskInfo disk(DiskPorts{ports.system, ports.files, ports.devices, ports.registry});
    LetterTable table;
    disk.ScanDriveLetters(table);

    std::vector<std::string> lines;
    for (int i = 0; i < DRIVE_LETTER_COUNT; ++i) {
        const LetterEntry& entry = table.Entries[static_cast<std::size_t>(i)];
        char letter = static_cast<char>('A' + i);
        bool phantom = entry.DriveType == 0 && config.drives.count(letter);
        if (entry.DriveType == static_cast<std::int32_t>(DRIVE_NO_ROOT_DIR) ||
            (entry.DriveType == 0 && !phantom)) {
            continue;
        }
        std::string number =
            entry.DeviceNumber == DEVICE_NUMBER_NONE ? "-" : std::to_string(entry.DeviceNumber);
        std::string partition =
            entry.PartitionNumber < 0 ? "-" : std::to_string(entry.PartitionNumber);
        char line[128];
        std::snprintf(line, sizeof line, "%c:  %-9s  %-6s  device %-3s  partition %-3s  ", letter,
                      TypeName(entry.DriveType).c_str(), ClassName(entry.DeviceClass).c_str(),
                      number.c_str(), partition.c_str());
        lines.push_back(line + Transcript::Quote(entry.Name));
    }
    // Discovery closes whatever it opens.
    if (std::size_t left = machine.OpenHandleCount() + machine.OpenKeyCount())
        lines.push_back("scan left " + std::to_string(left) + " handles or keys open");
    return lines;
}

}  // namespace veldra::sim
