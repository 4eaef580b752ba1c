// RegistryPort on advapi32.
#include "win32/win32_ports.h"

namespace veldra::win32 {

LONG Win32RegistryPort::RegOpenKeyExA(HKEY key, const char* subKey, REGSAM desired, HKEY* result) {
    return ::RegOpenKeyExA(key, subKey, 0, desired, result);
}

LONG Win32RegistryPort::RegQueryValueExA(HKEY key, const char* valueName, DWORD* type, BYTE* data,
                                         DWORD* dataSize) {
    return ::RegQueryValueExA(key, valueName, nullptr, type, data, dataSize);
}

LONG Win32RegistryPort::RegCloseKey(HKEY key) {
    return ::RegCloseKey(key);
}

}  // namespace veldra::win32
