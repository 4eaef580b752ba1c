// ShellPort on shell32.
#include "win32/win32_ports.h"

namespace veldra::win32 {

// The instance value is only a number to compare with 32.
INT_PTR Win32ShellPort::ShellExecuteA(HWND owner, const char* verb, const char* file,
                                      const char* parameters, const char* directory, int show) {
    return reinterpret_cast<INT_PTR>(
        ::ShellExecuteA(owner, verb, file, parameters, directory, show));
}

}  // namespace veldra::win32
