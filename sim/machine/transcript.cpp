#include "sim/machine/transcript.h"

#include "host/cp932.h"

namespace veldra::sim {

void Transcript::Add(const std::string& line) {
    m_lines.push_back(line);
    if (m_pOut) {
        *m_pOut << line << '\n';
        m_pOut->flush();
    }
}

std::string Transcript::QuoteUtf8(std::string_view utf8) {
    std::string out = "\"";
    for (char c : utf8) {
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                out += c;
        }
    }
    return out + "\"";
}

std::string Transcript::Quote(std::string_view cp932) {
    return QuoteUtf8(host::Cp932ToUtf8Lossy(cp932));
}

}  // namespace veldra::sim
