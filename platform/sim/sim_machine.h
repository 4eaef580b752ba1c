// A small simulated Windows machine: every port of the program, implemented
// over a machine directory on the host and driven by an operator script.
//
// It keeps Win32's contracts (results, last errors, share modes, the
// read-only attribute) and fails loudly, with NotImplementedError, on what it
// does not implement rather than pretending.
#pragma once

#include <cstdint>
#include <deque>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/ports.h"
#include "platform/sim/kernel.h"
#include "platform/sim/machine_description.h"
#include "platform/sim/operator_script.h"
#include "platform/sim/transcript.h"
#include "res/dialog_templates.h"

namespace veldra::sim {

// A Windows path resolved onto the host.
struct ResolvedPath {
    DWORD error = ERROR_SUCCESS;  // set when the path cannot name anything
    const DriveConfig* drive = nullptr;
    std::filesystem::path host;  // the entry, existing or to be created
    std::string key;             // upper-case Windows path: identity for share modes
    bool exists = false;
    bool isDirectory = false;
    bool isRoot = false;
};

class SimMachine final : public Kernel,
                         public FilePort,
                         public ProfilePort,
                         public UiPort,
                         public ShellPort {
public:
    SimMachine(MachineConfig config, OperatorScript script, Transcript& transcript);
    ~SimMachine();
    SimMachine(const SimMachine&) = delete;
    SimMachine& operator=(const SimMachine&) = delete;

    Ports ports() { return Ports{*this, *this, *this, *this, *this}; }

    // What tests look at besides the transcript and the kernel's counts.
    std::size_t ScriptRemaining() const { return m_script.Remaining(); }

    // FilePort
    HANDLE CreateFileA(const char* fileName, DWORD desiredAccess, DWORD shareMode,
                       DWORD creationDisposition, DWORD flagsAndAttributes) override;
    BOOL ReadFile(HANDLE file, void* buffer, DWORD bytesToRead, DWORD* bytesRead) override;
    BOOL WriteFile(HANDLE file, const void* buffer, DWORD bytesToWrite,
                   DWORD* bytesWritten) override;
    DWORD SetFilePointer(HANDLE file, std::int32_t distance, std::int32_t* distanceHigh,
                         DWORD moveMethod) override;
    DWORD GetFileSize(HANDLE file, DWORD* fileSizeHigh) override;
    BOOL SetFileTime(HANDLE file, const FILETIME* creation, const FILETIME* lastAccess,
                     const FILETIME* lastWrite) override;
    DWORD GetFileAttributesA(const char* fileName) override;
    BOOL SetFileAttributesA(const char* fileName, DWORD attributes) override;
    HANDLE FindFirstFileA(const char* pattern, WIN32_FIND_DATAA* data) override;
    BOOL FindNextFileA(HANDLE find, WIN32_FIND_DATAA* data) override;

    // ProfilePort
    UINT GetPrivateProfileIntA(const char* section, const char* key, int defaultValue,
                               const char* fileName) override;
    DWORD GetPrivateProfileStringA(const char* section, const char* key, const char* defaultValue,
                                   char* buffer, DWORD size, const char* fileName) override;
    BOOL WritePrivateProfileStringA(const char* section, const char* key, const char* value,
                                    const char* fileName) override;

    // UiPort
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

    // ShellPort
    INT_PTR ShellExecuteA(HWND owner, const char* verb, const char* file, const char* parameters,
                          const char* directory, int show) override;

    // Resolves a Windows path (code page 932) onto the host.
    ResolvedPath Resolve(const char* path);

private:
    struct OpenFile : KernelObject {
        OpenFile(int fd, std::string key, std::filesystem::path host, const DriveConfig* drive,
                 DWORD access, DWORD share)
            : fd(fd),
              key(std::move(key)),
              host(std::move(host)),
              drive(drive),
              access(access),
              share(share) {}
        ~OpenFile() override;
        int fd = -1;
        std::string key;
        std::filesystem::path host;
        const DriveConfig* drive = nullptr;
        DWORD access = 0;
        DWORD share = 0;
        std::uint64_t position = 0;
    };
    struct FindState : KernelObject {
        std::deque<WIN32_FIND_DATAA> remaining;
    };
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

    DWORD Fail(DWORD error);
    int* OpensLeft(const std::string& key);
    bool HasVanished(const ResolvedPath& path);
    bool IsGone(const std::string& key);
    bool ShareConflicts(const std::string& key, DWORD access, DWORD share) const;
    OpenFile* FindOpenFile(HANDLE handle);
    DWORD AttributesOf(const ResolvedPath& path) const;
    WIN32_FIND_DATAA FindDataFor(const std::filesystem::path& host, const std::string& cp932Name,
                                 const std::string& key) const;
    std::optional<std::string> ReadHostFile(const ResolvedPath& path);

    Window* FindWindow(HWND hwnd);
    Control* FindControl(HWND hwnd, Window** owner = nullptr);
    void Dispatch(Window& window, UINT message, WPARAM wParam, LPARAM lParam);
    void DefaultDialogHandling(Window& window, UINT message, WPARAM wParam, LPARAM lParam);
    void PerformOperatorAction(Window& window);
    void PerformWait(const Action& action);
    void PressButton(Window& window, int id, const std::string& name);
    void PickLine(Window& window, int id, int line);
    LRESULT ComboMessage(Control& control, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT ProgressMessage(Control& control, UINT message, WPARAM wParam, LPARAM lParam);
    void ShowChange(const Control& control, const std::string& what);

    const MachineConfig& m_config;
    OperatorScript m_script;
    Transcript& m_transcript;

    std::map<std::string, DWORD> m_extraAttributes;  // hidden, system, archive by key
    std::map<std::string, FILETIME> m_creationTimes;
    std::map<std::string, int> m_opensLeft;  // vanishing files, by key
    std::map<char, std::uint64_t> m_freeBytes;

    std::vector<std::unique_ptr<Window>> m_windows;  // open dialogs, innermost last
    std::uintptr_t m_nNextWindow = 0x10000;
    HCURSOR m_hCursor;
    int m_nMessageBoxDepth = 0;
};

}  // namespace veldra::sim
