// The application object: decides whether this process may run, works out
// the run mode and the paths, runs the main dialog, and holds the state that
// every part of the program reads (the loaded program's data file among it).
#pragma once

#include <string>

#include "app/framework/win_app.h"
#include "records/data_file_format.h"

namespace veldra {

constexpr char kSingleInstanceMutexName[] = "MAKE NOVUS-KT FD TOOL IS RUNNING";
constexpr char kManualFileName[] = "TvMan.pdf";

class CTAVEXFDApp : public CWinApp {
public:
    explicit CTAVEXFDApp(Ports& ports);

    BOOL InitInstance() override;
    int ExitInstance() override;
    BOOL OnCmdMsg(UINT id) override;

    // The Help command: opens the manual beside the executable.
    void OnHelp();

    HANDLE m_hSingleInstanceMutex = NULL_HANDLE;
    DWORD m_nPlatformId = 0;
    DWORD m_nMajorVersion = 0;  // 6 and later: Vista's themed controls
    int m_nRunMode = 0;
    std::string m_strExeDir;
    std::string m_strExeDirSlash;
    std::string m_strIniPath;
    int m_nExitCode = 0;
    std::string m_strDataPath;
    std::string m_strDataName;
    DataFileHeader m_DataHeader;

private:
    bool IsAnotherInstanceRunning();
    bool CheckPlatform();
    std::string ModuleFileName();
};

// The current application object.
CTAVEXFDApp* TheApp();

// Runs the program on a platform: error mode, application object, exit code.
int RunTavexApplication(Ports& ports);

}  // namespace veldra
