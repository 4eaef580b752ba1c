// The ports on the real system: each call goes straight to the kernel32,
// advapi32, user32 or shell32 function of the same name, with the arguments
// the port leaves out filled in as the program always passes them (no
// security attributes, no template file, no OVERLAPPED, this module's
// resources). Nothing here decides anything the program does.
#pragma once

#include <map>

#include "platform/device_port.h"
#include "platform/file_port.h"
#include "platform/profile_port.h"
#include "platform/registry_port.h"
#include "platform/shell_port.h"
#include "platform/system_port.h"
#include "platform/ui_port.h"

namespace veldra::win32 {

class Win32SystemPort final : public SystemPort {
public:
    BOOL CloseHandle(HANDLE handle) override;
    BOOL FindClose(HANDLE handle) override;
    DWORD GetLastError() const override;
    void SetLastError(DWORD error) override;

    HANDLE OpenMutexA(DWORD desiredAccess, BOOL inheritHandle, const char* name) override;
    HANDLE CreateMutexA(BOOL initialOwner, const char* name) override;
    BOOL GetVersionExA(OSVERSIONINFOA* info) override;
    std::string GetCommandLineA() override;
    DWORD GetModuleFileNameA(char* buffer, DWORD size) override;
    BOOL MessageBeep(UINT type) override;
    void Sleep(DWORD milliseconds) override;
    void GetLocalTime(SYSTEMTIME* time) override;
    UINT SetErrorMode(UINT mode) override;
    void* HeapAlloc(DWORD flags, std::size_t bytes) override;
    BOOL HeapFree(void* memory) override;
};

class Win32FilePort final : public FilePort {
public:
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
    BOOL FlushFileBuffers(HANDLE file) override;
};

class Win32ProfilePort final : public ProfilePort {
public:
    UINT GetPrivateProfileIntA(const char* section, const char* key, int defaultValue,
                               const char* fileName) override;
    DWORD GetPrivateProfileStringA(const char* section, const char* key, const char* defaultValue,
                                   char* buffer, DWORD size, const char* fileName) override;
    BOOL WritePrivateProfileStringA(const char* section, const char* key, const char* value,
                                    const char* fileName) override;
};

class Win32DevicePort final : public DevicePort {
public:
    UINT GetDriveTypeA(const char* rootPathName) override;
    BOOL DeviceIoControl(HANDLE device, DWORD ioControlCode, const void* inBuffer,
                         DWORD inBufferSize, void* outBuffer, DWORD outBufferSize,
                         DWORD* bytesReturned) override;
};

class Win32RegistryPort final : public RegistryPort {
public:
    LONG RegOpenKeyExA(HKEY key, const char* subKey, REGSAM desired, HKEY* result) override;
    LONG RegQueryValueExA(HKEY key, const char* valueName, DWORD* type, BYTE* data,
                          DWORD* dataSize) override;
    LONG RegCloseKey(HKEY key) override;
};

class Win32UiPort final : public UiPort {
public:
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
    BOOL PeekMessageA(MSG* message, HWND window, UINT filterMin, UINT filterMax,
                      UINT remove) override;
    void DisableProcessWindowsGhosting() override;

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
    // The port's EndPaint takes only the window: the paint record of each
    // BeginPaint waits here for it.
    std::map<HWND, PAINTSTRUCT> m_paints;
};

class Win32ShellPort final : public ShellPort {
public:
    INT_PTR ShellExecuteA(HWND owner, const char* verb, const char* file, const char* parameters,
                          const char* directory, int show) override;
};

}  // namespace veldra::win32
