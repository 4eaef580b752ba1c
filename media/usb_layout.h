// Preparing a USB stick: its partition table is replaced through the disk
// driver by four empty entries, the disk signature kept. Everything the stick
// holds afterwards comes from the data file.
//
// From Windows Vista on the system takes the stick's volume away with the old
// table and sees a new one only when it reads the table again: it is asked to
// (IOCTL_DISK_UPDATE_PROPERTIES) after the reset and again once the image has
// written the stick's own table, and the files are copied once the new volume
// has arrived under its letter.
#pragma once

#include <array>
#include <string>

#include "media/media_reporter.h"

namespace veldra {

constexpr DWORD kLayoutSettleMs = 500;
// How long, and how often, the copy looks for the stick's new volume.
constexpr DWORD kVolumeWaitMs = 10000;
constexpr DWORD kVolumePollMs = 250;

// The layout that replaces the one read: the same signature, four entries,
// every one of the 104 cleared and marked to be rewritten.
void BuildEmptyLayout(std::array<BYTE, kDriveLayoutBufferSize>& layout);

StepResult ResetDriveLayout(MediaContext& context, HANDLE device);

// Asks the system to read the disk's partition table again; whatever it says,
// the wait below decides.
void RereadDriveLayout(DiskPorts& ports, HANDLE device);

// Waits, at most kVolumeWaitMs, until the drive ("E:") has a volume whose
// root can be read. A drive still without one is the next step's to report:
// it names what the operator sees.
void AwaitVolume(DiskPorts& ports, const std::string& strDrive);

}  // namespace veldra
