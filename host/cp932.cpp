#include "host/cp932.h"

#include <iconv.h>

#include <cerrno>
#include <cstdio>
#include <stdexcept>

#include "platform/mbcs.h"

namespace veldra::host {
namespace {

std::optional<std::string> Convert(const char* to, const char* from, std::string_view input) {
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        throw std::runtime_error(std::string("iconv cannot convert ") + from + " to " + to);
    }
    std::string out(input.size() * 4 + 16, '\0');
    char* in = const_cast<char*>(input.data());
    size_t inLeft = input.size();
    char* outPtr = out.data();
    size_t outLeft = out.size();
    size_t rc = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
    iconv_close(cd);
    if (rc == static_cast<size_t>(-1) || inLeft != 0) return std::nullopt;
    out.resize(out.size() - outLeft);
    return out;
}

}  // namespace

std::optional<std::string> Cp932ToUtf8(std::string_view cp932) {
    return Convert("UTF-8", "CP932", cp932);
}

std::optional<std::string> Utf8ToCp932(std::string_view utf8) {
    return Convert("CP932", "UTF-8", utf8);
}

std::string Cp932ToUtf8Lossy(std::string_view cp932) {
    std::string out;
    size_t i = 0;
    while (i < cp932.size()) {
        unsigned char c = static_cast<unsigned char>(cp932[i]);
        size_t width = (IsDbcsLeadByte932(c) && i + 1 < cp932.size()) ? 2 : 1;
        auto piece = Cp932ToUtf8(cp932.substr(i, width));
        if (piece) {
            out += *piece;
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
            width = 1;
        }
        i += width;
    }
    return out;
}

}  // namespace veldra::host
