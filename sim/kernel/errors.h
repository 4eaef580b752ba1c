// How the simulated machine fails: with Win32's error numbers where the host
// refuses a call, and loudly on what it does not implement.
#pragma once

#include <stdexcept>

#include "platform/win32_types.h"

namespace veldra::sim {

// The program asked for something the machine does not simulate; `veldra`
// ends with exit code 4 rather than pretend.
class NotImplementedError : public std::logic_error {
public:
    using std::logic_error::logic_error;
};

// System error codes the program never names, for host failures that have no
// closer counterpart among those it does.
enum : DWORD {
    ERROR_TOO_MANY_OPEN_FILES = 4,
    ERROR_NOT_SAME_DEVICE = 17,
    ERROR_UNEXP_NET_ERR = 59,
    ERROR_NETNAME_DELETED = 64,
    ERROR_CANNOT_MAKE = 82,
    ERROR_NOT_LOCKED = 158,
    ERROR_BUSY = 170,
    ERROR_UNRECOGNIZED_VOLUME = 1005,
    ERROR_FILE_INVALID = 1006,
    ERROR_IO_DEVICE = 1117,
    ERROR_FILE_CORRUPT = 1392,
    // What GetLastError gives for a path on a volume BitLocker keeps locked:
    // the HRESULT itself.
    FVE_E_LOCKED_VOLUME = 0x80310000u,
};

// The last error a failed host call leaves on the machine: errno's value in
// Win32's terms. Unknown values become ERROR_GEN_FAILURE.
DWORD Win32ErrorFromErrno(int error);

}  // namespace veldra::sim
