// Private-profile files on the simulated machine (the ProfilePort): a file is
// read whole and rewritten whole, as profile_rules decide, with the checks an
// open for reading and writing would make.
#pragma once

#include <optional>
#include <string>

#include "platform/profile_port.h"
#include "sim/files/file_system.h"

namespace veldra::sim {

class SimProfile final : public ProfilePort {
public:
    SimProfile(Kernel& kernel, SimFiles& files) : m_kernel(kernel), m_files(files) {}

    UINT GetPrivateProfileIntA(const char* section, const char* key, int defaultValue,
                               const char* fileName) override;
    DWORD GetPrivateProfileStringA(const char* section, const char* key, const char* defaultValue,
                                   char* buffer, DWORD size, const char* fileName) override;
    BOOL WritePrivateProfileStringA(const char* section, const char* key, const char* value,
                                    const char* fileName) override;

private:
    // The file's bytes; nullopt when it cannot be read, which reads as missing.
    std::optional<std::string> ReadWhole(const ResolvedPath& path);

    Kernel& m_kernel;
    SimFiles& m_files;
};

}  // namespace veldra::sim
