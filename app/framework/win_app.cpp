#include "app/framework/win_app.h"

namespace veldra {
namespace {
CWinApp* g_pCurrentApp = nullptr;
}

CWinApp::CWinApp(Ports& ports) : m_ports(ports) {
    g_pCurrentApp = this;
}

CWinApp::~CWinApp() {
    if (g_pCurrentApp == this) g_pCurrentApp = nullptr;
}

int CWinApp::Run() {
    InitInstance();
    return ExitInstance();
}

CWinApp* AfxGetApp() {
    return g_pCurrentApp;
}

int AfxMessageBox(const std::string& text, UINT type) {
    CWinApp* app = AfxGetApp();
    return app->m_ports.ui.MessageBoxA(app->m_hMainWnd, text.c_str(), app->m_pszAppName.c_str(),
                                       type);
}

}  // namespace veldra
