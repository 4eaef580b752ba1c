// The registry, read only: advapi32's RegOpenKeyExA, RegQueryValueExA and
// RegCloseKey under HKEY_LOCAL_MACHINE.
//
// The functions return the error code (ERROR_SUCCESS, ERROR_FILE_NOT_FOUND
// for a missing key or value, ERROR_MORE_DATA when the value does not fit the
// buffer, in which case *dataSize receives the size it needs) and leave the
// thread's last error alone, as Windows does. Names compare without regard to
// letter case. A REG_SZ value is copied with its terminating NUL when the
// buffer has room for it.
#pragma once

#include <cstdint>

#include "platform/win32_types.h"

namespace veldra {

#ifdef _WIN32
using ::HKEY;
using ::LONG;
using ::REGSAM;
inline const HKEY NULL_HKEY = nullptr;
#else
using LONG = std::int32_t;
using REGSAM = DWORD;
enum class HKEY : std::uintptr_t {};
inline const HKEY NULL_HKEY = static_cast<HKEY>(0);
inline const HKEY HKEY_LOCAL_MACHINE = static_cast<HKEY>(0x80000002u);
#endif

class RegistryPort {
public:
    // No options (0).
    virtual LONG RegOpenKeyExA(HKEY key, const char* subKey, REGSAM desired, HKEY* result) = 0;
    // type, data and dataSize may each be null, as in Win32.
    virtual LONG RegQueryValueExA(HKEY key, const char* valueName, DWORD* type, BYTE* data,
                                  DWORD* dataSize) = 0;
    virtual LONG RegCloseKey(HKEY key) = 0;

protected:
    ~RegistryPort() = default;
};

}  // namespace veldra
