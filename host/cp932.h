// Code page 932 on the host: the program holds Shift-JIS bytes, the host's
// file names, text files and terminals are UTF-8. Conversion goes through
// iconv.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace veldra::host {

// Converts; nullopt when the input is not valid in its encoding or has no
// counterpart in the other one.
std::optional<std::string> Cp932ToUtf8(std::string_view cp932);
std::optional<std::string> Utf8ToCp932(std::string_view utf8);

// For display: invalid bytes are shown as \xNN rather than refused.
std::string Cp932ToUtf8Lossy(std::string_view cp932);

}  // namespace veldra::host
