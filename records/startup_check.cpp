// The start-up check: every data file the media definition file lists must be
// present, openable for reading and writing, at least a header long and intact.
// It shows nothing of its own findings; the text waits in m_strMessage.
#include "app/message_text.h"
#include "app/tavexfd_app.h"
#include "app/tavexfd_dlg.h"
#include "platform/handle.h"
#include "res/resource.h"

namespace veldra {

int CTAVEXFDDlg::CheckDataFiles() {
    CTAVEXFDApp& app = App();
    int count = static_cast<int>(
        m_ports.profile.GetPrivateProfileIntA("FILE", "FILES", 0, app.m_strIniPath.c_str()));
    // A negative count lists nothing either; the program list would refuse it.
    if (count <= 0) {
        m_strMessage = FormatMessageText(LoadText(IDS_INVALID_FILE), FileTitleOf(app.m_strIniPath));
        return CHECK_NO_PROGRAMS;
    }
    for (int n = 1; n <= count; ++n) {
        if (LoadProgramEntry(app.m_strIniPath, n, HDR_PATHS_ONLY) != 0) return CHECK_REPORTED;

        // Opened for writing too, so that a read-only data file is refused
        // here rather than halfway through a creation; nothing is written.
        UniqueFileHandle file(
            m_ports.system,
            m_ports.files.CreateFileA(app.m_strDataPath.c_str(), GENERIC_READ | GENERIC_WRITE,
                                      FILE_SHARE_READ, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL));
        if (!file) {
            m_strMessage = FormatMessageText(LoadText(IDS_CANNOT_OPEN), app.m_strDataName);
            return CHECK_CANNOT_OPEN;
        }
        DataFileHeader header;
        DWORD bytesRead = 0;
        if (!m_ports.files.ReadFile(file.get(), header.bytes.data(), HDR_SIZE, &bytesRead) ||
            bytesRead < HDR_SIZE) {
            m_strMessage = FormatMessageText(LoadText(IDS_NOT_DATA_FILE), app.m_strDataName);
            return CHECK_NOT_DATA_FILE;
        }
        if (!IsHeaderChecksumValid(&header)) {
            m_strMessage = FormatMessageText(LoadText(IDS_DATA_BROKEN), app.m_strDataName);
            return CHECK_BROKEN;
        }
    }
    return CHECK_OK;
}

}  // namespace veldra
