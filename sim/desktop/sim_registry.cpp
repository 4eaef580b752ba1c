#include "sim/desktop/sim_registry.h"

#include <cstring>

#include "host/text.h"

namespace veldra::sim {
namespace {

LONG Result(DWORD error) {
    return static_cast<LONG>(error);
}

}  // namespace

const std::string* SimRegistry::PathOf(HKEY key) const {
    static const std::string kRoot;
    if (key == HKEY_LOCAL_MACHINE) return &kRoot;
    auto it = m_open.find(static_cast<std::uintptr_t>(key));
    return it == m_open.end() ? nullptr : &it->second;
}

LONG SimRegistry::RegOpenKeyExA(HKEY key, const char* subKey, REGSAM desired, HKEY* result) {
    (void)desired;
    const std::string* base = PathOf(key);
    if (base == nullptr) return Result(ERROR_INVALID_HANDLE);
    std::string path = host::UpperAscii(subKey ? subKey : "");
    while (!path.empty() && path.back() == '\\') path.pop_back();
    if (!base->empty()) path = path.empty() ? *base : *base + "\\" + path;
    bool exists = path.empty();
    for (const auto& [described, values] : m_config) {
        if (described == path || described.rfind(path + "\\", 0) == 0) exists = true;
    }
    if (!exists) return Result(ERROR_FILE_NOT_FOUND);
    std::uintptr_t handle = (m_nNext += 4);
    m_open[handle] = path;
    *result = static_cast<HKEY>(handle);
    return Result(ERROR_SUCCESS);
}

LONG SimRegistry::RegQueryValueExA(HKEY key, const char* valueName, DWORD* type, BYTE* data,
                                   DWORD* dataSize) {
    const std::string* path = PathOf(key);
    if (path == nullptr) return Result(ERROR_INVALID_HANDLE);
    auto described = m_config.find(*path);
    if (described == m_config.end()) return Result(ERROR_FILE_NOT_FOUND);
    auto value = described->second.find(host::UpperAscii(valueName ? valueName : ""));
    if (value == described->second.end()) return Result(ERROR_FILE_NOT_FOUND);

    std::string bytes;
    if (value->second.type == REG_DWORD) {
        bytes.resize(4);
        for (int i = 0; i < 4; ++i) bytes[i] = static_cast<char>(value->second.number >> (8 * i));
    } else {
        bytes = value->second.text;
        if (value->second.terminated) bytes.push_back('\0');
    }
    if (type) *type = value->second.type;
    DWORD needed = static_cast<DWORD>(bytes.size());
    if (data == nullptr) {
        if (dataSize) *dataSize = needed;
        return Result(ERROR_SUCCESS);
    }
    if (dataSize == nullptr) return Result(ERROR_INVALID_PARAMETER);
    if (*dataSize < needed) {
        *dataSize = needed;
        return Result(ERROR_MORE_DATA);
    }
    std::memcpy(data, bytes.data(), needed);
    *dataSize = needed;
    return Result(ERROR_SUCCESS);
}

LONG SimRegistry::RegCloseKey(HKEY key) {
    if (key == HKEY_LOCAL_MACHINE) return Result(ERROR_SUCCESS);
    return Result(m_open.erase(static_cast<std::uintptr_t>(key)) ? ERROR_SUCCESS
                                                                 : ERROR_INVALID_HANDLE);
}

}  // namespace veldra::sim
