// The media definition file: the list of programs, the preselection and the
// floppy writer's settings. Only "FILENO" is ever written.
#include <string>

#include "app/tavexfd_app.h"
#include "app/tavexfd_dlg.h"
#include "records/media_definition_keys.h"
#include "res/message_text.h"
#include "res/resource.h"

namespace veldra {
namespace {

constexpr DWORD kEntryValueBufferSize = 64;

int ReadInt(ProfilePort& profile, const char* key, int defaultValue, const std::string& iniPath) {
    return static_cast<int>(
        profile.GetPrivateProfileIntA(kMediaDefinitionSection, key, defaultValue, iniPath.c_str()));
}

}  // namespace

ProgramLoad CTAVEXFDDlg::LoadProgramEntry(const std::string& iniPath, int entryNumber, int mode) {
    std::string key = kKeyProgramPrefix + std::to_string(entryNumber);
    char value[kEntryValueBufferSize] = {};
    DWORD length = m_ports.profile.GetPrivateProfileStringA(
        kMediaDefinitionSection, key.c_str(), "", value, kEntryValueBufferSize, iniPath.c_str());
    if (length == 0) {
        ShowStopMessage(FormatMessageText(LoadText(IDS_INVALID_FILE), FileTitleOf(iniPath)));
        return ProgramLoad::Refused;
    }
    CTAVEXFDApp& app = App();
    app.m_strDataName.assign(value, length);
    app.m_strDataPath = app.m_strExeDirSlash + app.m_strDataName;
    return ReadDataFileHeader(app.m_strDataPath, mode, &app.m_DataHeader) == HeaderRead::Read
               ? ProgramLoad::Loaded
               : ProgramLoad::Refused;
}

ProgramLoad CTAVEXFDDlg::LoadProgramList(const std::string& iniPath) {
    int count = ReadInt(m_ports.profile, kKeyProgramCount, 0, iniPath);
    if (count <= 0) {
        ShowStopMessage(FormatMessageText(LoadText(IDS_INVALID_FILE), FileTitleOf(iniPath)));
        return ProgramLoad::Refused;
    }
    for (int n = 1; n <= count; ++n) {
        if (LoadProgramEntry(iniPath, n, HDR_READ_LISTING) != ProgramLoad::Loaded)
            return ProgramLoad::Refused;
        m_cmbProgram.AddString(App().m_DataHeader.ProgramName());
    }

    int selection = ReadInt(m_ports.profile, kKeyPreselection, 1, iniPath);
    if (selection < 1 || selection > count) selection = 1;
    m_nWriteDelay = ReadInt(m_ports.profile, kKeyWriteDelay, kDefaultWriteDelay, iniPath);
    if (m_nWriteDelay < kMinimumWriteDelay) m_nWriteDelay = kDefaultWriteDelay;
    m_nWriteRetry = ReadInt(m_ports.profile, kKeyWriteRetry, kDefaultWriteRetry, iniPath);
    if (m_nWriteRetry < kDefaultWriteRetry) m_nWriteRetry = kDefaultWriteRetry;
    m_nVerify = ReadInt(m_ports.profile, kKeyVerify, 0, iniPath);

    m_cmbProgram.SetCurSel(0);
    m_cmbProgram.SetCurSel(selection - 1);
    m_nProgramIndex = selection - 1;
    return LoadProgramEntry(iniPath, selection, HDR_READ);
}

// The program box's selection, counted from 1, becomes the next start's
// preselection; with no selection that is 0, which the next start reads as 1.
void CTAVEXFDDlg::SaveProgramSelection() {
    std::string value = std::to_string(m_cmbProgram.GetCurSel() + 1);
    m_ports.profile.WritePrivateProfileStringA(kMediaDefinitionSection, kKeyPreselection,
                                               value.c_str(), App().m_strIniPath.c_str());
}

}  // namespace veldra
