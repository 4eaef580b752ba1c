#include "records/creation_log.h"

#include <cstdio>

#include "app/message_text.h"
#include "app/tavexfd_app.h"
#include "app/tavexfd_dlg.h"
#include "platform/handle.h"
#include "res/fixed_text.h"
#include "res/resource.h"

namespace veldra {

std::string FormatLogDateLine(const SYSTEMTIME& time) {
    char line[64];
    std::snprintf(line, sizeof line, kLogDateFormat, time.wYear, time.wMonth, time.wDay, time.wHour,
                  time.wMinute, time.wSecond);
    return line;
}

std::string JoinLogLines(const std::string& heading, const std::string& dateLine,
                         const std::string& detail) {
    return heading + "\r\n" + dateLine + "\r\n" + detail + "\r\n";
}

std::string CTAVEXFDDlg::BuildLogDateLine() {
    SYSTEMTIME now;
    m_ports.system.GetLocalTime(&now);
    return FormatLogDateLine(now);
}

BOOL CTAVEXFDDlg::WriteCreationLog(int kind) {
    CTAVEXFDApp& app = App();
    std::string path = app.m_strExeDirSlash + kCreationLogFileName;
    UniqueFileHandle file(m_ports.system,
                          m_ports.files.CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                                    OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL));
    if (!file) {
        m_strMessage = FormatMessageText(LoadText(IDS_CANNOT_OPEN), kCreationLogFileName);
        ShowStopMessage(m_strMessage);
        return FALSE;
    }

    // Appending from anywhere but the end would overwrite earlier entries, so
    // a failed seek is a failed write.
    m_ports.system.SetLastError(ERROR_SUCCESS);
    DWORD position = m_ports.files.SetFilePointer(file.get(), 0, nullptr, FILE_END);
    bool atEnd =
        !(position == INVALID_SET_FILE_POINTER && m_ports.system.GetLastError() != ERROR_SUCCESS);

    std::string text;
    if (kind == LOG_MEDIA_CREATED) {
        text = JoinLogLines(
            LoadText(IDS_LOG_CREATED), BuildLogDateLine(),
            FormatMessageText(LoadText(IDS_LOG_PROGRAM), app.m_DataHeader.ProgramName()));
    } else if (kind == LOG_INSTALLED) {
        text = JoinLogLines(LoadText(IDS_LOG_INSTALLED), BuildLogDateLine(),
                            FormatMessageText(LoadText(IDS_LOG_DESTINATION), app.m_strExeDir));
    }

    DWORD written = 0;
    if (atEnd) {
        m_ports.files.WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written);
    }
    BOOL result = TRUE;
    if (!atEnd || written != text.size()) {
        m_strMessage = FormatMessageText(LoadText(IDS_WRITE_ERROR), kCreationLogFileName);
        ShowStopMessage(m_strMessage);
        result = FALSE;
    }
    file.close();
    return result;
}

}  // namespace veldra
