// The dialog's drive list: drive discovery fills it, the drive box shows it.
#include "app/tavexfd_app.h"
#include "app/tavexfd_dlg.h"

namespace veldra {

// Drive discovery runs only on the NT line. The device and registry ports it
// reads have not landed yet, so for now it finds no drive and the drive box
// stays empty.
DriveListRefresh CTAVEXFDDlg::RefreshDriveList(DriveList& list) {
    if (App().m_nPlatformId != VER_PLATFORM_WIN32_NT) return DriveListRefresh::NotNt;
    list.Count = 0;
    return DriveListRefresh::Rebuilt;
}

}  // namespace veldra
