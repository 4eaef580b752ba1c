// The installation run: the setup program starts the tool once with /INSTALL;
// it checks its directory and data files, records the installation in the log
// and closes without the dialog ever being used.
#include "app/tavexfd_app.h"
#include "app/tavexfd_dlg.h"
#include "platform/handle.h"
#include "res/resource.h"

namespace veldra {

BOOL CTAVEXFDDlg::IsExistingDirectory(const std::string& path) {
    WIN32_FIND_DATAA found;
    UniqueFindHandle search(m_ports.system, m_ports.files.FindFirstFileA(path.c_str(), &found));
    if (!search) return FALSE;
    return (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? TRUE : FALSE;
}

BOOL CTAVEXFDDlg::RunInstallSteps() {
    if (!IsExistingDirectory(App().m_strExeDir)) {
        m_strMessage = LoadText(IDS_BAD_INSTALL_DIR);
        ShowStopMessage(m_strMessage);
        CloseAtStartup();
        return TRUE;
    }
    int check = CheckDataFiles();
    if (check != CHECK_OK) {
        if (check != CHECK_REPORTED) ShowStopMessage(m_strMessage);
        CloseAtStartup();
        return TRUE;
    }
    // A log failure has shown its own message; the run ends the same way.
    WriteCreationLog(LOG_INSTALLED);
    CloseAtStartup();
    return TRUE;
}

}  // namespace veldra
