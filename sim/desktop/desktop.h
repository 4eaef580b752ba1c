// The simulated desktop (the UiPort): modal dialogs built from their
// templates, their controls, message boxes, the system menu, icons, cursor
// and painting. Between messages the operator script stands in for the person
// at the machine; whatever the screen shows goes to the transcript.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "platform/ui_port.h"
#include "res/dialog_templates.h"
#include "res/operator_table.h"
#include "sim/kernel/kernel.h"
#include "sim/machine/operator_script.h"
#include "sim/machine/transcript.h"

namespace veldra::sim {

class Desktop final : public UiPort {
public:
    Desktop(Kernel& kernel, OperatorScript script, Transcript& transcript);

    std::size_t ScriptRemaining() const { return m_script.Remaining(); }

    int LoadStringA(UINT id, char* buffer, int size) override;
    INT_PTR DialogBoxParamA(int templateId, HWND parent, DialogProcedure& procedure) override;
    BOOL EndDialog(HWND dialog, INT_PTR result) override;
    HWND GetDlgItem(HWND dialog, int controlId) override;
    LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;
    BOOL PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;
    BOOL SetWindowTextA(HWND window, const char* text) override;
    int GetWindowTextA(HWND window, char* buffer, int size) override;
    BOOL EnableWindow(HWND window, BOOL enable) override;
    BOOL IsWindowEnabled(HWND window) override;
    BOOL UpdateWindow(HWND window) override;
    int MessageBoxA(HWND owner, const char* text, const char* caption, UINT type) override;
    HMENU GetSystemMenu(HWND window, BOOL revert) override;
    BOOL AppendMenuA(HMENU menu, UINT flags, std::uintptr_t idNewItem, const char* text) override;
    HICON LoadIconA(int resourceId) override;
    HCURSOR LoadCursorA(int systemCursorId) override;
    HCURSOR SetCursor(HCURSOR cursor) override;
    BOOL IsIconic(HWND window) override;
    HDC BeginPaint(HWND window) override;
    BOOL EndPaint(HWND window) override;
    int GetSystemMetrics(int index) override;
    BOOL GetClientRect(HWND window, RECT* rect) override;
    BOOL DrawIcon(HDC dc, int x, int y, HICON icon) override;

private:
    struct Control {
        int id = 0;
        ControlClass kind = ControlClass::Static;
        HWND hwnd = NULL_HWND;
        std::string label;  // how the transcript names it; empty: not shown
        std::string text;   // code page 932
        bool enabled = true;
        std::vector<std::string> items;
        int selection = -1;
        int rangeLow = 0;
        int rangeHigh = 100;
        int position = 0;
        int step = 10;
    };
    struct MenuItem {
        UINT flags;
        std::uintptr_t id;
        std::string text;
    };
    struct Window {
        HWND hwnd;
        const DialogTemplate* dialogTemplate;
        DialogProcedure* procedure;
        std::string caption;  // UTF-8
        std::vector<Control> controls;
        std::deque<std::tuple<UINT, WPARAM, LPARAM>> posted;
        bool ended = false;
        INT_PTR result = 0;
        bool iconic = false;
        std::vector<MenuItem> systemMenu;
    };

    Window* FindWindow(HWND hwnd);
    Control* FindControl(HWND hwnd, Window** owner = nullptr);
    void Dispatch(Window& window, UINT message, WPARAM wParam, LPARAM lParam);
    void DefaultDialogHandling(Window& window, UINT message, WPARAM wParam, LPARAM lParam);
    void PerformOperatorAction(Window& window);
    void PerformWait(const Action& action);
    void PerformVerb(Window& window, const OperatorTarget& target, int number);
    void PressButton(Window& window, int id, const std::string& name);
    void PickLine(Window& window, int id, const std::string& name, int line);
    LRESULT ComboMessage(Control& control, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT ProgressMessage(Control& control, UINT message, WPARAM wParam, LPARAM lParam);
    void ShowChange(const Control& control, const std::string& what);

    Kernel& m_kernel;
    const MachineConfig& m_config;
    OperatorScript m_script;
    Transcript& m_transcript;

    std::vector<std::unique_ptr<Window>> m_windows;  // open dialogs, innermost last
    std::uintptr_t m_nNextWindow = 0x10000;
    HCURSOR m_hCursor = static_cast<HCURSOR>(SYSTEM_CURSOR_ARROW);
};

}  // namespace veldra::sim
