// Random machines for the campaign: Windows XP or a Vista-class version, a
// floppy drive A: and USB sticks at E: (and now and then F:, and B: for
// floppy programs), their media as they go in, faults from the machine
// description's list on any of them, holders, and the operator's answers.
#pragma once

#include <cstdint>
#include <string>

#include "fuzz/campaign/creation.h"

namespace veldra::campaign {

Creation RandomCreation(std::uint64_t seed);

// machine.ini and TAVEXMEDIA.INI of the creation's machine.
std::string MachineDescription(const Creation& creation);
std::string MediaDefinition(const Creation& creation);

const Device* DeviceAt(const Creation& creation, char letter);

}  // namespace veldra::campaign
