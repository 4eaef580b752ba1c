// ShellPort on shell32, its texts in code page 932 (win32/code_page.h). The
// shell may hand the file to a handler it runs through COM: WinMain has
// initialised COM on this thread.
#include "win32/code_page.h"
#include "win32/win32_ports.h"

namespace veldra::win32 {

// The instance value is only a number to compare with 32.
INT_PTR Win32ShellPort::ShellExecuteA(HWND owner, const char* verb, const char* file,
                                      const char* parameters, const char* directory, int show) {
    if (!Converts932()) {
        return reinterpret_cast<INT_PTR>(
            ::ShellExecuteA(owner, verb, file, parameters, directory, show));
    }
    return reinterpret_cast<INT_PTR>(::ShellExecuteW(owner, WideArg(verb).get(),
                                                     WideArg(file).get(), WideArg(parameters).get(),
                                                     WideArg(directory).get(), show));
}

}  // namespace veldra::win32
