// TAVEX.EXE: the program on the real system's ports.
#include <objbase.h>

#include "app/tavexfd_app.h"
#include "win32/win32_ports.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    // The progress bar's window class lives in comctl32.
    ::InitCommonControls();
    // Help hands the manual to the shell, which may open it through a handler
    // it runs with COM (the PDF association is one from Windows 8 on): COM
    // must be initialised on this thread first, as ShellExecute's
    // documentation asks, in a single-threaded apartment without OLE1 DDE.
    HRESULT com = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);

    veldra::win32::Win32SystemPort system;
    veldra::win32::Win32FilePort files;
    veldra::win32::Win32ProfilePort profile;
    veldra::win32::Win32UiPort ui;
    veldra::win32::Win32ShellPort shell;
    veldra::win32::Win32DevicePort devices;
    veldra::win32::Win32RegistryPort registry;
    veldra::Ports ports{system, files, profile, ui, shell, devices, registry};
    int exitCode = veldra::RunTavexApplication(ports);
    if (SUCCEEDED(com)) ::CoUninitialize();
    return exitCode;
}
