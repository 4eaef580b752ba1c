// Code page 932 (Shift-JIS) byte rules that the program's own text handling
// needs: which bytes open a double-byte character, where a path's last
// separator is, and ASCII-only case folding as _mbsicmp applies it.
#pragma once

#include <cstddef>
#include <string_view>

namespace veldra {

constexpr bool IsDbcsLeadByte932(unsigned char byte) {
    return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

constexpr char AsciiUpper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
}

// Position of the last backslash of a path, or npos. The second byte of a
// double-byte character may be 0x5C and is no separator.
constexpr std::size_t LastBackslash932(std::string_view path) {
    std::size_t last = std::string_view::npos;
    for (std::size_t i = 0; i < path.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(path[i]);
        if (IsDbcsLeadByte932(c) && i + 1 < path.size()) {
            ++i;
        } else if (c == '\\') {
            last = i;
        }
    }
    return last;
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
