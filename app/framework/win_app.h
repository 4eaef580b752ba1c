// The application object of a dialog program: process-wide state, the
// command-routing target of last resort, and the one accessor that reaches it.
#pragma once

#include <string>

#include "platform/ports.h"

namespace veldra {

class CWinApp {
public:
    // Becomes the current application until destroyed.
    explicit CWinApp(Ports& ports);
    virtual ~CWinApp();
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;

    virtual BOOL InitInstance() = 0;
    virtual int ExitInstance() = 0;
    // A command that no window handled; TRUE when the application handled it.
    virtual BOOL OnCmdMsg(UINT id) {
        (void)id;
        return FALSE;
    }

    // Runs the application: InitInstance, then ExitInstance's exit code.
    int Run();

    Ports& m_ports;
    std::string m_pszAppName;
    HWND m_hMainWnd = NULL_HWND;
};

// The current application, or nullptr outside a run.
CWinApp* AfxGetApp();

// A message box owned by the main window and captioned with the application's
// name, as the program shows all of its messages.
int AfxMessageBox(const std::string& text, UINT type);

}  // namespace veldra
