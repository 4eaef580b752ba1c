// Preparing a USB stick: its partition table is replaced through the disk
// driver by four empty entries, the disk signature kept. Everything the stick
// holds afterwards comes from the data file.
#pragma once

#include <array>

#include "media/media_reporter.h"

namespace veldra {

constexpr DWORD kLayoutSettleMs = 500;

// The layout that replaces the one read: the same signature, four entries,
// every one of the 104 cleared and marked to be rewritten.
void BuildEmptyLayout(std::array<BYTE, kDriveLayoutBufferSize>& layout);

StepResult ResetDriveLayout(MediaContext& context, HANDLE device);

}  // namespace veldra
