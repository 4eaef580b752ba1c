// A modal dialog: the platform's dialog procedure hands every message to the
// object, which dispatches to named handlers. Commands that the dialog leaves
// alone are routed on to the application object.
#pragma once

#include "platform/ports.h"

namespace veldra {

class CDialog : public DialogProcedure {
public:
    CDialog(Ports& ports, int templateId);
    virtual ~CDialog() = default;
    CDialog(const CDialog&) = delete;
    CDialog& operator=(const CDialog&) = delete;

    // Creates the window from the template, runs it modally, returns the
    // value that ended it.
    INT_PTR DoModal();

    INT_PTR DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) override;

    HWND m_hWnd = NULL_HWND;

protected:
    // Binds the control members to the dialog's controls.
    virtual void DoDataExchange() {}
    virtual BOOL OnInitDialog();
    virtual void OnOK() { EndDialog(IDOK); }
    virtual void OnCancel() { EndDialog(IDCANCEL); }
    // WM_COMMAND: TRUE when the dialog handled the command.
    virtual BOOL OnCommand(WORD id, WORD notifyCode) {
        (void)id;
        (void)notifyCode;
        return FALSE;
    }
    // Every other message: TRUE when handled; result is the dialog
    // procedure's return value then.
    virtual BOOL OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR* result) {
        (void)message;
        (void)wParam;
        (void)lParam;
        (void)result;
        return FALSE;
    }

    void EndDialog(INT_PTR result) { m_ports.ui.EndDialog(m_hWnd, result); }
    BOOL PostMessageA(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
        return m_ports.ui.PostMessageA(m_hWnd, message, wParam, lParam);
    }
    HWND GetDlgItem(int id) { return m_ports.ui.GetDlgItem(m_hWnd, id); }

    Ports& m_ports;

private:
    int m_nTemplateId;
};

}  // namespace veldra
