#include "disk/drive_types.h"

#include <utility>

namespace veldra {

void KeepDrivesForMedium(DriveList& list, bool usbMedium) {
    std::int32_t kept = 0;
    for (std::int32_t i = 0; i < list.Count && i < DRIVE_LETTER_COUNT; ++i) {
        DriveRecord& record = list.Records[static_cast<std::size_t>(i)];
        if (record.DriveType != static_cast<std::int32_t>(DRIVE_REMOVABLE) ||
            record.Letters.empty())
            continue;
        char letter = record.Letters[0];
        bool floppyLetter = letter == 'A' || letter == 'B';
        bool diskLetter = letter >= 'C' && letter <= 'Z';
        if (usbMedium ? !diskLetter : !floppyLetter) continue;
        if (kept != i) {
            list.Records[static_cast<std::size_t>(kept)] = std::move(record);
        }
        ++kept;
    }
    list.Count = kept;
}

}  // namespace veldra
