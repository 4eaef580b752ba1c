#include "host/cp932.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <stdexcept>

#include "platform/mbcs.h"

namespace veldra::host {
namespace {

// Opening a converter loads its character sets' tables, which costs far more
// than converting a name; the FAT layer converts every short name it meets,
// so each thread keeps the two it needs open.
class Converter {
public:
    Converter(const char* to, const char* from) : m_cd(iconv_open(to, from)) {
        if (m_cd == reinterpret_cast<iconv_t>(-1)) {
            throw std::runtime_error(std::string("iconv cannot convert ") + from + " to " + to);
        }
    }
    ~Converter() { iconv_close(m_cd); }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    std::optional<std::string> operator()(std::string_view input) {
        // Both sides agree on ASCII, byte for byte (0x5C is the backslash).
        if (std::all_of(input.begin(), input.end(),
                        [](char c) { return static_cast<unsigned char>(c) < 0x80; })) {
            return std::string(input);
        }
        // Back to the initial state, whatever a failed conversion left.
        iconv(m_cd, nullptr, nullptr, nullptr, nullptr);
        std::string out(input.size() * 4 + 16, '\0');
        char* in = const_cast<char*>(input.data());
        size_t inLeft = input.size();
        char* outPtr = out.data();
        size_t outLeft = out.size();
        size_t rc = iconv(m_cd, &in, &inLeft, &outPtr, &outLeft);
        if (rc == static_cast<size_t>(-1) || inLeft != 0) return std::nullopt;
        out.resize(out.size() - outLeft);
        return out;
    }

private:
    iconv_t m_cd;
};

}  // namespace

std::optional<std::string> Cp932ToUtf8(std::string_view cp932) {
    thread_local Converter convert("UTF-8", "CP932");
    return convert(cp932);
}

std::optional<std::string> Utf8ToCp932(std::string_view utf8) {
    thread_local Converter convert("CP932", "UTF-8");
    return convert(utf8);
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
