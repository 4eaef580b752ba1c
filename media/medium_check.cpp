#include "media/medium_check.h"

#include "media/sector_plan.h"
#include "res/message_text.h"
#include "res/resource.h"

namespace veldra {

std::uint64_t MediumSectors(MediaContext& context, const CreateTarget& target) {
    const DriveRecord& record = *target.pDrive;
    GET_LENGTH_INFORMATION length{};
    DWORD returned = 0;
    if (context.ports.devices.DeviceIoControl(record.Device, IOCTL_DISK_GET_LENGTH_INFO, nullptr, 0,
                                              &length, sizeof length, &returned) &&
        returned >= sizeof length && length.Length.QuadPart >= 0) {
        return static_cast<std::uint64_t>(length.Length.QuadPart) / kDataFileSectorBytes;
    }
    // The geometry leaves out what does not fill a whole cylinder: a floppy's
    // is exact, a disk's no more than a floor.
    return record.TotalSectors * record.BytesPerSector / kDataFileSectorBytes;
}

StepResult CheckMedium(MediaContext& context, const CreateTarget& target) {
    MediaReporter& reporter = context.reporter;
    // A medium of other sectors would take each entry at another place than
    // the data file means, and a sector entry of 512 bytes not at all.
    if (target.pDrive->BytesPerSector != kDataFileSectorBytes) {
        reporter.ShowStopMessage(
            FormatMessageText(reporter.LoadText(IDS_SECTOR_SIZE_UNUSABLE), target.strDrive));
        return StepResult::Failed;
    }
    if (MediumSectors(context, target) < SectorsNeeded(*target.pHeader)) {
        reporter.ShowStopMessage(
            FormatMessageText(reporter.LoadText(IDS_MEDIUM_TOO_SMALL), target.strDrive));
        return StepResult::Failed;
    }
    return StepResult::Done;
}

}  // namespace veldra
