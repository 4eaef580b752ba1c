// Read-back verification of a creation, when the media definition file asks
// for it: right after a step, what it wrote is read back through the work
// buffer and compared with the data file. Each check runs before the next
// step, because later steps legitimately change earlier sectors (the file
// copy rewrites the FAT and directory sectors of the image, the final pass
// the sectors of the files).
#pragma once

#include <string>

#include "disk/target_open.h"
#include "media/media_reporter.h"

namespace veldra {

// The sectors of a pass, as the writer wrote them: whole sectors only, zero
// fills as zeros, a sector that a later entry of the same pass wrote again
// judged by that entry alone. Needs the device open, as the pass left it.
StepResult VerifySectorEntries(MediaContext& context, CreateTarget& target, BYTE* buffer,
                               int bufferSize, BYTE pass);

// Every file entry, read back through the file system by its name, against
// its payload; an entry whose name a later entry used again is left to that
// one.
StepResult VerifyFileEntries(MediaContext& context, CreateTarget& target, BYTE* buffer,
                             int bufferSize);

// What the verification message names: a file entry by its file name, any
// other by its index in the table, counted from 0 as veldra-inspect counts.
std::string VerifiedEntryName(const DataFileEntry& entry, int index);

}  // namespace veldra
