// Blank trimming for the simulator's own text formats (machine.ini, scripts).
#pragma once

#include <string>
#include <string_view>

namespace veldra::sim {

// The text without the spaces, tabs, CRs and LFs at either end.
inline std::string TrimBlanks(std::string_view text) {
    constexpr std::string_view kBlanks = " \t\r\n";
    std::size_t begin = text.find_first_not_of(kBlanks);
    if (begin == std::string_view::npos) return std::string();
    std::size_t end = text.find_last_not_of(kBlanks);
    return std::string(text.substr(begin, end - begin + 1));
}

}  // namespace veldra::sim
