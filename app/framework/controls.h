// Thin wrappers over a dialog's controls: each holds the control's window and
// speaks to it with the control's own messages.
#pragma once

#include <string>

#include "platform/ui_port.h"

namespace veldra {

class CWnd {
public:
    void Attach(UiPort& ui, HWND window) {
        m_pUi = &ui;
        m_hWnd = window;
    }
    HWND GetSafeHwnd() const { return m_hWnd; }
    void SetWindowTextA(const std::string& text) { m_pUi->SetWindowTextA(m_hWnd, text.c_str()); }
    void EnableWindow(BOOL enable) { m_pUi->EnableWindow(m_hWnd, enable); }
    BOOL IsWindowEnabled() const { return m_pUi->IsWindowEnabled(m_hWnd); }
    BOOL UpdateWindow() { return m_pUi->UpdateWindow(m_hWnd); }

protected:
    LRESULT Send(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const {
        return m_pUi->SendMessageA(m_hWnd, message, wParam, lParam);
    }

    UiPort* m_pUi = nullptr;
    HWND m_hWnd = NULL_HWND;
};

class CComboBox : public CWnd {
public:
    int AddString(const std::string& text) {
        return static_cast<int>(Send(CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str())));
    }
    int GetCurSel() const { return static_cast<int>(Send(CB_GETCURSEL)); }
    int SetCurSel(int index) {
        return static_cast<int>(Send(CB_SETCURSEL, static_cast<WPARAM>(index)));
    }
    int GetCount() const { return static_cast<int>(Send(CB_GETCOUNT)); }
    void ResetContent() { Send(CB_RESETCONTENT); }
    std::string GetLBText(int index) const;
};

class CEdit : public CWnd {};
class CStatic : public CWnd {};
class CButton : public CWnd {};

class CProgressCtrl : public CWnd {
public:
    void SetRange(WORD lower, WORD upper) { Send(PBM_SETRANGE, 0, MAKELPARAM(lower, upper)); }
    int SetStep(int step) { return static_cast<int>(Send(PBM_SETSTEP, static_cast<WPARAM>(step))); }
    int StepIt() { return static_cast<int>(Send(PBM_STEPIT)); }
    int SetPos(int position) {
        return static_cast<int>(Send(PBM_SETPOS, static_cast<WPARAM>(position)));
    }
    int GetPos() const { return static_cast<int>(Send(PBM_GETPOS)); }
};

}  // namespace veldra
