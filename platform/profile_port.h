// Private-profile (INI) files: kernel32's GetPrivateProfileIntA,
// GetPrivateProfileStringA and WritePrivateProfileStringA.
//
// Reading: sections and keys compare without regard to letter case; a value is
// trimmed of surrounding blanks and of one pair of matching quotes; it is cut
// to size - 1 characters (the return value is then size - 1); a missing file,
// section or key gives the default. GetPrivateProfileIntA reads a number at the
// start of the value (optional sign, decimal, or 0x hexadecimal); a value that
// does not start with one reads as 0, an empty or absent value as the default.
// Writing creates the file and the section when they are missing, replaces the
// key's line when it exists and leaves every other line as it was.
#pragma once

#include "platform/win32_types.h"

namespace veldra {

class ProfilePort {
public:
    virtual UINT GetPrivateProfileIntA(const char* section, const char* key, int defaultValue,
                                       const char* fileName) = 0;
    virtual DWORD GetPrivateProfileStringA(const char* section, const char* key,
                                           const char* defaultValue, char* buffer, DWORD size,
                                           const char* fileName) = 0;
    virtual BOOL WritePrivateProfileStringA(const char* section, const char* key, const char* value,
                                            const char* fileName) = 0;

protected:
    ~ProfilePort() = default;
};

}  // namespace veldra
