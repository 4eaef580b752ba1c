// Code page 932 (Shift-JIS) byte rules that the program's own text handling
// needs: which bytes open a double-byte character, and ASCII-only case folding
// as _mbsicmp applies it.
#pragma once

#include <string_view>

namespace veldra {

constexpr bool IsDbcsLeadByte932(unsigned char byte) {
    return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

constexpr char AsciiUpper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
}

// Compares two texts of single-byte characters without regard to ASCII case.
constexpr bool EqualsIgnoreAsciiCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (AsciiUpper(a[i]) != AsciiUpper(b[i])) return false;
    }
    return true;
}

}  // namespace veldra
