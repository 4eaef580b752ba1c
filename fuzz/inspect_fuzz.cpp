// veldra-inspect's report over a hostile data file: the input is the file.
// Whatever it holds, the verdict agrees with the reader's, the text is valid
// UTF-8 and the JSON parses.
#include <algorithm>
#include <cctype>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "tools/inspect/inspect.h"

namespace {

using namespace veldra;

bool ValidUtf8(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        auto c = static_cast<unsigned char>(text[i]);
        std::size_t length = c < 0x80                 ? 1
                             : c >= 0xC2 && c <= 0xDF ? 2
                             : c >= 0xE0 && c <= 0xEF ? 3
                             : c >= 0xF0 && c <= 0xF4 ? 4
                                                      : 0;
        if (length == 0 || i + length > text.size()) return false;
        for (std::size_t k = 1; k < length; ++k) {
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
        }
        i += length;
    }
    return true;
}

// Just enough of a JSON parser to say whether a text is one JSON value.
class JsonCheck {
public:
    explicit JsonCheck(std::string_view text) : m_text(text) {}
    bool Document() {
        if (!Value(0)) return false;
        Space();
        return m_at == m_text.size();
    }

private:
    void Space() {
        while (m_at < m_text.size() &&
               std::string_view(" \t\r\n").find(m_text[m_at]) != std::string_view::npos)
            ++m_at;
    }
    bool Eat(char c) {
        Space();
        if (m_at < m_text.size() && m_text[m_at] == c) {
            ++m_at;
            return true;
        }
        return false;
    }
    bool Word(std::string_view word) {
        if (m_text.substr(m_at, word.size()) != word) return false;
        m_at += word.size();
        return true;
    }
    bool String() {
        if (!Eat('"')) return false;
        while (m_at < m_text.size()) {
            char c = m_text[m_at++];
            if (c == '"') return true;
            if (static_cast<unsigned char>(c) < 0x20) return false;
            if (c == '\\') {
                if (m_at >= m_text.size()) return false;
                char e = m_text[m_at++];
                if (e == 'u') {
                    for (int k = 0; k < 4; ++k, ++m_at) {
                        if (m_at >= m_text.size() ||
                            !std::isxdigit(static_cast<unsigned char>(m_text[m_at])))
                            return false;
                    }
                } else if (std::string_view("\"\\/bfnrt").find(e) == std::string_view::npos) {
                    return false;
                }
            }
        }
        return false;
    }
    bool Number() {
        std::size_t start = m_at;
        if (m_at < m_text.size() && m_text[m_at] == '-') ++m_at;
        while (m_at < m_text.size() && std::isdigit(static_cast<unsigned char>(m_text[m_at])))
            ++m_at;
        return m_at > start;
    }
    bool Value(int depth) {
        if (depth > 16) return false;
        Space();
        if (m_at >= m_text.size()) return false;
        char c = m_text[m_at];
        if (c == '"') return String();
        if (c == '{') {
            ++m_at;
            if (Eat('}')) return true;
            do {
                if (!String() || !Eat(':') || !Value(depth + 1)) return false;
            } while (Eat(','));
            return Eat('}');
        }
        if (c == '[') {
            ++m_at;
            if (Eat(']')) return true;
            do {
                if (!Value(depth + 1)) return false;
            } while (Eat(','));
            return Eat(']');
        }
        return Word("true") || Word("false") || Word("null") || Number();
    }

    std::string_view m_text;
    std::size_t m_at = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<BYTE> head(data, data + std::min(size, HDR_SIZE));
    InspectReport report = InspectDataFileBytes("C:\\TAVEX\\FUZZ.DAT", head, size);
    FUZZ_REQUIRE(report.Accepted() ==
                 (CheckDataFileHeader(head, size, "NOVUS-KT DATA") == HeaderVerdict::Valid));
    FUZZ_REQUIRE(report.Accepted() == (report.messageId == 0));
    FUZZ_REQUIRE(report.header.has_value() == (size >= HDR_SIZE));

    std::string text = FormatReportText(report);
    FUZZ_REQUIRE(ValidUtf8(text));
    std::string json = FormatReportJson(report);
    FUZZ_REQUIRE(ValidUtf8(json));
    FUZZ_REQUIRE(JsonCheck(json).Document());
    return 0;
}
