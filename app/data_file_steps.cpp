// The dialog's steps over the data files and the creation log: each hands
// over to the records subsystem with the application's state.
#include "app/tavexfd_app.h"
#include "app/tavexfd_dlg.h"
#include "records/install_run.h"
#include "res/resource.h"

namespace veldra {

RecordsContext CTAVEXFDDlg::Records() {
    return RecordsContext{m_ports.system, m_ports.files, m_ports.profile, *this};
}

HeaderRead CTAVEXFDDlg::ReadDataFileHeader(const std::string& path, int mode,
                                           DataFileHeader* destination) {
    RecordsContext context = Records();
    return ReadHeaderOfDataFile(context, path, mode, destination);
}

std::optional<ListedDataFile> CTAVEXFDDlg::EntryPaths(int entryNumber) {
    CTAVEXFDApp& app = App();
    if (LoadProgramEntry(app.m_strIniPath, entryNumber, HDR_PATHS_ONLY) != ProgramLoad::Loaded)
        return std::nullopt;
    return ListedDataFile{app.m_strDataPath, app.m_strDataName};
}

DataFileCheck CTAVEXFDDlg::CheckDataFiles() {
    RecordsContext context = Records();
    DataFileCheckOutcome outcome = CheckListedDataFiles(context, App().m_strIniPath, *this);
    m_strMessage = outcome.message;
    return outcome.result;
}

std::string CTAVEXFDDlg::BuildLogDateLine() {
    SYSTEMTIME now{};
    m_ports.system.GetLocalTime(&now);
    return FormatLogDateLine(now);
}

BOOL CTAVEXFDDlg::WriteCreationLog(int kind) {
    CTAVEXFDApp& app = App();
    RecordsContext context = Records();
    std::string entry = BuildLogEntry(*this, kind, BuildLogDateLine(),
                                      LogFacts{app.m_DataHeader.ProgramName(), app.m_strExeDir});
    LogAppend result =
        AppendToCreationLog(context, app.m_strExeDirSlash + kCreationLogFileName, entry);
    return result == LogAppend::Appended ? TRUE : FALSE;
}

BOOL CTAVEXFDDlg::IsExistingDirectory(const std::string& path) {
    RecordsContext context = Records();
    return IsExistingDirectoryPath(context, path) ? TRUE : FALSE;
}

// The installation run: check the directory and the data files, record the
// installation in the log, and close without the dialog ever being used.
BOOL CTAVEXFDDlg::RunInstallSteps() {
    if (!IsExistingDirectory(App().m_strExeDir)) {
        m_strMessage = LoadText(IDS_BAD_INSTALL_DIR);
        ShowStopMessage(m_strMessage);
        CloseAtStartup();
        return TRUE;
    }
    DataFileCheck check = CheckDataFiles();
    if (check != DataFileCheck::Passed) {
        if (check != DataFileCheck::Reported) ShowStopMessage(m_strMessage);
        CloseAtStartup();
        return TRUE;
    }
    // A log failure has shown its own message; the run ends the same way.
    WriteCreationLog(LOG_INSTALLED);
    CloseAtStartup();
    return TRUE;
}

}  // namespace veldra
