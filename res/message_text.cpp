#include "res/message_text.h"

#include <vector>

#include "res/resource.h"

namespace veldra {

std::string_view StringTableSource(UINT id) {
    switch (id) {
#define VELDRA_STRING(name, text) \
    case name:                    \
        return text;
#include "res/string_table.inc"
#undef VELDRA_STRING
        default:
            return {};
    }
}

std::string LoadStringText(UiPort& ui, UINT id) {
    std::vector<char> buffer(4096);
    int length = ui.LoadStringA(id, buffer.data(), static_cast<int>(buffer.size()));
    return std::string(buffer.data(), static_cast<std::size_t>(length > 0 ? length : 0));
}

std::string FormatMessageText(std::string_view pattern, std::string_view arg1,
                              std::string_view arg2) {
    std::string out;
    out.reserve(pattern.size() + arg1.size() + arg2.size());
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        char c = pattern[i];
        if (c == '%' && i + 1 < pattern.size()) {
            char next = pattern[i + 1];
            if (next == '1' || next == '2' || next == '%') {
                out += next == '1' ? arg1 : next == '2' ? arg2 : std::string_view("%");
                ++i;
                continue;
            }
        }
        out += c;
    }
    return out;
}

}  // namespace veldra
