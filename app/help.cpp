#include "app/tavexfd_app.h"
#include "res/message_text.h"
#include "res/resource.h"

namespace veldra {

// The manual is whatever the system opens PDF files with; the tool keeps no
// record of the viewer and does not wait for it.
void CTAVEXFDApp::OnHelp() {
    std::string path = m_strExeDirSlash + kManualFileName;
    INT_PTR result = m_ports.shell.ShellExecuteA(NULL_HWND, "open", path.c_str(), nullptr, nullptr,
                                                 SW_SHOWNORMAL);
    if (result <= 32) {
        AfxMessageBox(LoadStringText(m_ports.ui, IDS_HELP_FAILED), MB_OK);
    }
}

}  // namespace veldra
