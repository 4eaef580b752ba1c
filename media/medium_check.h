// What the medium in the target must be before anything is written to it:
// sectors of the size data files count in, and room for the last sector the
// data file writes. Either refusal has a message of its own; both come
// before the partition table reset, so a medium that cannot take the program
// keeps what it holds.
#pragma once

#include "disk/target_open.h"
#include "media/media_reporter.h"

namespace veldra {

// On the target's open device. Failed, with its message shown, when the
// medium cannot take the data file.
StepResult CheckMedium(MediaContext& context, const CreateTarget& target);

// The medium's length in sectors of 512 bytes: as the disk driver gives it
// (IOCTL_DISK_GET_LENGTH_INFO), or where the driver does not answer that (a
// floppy drive), as the geometry counts it.
std::uint64_t MediumSectors(MediaContext& context, const CreateTarget& target);

}  // namespace veldra
