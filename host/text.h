// Small text rules shared by the simulator's and the tools' own formats
// (machine.ini, scripts, manifests) and by its case-blind names.
#pragma once

#include <string>
#include <string_view>

#include "platform/mbcs.h"

namespace veldra::host {

// The text without the spaces, tabs, CRs and LFs at either end.
inline std::string TrimBlanks(std::string_view text) {
    constexpr std::string_view kBlanks = " \t\r\n";
    std::size_t begin = text.find_first_not_of(kBlanks);
    if (begin == std::string_view::npos) return std::string();
    std::size_t end = text.find_last_not_of(kBlanks);
    return std::string(text.substr(begin, end - begin + 1));
}

// ASCII letters in upper case, every other byte as it is: the folding Windows
// applies to names, whatever the host's locale says.
inline std::string UpperAscii(std::string text) {
    for (char& c : text) c = AsciiUpper(c);
    return text;
}

}  // namespace veldra::host
