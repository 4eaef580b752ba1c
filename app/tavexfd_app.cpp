#include "app/tavexfd_app.h"

#include <vector>

#include "app/startup_rules.h"
#include "app/tavexfd_dlg.h"
#include "disk/disk_info.h"
#include "res/message_text.h"
#include "res/resource.h"

namespace veldra {

CTAVEXFDApp::CTAVEXFDApp(Ports& ports) : CWinApp(ports) {}

CTAVEXFDApp* TheApp() {
    return static_cast<CTAVEXFDApp*>(AfxGetApp());
}

BOOL CTAVEXFDApp::InitInstance() {
    m_pszAppName = LoadStringText(m_ports.ui, IDS_APP_NAME);
    m_nExitCode = 0;

    if (IsAnotherInstanceRunning()) {
        m_ports.system.MessageBeep(0);
        return FALSE;
    }
    // Whether we created the mutex or raced another start to it, this
    // instance runs; the handle stays open until the process ends.
    m_hSingleInstanceMutex = m_ports.system.CreateMutexA(FALSE, kSingleInstanceMutexName);

    if (!CheckPlatform()) {
        AfxMessageBox(LoadStringText(m_ports.ui, IDS_UNSUPPORTED_OS), MB_ICONHAND | MB_OK);
        return FALSE;
    }

    m_nRunMode = RunModeOf(m_ports.system.GetCommandLineA());

    ExePaths paths = ExePathsOf(ModuleFileName());
    m_strExeDir = paths.exeDir;
    m_strExeDirSlash = paths.exeDirSlash;
    m_strIniPath = paths.iniPath;

    // A creation runs inside the Create handler and takes minutes. Left to
    // itself, the system would put a "not responding" ghost in the window's
    // place after 5 seconds, hide the progress, and offer to end the program
    // in the middle of a write.
    m_ports.ui.DisableProcessWindowsGhosting();
    {
        CTAVEXFDDlg dialog(m_ports);
        dialog.DoModal();
    }
    m_hMainWnd = NULL_HWND;
    return FALSE;
}

int CTAVEXFDApp::ExitInstance() {
    return m_nExitCode;
}

BOOL CTAVEXFDApp::OnCmdMsg(UINT id) {
    if (id == ID_HELP) {
        OnHelp();
        return TRUE;
    }
    return FALSE;
}

// A running instance of another account (one started elevated with other
// credentials) holds a mutex this account may not open: refused, not absent.
bool CTAVEXFDApp::IsAnotherInstanceRunning() {
    HANDLE existing = m_ports.system.OpenMutexA(MUTEX_ALL_ACCESS, FALSE, kSingleInstanceMutexName);
    if (existing == NULL_HANDLE) return m_ports.system.GetLastError() == ERROR_ACCESS_DENIED;
    m_ports.system.CloseHandle(existing);
    return true;
}

bool CTAVEXFDApp::CheckPlatform() {
    OSVERSIONINFOA version;
    version.dwOSVersionInfoSize = sizeof(OSVERSIONINFOA);
    BOOL ok = m_ports.system.GetVersionExA(&version);
    m_nPlatformId = version.dwPlatformId;
    m_nMajorVersion = ok ? version.dwMajorVersion : 0;
    return IsSupportedPlatform(ok, version);
}

// The executable's full path, in a buffer for the longest path Windows has
// (32767 characters and the NUL), so that it is never cut into a wrong
// directory. A path that still does not fit comes back as long as the buffer.
std::string CTAVEXFDApp::ModuleFileName() {
    constexpr DWORD kSize = 32768;
    std::vector<char> buffer(kSize);
    DWORD length = m_ports.system.GetModuleFileNameA(buffer.data(), kSize);
    if (length >= kSize) return std::string();
    return std::string(buffer.data(), length);
}

int RunTavexApplication(Ports& ports) {
    constexpr UINT kQuietErrors = SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX;
    UINT previous = ports.system.SetErrorMode(kQuietErrors);
    ports.system.SetErrorMode(previous | kQuietErrors);
    CDiskInfo diskInfo(DiskPorts{ports.system, ports.files, ports.devices, ports.registry});
    CTAVEXFDApp app(ports);
    return app.Run();
}

}  // namespace veldra
