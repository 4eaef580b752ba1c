// The transcript: every visible event of a run, one UTF-8 line each, written
// as it happens (a test may read it while the program still runs).
#pragma once

#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace veldra::sim {

class Transcript {
public:
    // Lines go to out as they come (when given) and are kept.
    explicit Transcript(std::ostream* out = nullptr) : m_pOut(out) {}

    void Add(const std::string& line);
    const std::vector<std::string>& Lines() const { return m_lines; }

    // "text" with quotes, backslashes, CR and LF escaped, from code page 932.
    static std::string Quote(std::string_view cp932);
    // The same for text that is UTF-8 already.
    static std::string QuoteUtf8(std::string_view utf8);

private:
    std::ostream* m_pOut;
    std::vector<std::string> m_lines;
};

}  // namespace veldra::sim
