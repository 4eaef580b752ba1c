// The registry of the simulated machine, read only: the keys and values that
// machine.ini's [registry KEY] sections give, under HKEY_LOCAL_MACHINE. A key
// exists when it is described or lies on the way to one that is.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "platform/registry_port.h"
#include "sim/devices/device_config.h"

namespace veldra::sim {

class SimRegistry final : public RegistryPort {
public:
    explicit SimRegistry(const RegistryConfig& config) : m_config(config) {}

    LONG RegOpenKeyExA(HKEY key, const char* subKey, REGSAM desired, HKEY* result) override;
    LONG RegQueryValueExA(HKEY key, const char* valueName, DWORD* type, BYTE* data,
                          DWORD* dataSize) override;
    LONG RegCloseKey(HKEY key) override;

    std::size_t OpenKeyCount() const { return m_open.size(); }

private:
    // The open key's upper-case path; nullptr for a handle that is none.
    const std::string* PathOf(HKEY key) const;

    const RegistryConfig& m_config;
    std::map<std::uintptr_t, std::string> m_open;
    std::uintptr_t m_nNext = 0x1000;
};

}  // namespace veldra::sim
