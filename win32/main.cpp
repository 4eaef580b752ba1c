// TAVEX.EXE: the program on the real system's ports.
#include "app/tavexfd_app.h"
#include "win32/win32_ports.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    // The progress bar's window class lives in comctl32.
    ::InitCommonControls();

    veldra::win32::Win32SystemPort system;
    veldra::win32::Win32FilePort files;
    veldra::win32::Win32ProfilePort profile;
    veldra::win32::Win32UiPort ui;
    veldra::win32::Win32ShellPort shell;
    veldra::win32::Win32DevicePort devices;
    veldra::win32::Win32RegistryPort registry;
    veldra::Ports ports{system, files, profile, ui, shell, devices, registry};
    return veldra::RunTavexApplication(ports);
}
