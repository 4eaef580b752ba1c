// Writing the sector entries of a data file onto the raw device, through the
// one work buffer, with the writer's pause and retries before every data
// write.
#pragma once

#include "disk/target_open.h"
#include "media/media_reporter.h"

namespace veldra {

struct WriterSettings {
    int writeDelayMs = 100;  // pause before each write attempt of a data entry
    int writeRetry = 5;      // attempts per chunk of a data entry
};

// Pass PASS_IMAGE writes every sector entry; PASS_FINAL writes the absolute
// ones again. Stops at the first failure, with its message shown.
StepResult WriteSectorEntries(MediaContext& context, CreateTarget& target, BYTE* buffer,
                              int bufferSize, BYTE pass, const WriterSettings& settings);

// "メディア書き込み中エラーが発生しました。" and the failing step's number.
std::string MediaWriteError(int step);

}  // namespace veldra
