// ProfilePort on kernel32.
#include "win32/win32_ports.h"

namespace veldra::win32 {

UINT Win32ProfilePort::GetPrivateProfileIntA(const char* section, const char* key, int defaultValue,
                                             const char* fileName) {
    return ::GetPrivateProfileIntA(section, key, defaultValue, fileName);
}

DWORD Win32ProfilePort::GetPrivateProfileStringA(const char* section, const char* key,
                                                 const char* defaultValue, char* buffer, DWORD size,
                                                 const char* fileName) {
    return ::GetPrivateProfileStringA(section, key, defaultValue, buffer, size, fileName);
}

BOOL Win32ProfilePort::WritePrivateProfileStringA(const char* section, const char* key,
                                                  const char* value, const char* fileName) {
    return ::WritePrivateProfileStringA(section, key, value, fileName);
}

}  // namespace veldra::win32
