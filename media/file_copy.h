// The file steps of a creation, through the medium's file system and drive
// letter, never through the raw device: the data file's file entries become
// files in the root, and a floppy's root files get the header's stamp and
// become read-only.
#pragma once

#include "disk/target_open.h"
#include "media/media_reporter.h"

namespace veldra {

constexpr int kFileCreateAttempts = 3;
// Between two attempts: a volume that has just arrived may need the moment.
constexpr DWORD kFileCreatePauseMs = 500;

StepResult CopyFileEntries(MediaContext& context, CreateTarget& target, BYTE* buffer,
                           int bufferSize);
StepResult StampFloppyFiles(MediaContext& context, CreateTarget& target);

}  // namespace veldra
