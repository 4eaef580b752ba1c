// The simulated machine's private-profile (INI) rules: what kernel32's
// GetPrivateProfileStringA, GetPrivateProfileIntA and WritePrivateProfileStringA
// find in, and make of, a file's bytes. No file I/O here: the caller reads the
// file (nullopt when it does not exist) and writes back what ProfileWriteString
// returns.
//
// Text is code page 932: a double-byte character is never split when looking
// for ']' and only ASCII letters outside double-byte characters compare without
// regard to case, as Windows does after converting the file to Unicode.
//
// The rules follow Windows where it is known to differ from Wine:
// - lines end in CR LF, LF or a lone CR; blanks are space, tab and vertical tab;
// - a line starting with ';' is a comment, a line starting with '[' a section
//   header whose name ends at the first ']' (or the line's end); lines before
//   the first header belong to no section;
// - only the first section of a name is searched, and in it the first key;
// - the section and key passed by the caller lose leading and trailing spaces
//   (not tabs); the default loses trailing spaces only; values are written as
//   given.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/win32_types.h"

namespace veldra::sim {

// Result of a string read, as GetPrivateProfileStringA reports it.
struct ProfileRead {
    std::string value;   // the characters copied, without the terminating NUL
    DWORD returned = 0;  // number of characters copied, excluding the NUL
};

// A value found is trimmed and loses one pair of enclosing quotes; otherwise
// the default is used. At most bufferSize - 1 characters are copied.
ProfileRead ProfileGetString(const std::optional<std::string>& contents, std::string_view section,
                             std::string_view key, std::string_view defaultValue, DWORD bufferSize);

// Reads the value as a string (at most kProfileIntChars characters); empty or
// absent gives defaultValue, otherwise the number at its start (blanks, one sign,
// then 0x/0o/0b or decimal digits), wrapping modulo 2^32; no number gives 0.
// The value is read into a 30-character buffer first, as Wine does.
inline constexpr DWORD kProfileIntChars = 29;
UINT ProfileGetInt(const std::optional<std::string>& contents, std::string_view section,
                   std::string_view key, int defaultValue);

// Returns the new file contents. An existing key's line becomes "key=value"
// (the key keeps its spelling in the file); a new key goes after the last
// non-blank line of its section; a new section goes at the end of the file.
// Every other byte of the file is kept.
std::string ProfileWriteString(const std::optional<std::string>& contents, std::string_view section,
                               std::string_view key, std::string_view value);

}  // namespace veldra::sim
