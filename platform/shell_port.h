// Shell: shell32's ShellExecuteA. The result is an instance value that is
// greater than 32 on success; 32 or less is an error code (2 = file not found,
// 31 = no association).
#pragma once

#include "platform/ui_port.h"
#include "platform/win32_types.h"

namespace veldra {

class ShellPort {
public:
    virtual INT_PTR ShellExecuteA(HWND owner, const char* verb, const char* file,
                                  const char* parameters, const char* directory, int show) = 0;

protected:
    ~ShellPort() = default;
};

}  // namespace veldra
