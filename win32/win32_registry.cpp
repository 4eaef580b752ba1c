// RegistryPort on advapi32. Key and value names go to the W functions in code
// page 932, and text values come back in it (win32/code_page.h); the results
// are the system's, and the thread's last error stays as the system left it.
#include <vector>

#include "win32/code_page.h"
#include "win32/win32_ports.h"

namespace veldra::win32 {
namespace {

bool IsText(DWORD type) {
    return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

}  // namespace

LONG Win32RegistryPort::RegOpenKeyExA(HKEY key, const char* subKey, REGSAM desired, HKEY* result) {
    if (!Converts932()) return ::RegOpenKeyExA(key, subKey, 0, desired, result);
    return ::RegOpenKeyExW(key, WideArg(subKey).get(), 0, desired, result);
}

// A text value is as many code page 932 bytes as its UTF-16 characters make,
// its NUL among them when it was stored with one; every other type is the
// system's bytes.
LONG Win32RegistryPort::RegQueryValueExA(HKEY key, const char* valueName, DWORD* type, BYTE* data,
                                         DWORD* dataSize) {
    if (!Converts932()) return ::RegQueryValueExA(key, valueName, nullptr, type, data, dataSize);
    DWORD error = ::GetLastError();
    WideArg name(valueName);
    DWORD valueType = REG_NONE;
    DWORD wideSize = 0;
    LONG result = ::RegQueryValueExW(key, name.get(), nullptr, &valueType, nullptr, &wideSize);
    std::vector<BYTE> wide;
    while (result == ERROR_SUCCESS && IsText(valueType)) {
        wide.resize(wideSize + sizeof(wchar_t));
        wideSize = static_cast<DWORD>(wide.size());
        result = ::RegQueryValueExW(key, name.get(), nullptr, &valueType, wide.data(), &wideSize);
        if (result != ERROR_MORE_DATA) break;
        result = ERROR_SUCCESS;
    }
    if (type && (result == ERROR_SUCCESS || result == ERROR_MORE_DATA)) *type = valueType;
    if (result != ERROR_SUCCESS || !IsText(valueType)) {
        if (result == ERROR_SUCCESS) {
            result = ::RegQueryValueExW(key, name.get(), nullptr, nullptr, data, dataSize);
        }
        ::SetLastError(error);
        return result;
    }
    std::wstring_view characters(reinterpret_cast<const wchar_t*>(wide.data()),
                                 wideSize / sizeof(wchar_t));
    std::string text = Narrow(characters);
    DWORD needed = static_cast<DWORD>(text.size());
    ::SetLastError(error);
    if (data == nullptr) {
        if (dataSize) *dataSize = needed;
        return ERROR_SUCCESS;
    }
    if (dataSize == nullptr) return ERROR_INVALID_PARAMETER;
    if (*dataSize < needed) {
        *dataSize = needed;
        return ERROR_MORE_DATA;
    }
    text.copy(reinterpret_cast<char*>(data), needed);
    *dataSize = needed;
    return ERROR_SUCCESS;
}

LONG Win32RegistryPort::RegCloseKey(HKEY key) {
    return ::RegCloseKey(key);
}

}  // namespace veldra::win32
