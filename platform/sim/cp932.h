// Code page 932 at the simulated machine's edges: the program holds Shift-JIS
// bytes, the host's files names and the transcript are UTF-8.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace veldra::sim {

// Converts; nullopt when the input is not valid in its encoding or has no
// counterpart in the other one.
std::optional<std::string> Cp932ToUtf8(std::string_view cp932);
std::optional<std::string> Utf8ToCp932(std::string_view utf8);

// For display: invalid bytes are shown as \xNN rather than refused.
std::string Cp932ToUtf8Lossy(std::string_view cp932);

// True when byte is the first byte of a double-byte character.
constexpr bool IsCp932LeadByte(unsigned char byte) {
    return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

}  // namespace veldra::sim
