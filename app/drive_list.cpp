// The dialog's drive list and the opening of a creation's target: drive
// discovery does the work over the dialog's own tables.
#include "app/tavexfd_app.h"
#include "app/tavexfd_dlg.h"
#include "disk/disk_info.h"

namespace veldra {

// Drive discovery runs only on the NT line; elsewhere the list stays as it was.
DriveListRefresh CTAVEXFDDlg::RefreshDriveList(DriveList& list) {
    if (App().m_nPlatformId != VER_PLATFORM_WIN32_NT) return DriveListRefresh::NotNt;
    TheDiskInfo()->ListRemovableDrives(list, m_LetterTable);
    return DriveListRefresh::Rebuilt;
}

HANDLE CTAVEXFDDlg::OpenTarget(CreateTarget& target) {
    return OpenTargetWithAttempts(*TheDiskInfo(), target, TargetGeometryPath(target));
}

HANDLE CTAVEXFDDlg::OpenTargetVolume(CreateTarget& target) {
    return OpenTargetWithAttempts(*TheDiskInfo(), target, TargetVolumePath(target));
}

}  // namespace veldra
