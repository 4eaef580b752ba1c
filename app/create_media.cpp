// The Create button. The writing steps arrive with raw device access; until
// drive discovery lists drives, no drive can be selected and the command ends
// at the selection check.
#include "app/tavexfd_app.h"
#include "app/tavexfd_dlg.h"
#include "media/progress_plan.h"
#include "res/resource.h"

namespace veldra {

void CTAVEXFDDlg::OnCreateMedia() {
    const DataFileHeader& header = App().m_DataHeader;
    m_prgProgress.SetRange(0, ProgressTotal(header));
    m_prgProgress.SetStep(1);

    if (m_cmbDrive.GetCurSel() == CB_ERR) {
        bool usbMedium = header.MediaKind() == MEDIA_USB;
        ShowStopMessage(LoadText(usbMedium ? IDS_NO_USB_MEMORY : IDS_NO_FLOPPY_DRIVE));
        return;
    }
}

}  // namespace veldra
