// The simulated desktop (the UiPort): modal dialogs built from their
// templates, their controls, message boxes, the system menu, icons, cursor
// and painting. Between messages the operator script stands in for the person
// at the machine; whatever the screen shows goes to the transcript.
//
// The thread's messages as Windows keeps them: the dialog's loop takes posted
// messages, then queued clicks and keys, then paints, and only then waits for
// the operator. On Windows XP a control paints itself as it changes; from
// Vista on, a change waits for the next painting. A window whose thread has
// taken no message for 5 seconds of the virtual clock is replaced by its
// ghost, which shows nothing new until the thread takes messages again.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
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
    ~Desktop();
    Desktop(const Desktop&) = delete;
    Desktop& operator=(const Desktop&) = delete;

    std::size_t ScriptRemaining() const { return m_script.Remaining(); }
    // A volume arrived or went (a stick plugged in or out): every open dialog
    // gets WM_DEVICECHANGE with DBT_DEVICEARRIVAL or DBT_DEVICEREMOVECOMPLETE
    // and a DEV_BROADCAST_VOLUME naming the letter. The operator acts only
    // while the thread waits in a loop, so the message is sent at once.
    void BroadcastVolumeChange(WPARAM event, char letter);
    // A serial port (a USB adapter) comes or goes: DBT_DEVTYP_PORT and its
    // name, such as "COM3".
    void BroadcastPortChange(WPARAM event, const std::string& name);
    // Some device node was added or removed: DBT_DEVNODES_CHANGED, lParam 0.
    void BroadcastDevnodesChanged();

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
    UINT RegisterWindowMessageA(const char* name) override;
    INT_PTR SetWindowLongPtrA(HWND window, int index, INT_PTR value) override;
    // AutoPlay on 6.0 and later: `arrivals` names the removable volumes that
    // arrived, since last asked, without a file system the machine knows.
    // For each, when the thread next takes messages (a loop, PeekMessageA:
    // the shell's query is a sent message), the foreground dialog gets
    // "QueryCancelAutoPlay"; unless it answers TRUE, `prompt` shows the
    // format prompt for that letter.
    void SetAutoPlay(std::function<std::vector<char>()> arrivals, std::function<void(char)> prompt);
    // The sent messages that wait: the shell's queries for arrived volumes.
    // Called whenever the thread takes messages, and by the operator's hands,
    // who act only while it waits in a loop.
    void DeliverSentMessages();
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
    BOOL PeekMessageA(MSG* message, HWND window, UINT filterMin, UINT filterMax,
                      UINT remove) override;
    void DisableProcessWindowsGhosting() override;

private:
    void BroadcastDeviceChange(WPARAM event, LPARAM data);
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
        // What the screen shows of the text and the bar: behind the above
        // while a change waits to be painted.
        std::string shownText;
        int shownLow = 0;
        int shownHigh = 100;
        int shownPosition = 0;
        // Where a themed bar has got to: it moves up to a new position only on
        // its animation's timer messages, down at once.
        int drawnPosition = 0;
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
        bool shown = false;     // on the screen since its loop first waited
        bool ghosted = false;   // its ghost stands in its place
        bool painting = false;  // between BeginPaint and EndPaint
        std::vector<MenuItem> systemMenu;
        INT_PTR msgResult = 0;  // DWLP_MSGRESULT
    };
    // A click or key the operator made while a handler ran.
    struct QueuedInput {
        HWND dialog;
        HWND target;  // the control clicked, or the dialog for keys and its close box
        UINT message;
        WPARAM wParam;
        Action action;
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
    void Perform(Window& window, const Action& action);
    LRESULT ComboMessage(Control& control, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT ProgressMessage(Window& window, Control& control, UINT message, WPARAM wParam,
                            LPARAM lParam);
    void ShowChange(const Control& control, const std::string& what);

    // The message queue (desktop_queue.cpp).
    bool PaintsAtOnce(const Window& window) const;
    void PaintControl(Control& control);
    void PaintWindows();
    void RunBarAnimations();
    void TookMessages();
    void WatchClock(std::uint64_t nowMs);
    void TakeMeanwhileActions(Window& window);
    bool DeliverQueuedInput(Window& window);

    Kernel& m_kernel;
    const MachineConfig& m_config;
    OperatorScript m_script;
    Transcript& m_transcript;

    std::vector<std::unique_ptr<Window>> m_windows;  // open dialogs, innermost last
    std::deque<QueuedInput> m_input;
    bool m_bPaintOnRequest;  // Vista and later: changes wait for a painting
    bool m_bAnimatedBars;    // Vista and later: the themed bar animates upwards
    bool m_bGhosting = true;
    std::uint64_t m_nTookMessagesMs = 0;  // when the thread last took messages
    std::uintptr_t m_nNextWindow = 0x10000;
    HCURSOR m_hCursor = static_cast<HCURSOR>(SYSTEM_CURSOR_ARROW);
    std::map<std::string, UINT> m_registeredMessages;  // by upper-case name
    std::function<std::vector<char>()> m_autoPlayArrivals;
    std::function<void(char)> m_autoPlayPrompt;
    bool m_bSending = false;
};

}  // namespace veldra::sim
