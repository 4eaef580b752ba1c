// What drive discovery finds on a machine, one line a drive letter, so that a
// person can check a machine description before a creation: `veldra --scan`.
#pragma once

#include <string>
#include <vector>

#include "sim/machine/machine_description.h"

namespace veldra::sim {

// Every letter with a drive (and phantom letters, which drive discovery
// drops): letter, drive type, class, device number, partition number and
// name, as the program's own scan reports them.
std::vector<std::string> ScanReport(const MachineConfig& config);

}  // namespace veldra::sim
