#include "app/framework/dialog.h"

#include "app/framework/win_app.h"

namespace veldra {

CDialog::CDialog(Ports& ports, int templateId) : m_ports(ports), m_nTemplateId(templateId) {}

INT_PTR CDialog::DoModal() {
    CWinApp* app = AfxGetApp();
    HWND parent = app ? app->m_hMainWnd : NULL_HWND;
    INT_PTR result = m_ports.ui.DialogBoxParamA(m_nTemplateId, parent, *this);
    m_hWnd = NULL_HWND;
    return result;
}

BOOL CDialog::OnInitDialog() {
    DoDataExchange();
    return TRUE;
}

INT_PTR CDialog::DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        m_hWnd = dialog;
        return OnInitDialog();
    }
    if (message == WM_COMMAND) {
        WORD id = LOWORD(wParam);
        WORD code = HIWORD(wParam);
        if (OnCommand(id, code)) return TRUE;
        if (code == BN_CLICKED && id == IDOK) {
            OnOK();
            return TRUE;
        }
        if (code == BN_CLICKED && id == IDCANCEL) {
            OnCancel();
            return TRUE;
        }
        // Not the dialog's: the application may handle it (Help, for one).
        CWinApp* app = AfxGetApp();
        return app ? app->OnCmdMsg(id) : FALSE;
    }
    INT_PTR result = TRUE;
    if (OnMessage(message, wParam, lParam, &result)) return result;
    return FALSE;
}

}  // namespace veldra
