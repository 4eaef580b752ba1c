#include "media/usb_layout.h"

#include <cstring>

#include "res/fixed_text.h"

namespace veldra {

void BuildEmptyLayout(std::array<BYTE, kDriveLayoutBufferSize>& layout) {
    DWORD signature = 0;
    std::memcpy(&signature, layout.data() + offsetof(DRIVE_LAYOUT_INFORMATION, Signature),
                sizeof signature);
    layout.fill(0);
    DWORD count = 4;
    std::memcpy(layout.data() + offsetof(DRIVE_LAYOUT_INFORMATION, PartitionCount), &count,
                sizeof count);
    std::memcpy(layout.data() + offsetof(DRIVE_LAYOUT_INFORMATION, Signature), &signature,
                sizeof signature);
    for (DWORD i = 0; i < kDriveLayoutEntries; ++i) {
        std::size_t entry =
            offsetof(DRIVE_LAYOUT_INFORMATION, PartitionEntry) + i * sizeof(PARTITION_INFORMATION);
        layout[entry + offsetof(PARTITION_INFORMATION, RewritePartition)] = 1;
    }
}

StepResult ResetDriveLayout(MediaContext& context, HANDLE device) {
    std::array<BYTE, kDriveLayoutBufferSize> layout{};
    DWORD returned = 0;
    if (!context.ports.devices.DeviceIoControl(device, IOCTL_DISK_GET_DRIVE_LAYOUT, nullptr, 0,
                                               layout.data(), kDriveLayoutBufferSize, &returned)) {
        context.reporter.ShowStopMessage(kGetLayoutError);
        return StepResult::Failed;
    }
    BuildEmptyLayout(layout);
    BOOL written =
        context.ports.devices.DeviceIoControl(device, IOCTL_DISK_SET_DRIVE_LAYOUT, layout.data(),
                                              kDriveLayoutBufferSize, nullptr, 0, &returned);
    if (written) RereadDriveLayout(context.ports, device);
    // The system needs the moment whatever the outcome.
    context.ports.system.Sleep(kLayoutSettleMs);
    if (!written) {
        context.reporter.ShowStopMessage(kSetLayoutError);
        return StepResult::Failed;
    }
    return StepResult::Done;
}

void RereadDriveLayout(DiskPorts& ports, HANDLE device) {
    DWORD returned = 0;
    ports.devices.DeviceIoControl(device, IOCTL_DISK_UPDATE_PROPERTIES, nullptr, 0, nullptr, 0,
                                  &returned);
}

void AwaitVolume(DiskPorts& ports, const std::string& strDrive) {
    std::string root = strDrive + "\\";
    for (DWORD waited = 0;
         ports.files.GetFileAttributesA(root.c_str()) == INVALID_FILE_ATTRIBUTES &&
         waited < kVolumeWaitMs;
         waited += kVolumePollMs)
        ports.system.Sleep(kVolumePollMs);
}

}  // namespace veldra
