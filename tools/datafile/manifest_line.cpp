#include "tools/datafile/manifest_line.h"

namespace veldra {
namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r';
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Reads a quoted word; `pos` is just past the opening quote and ends just past
// the closing one.
std::string ReadQuoted(std::string_view line, std::size_t& pos) {
    std::string out;
    while (pos < line.size()) {
        char c = line[pos++];
        if (c == '"') return out;
        if (c != '\\') {
            out += c;
            continue;
        }
        if (pos >= line.size()) break;
        char e = line[pos++];
        switch (e) {
            case '"':
            case '\\':
                out += e;
                break;
            case 'n':
                out += '\n';
                break;
            case 'r':
                out += '\r';
                break;
            case 't':
                out += '\t';
                break;
            case '0':
                out += '\0';
                break;
            case 'x': {
                int hi = pos < line.size() ? HexValue(line[pos]) : -1;
                int lo = pos + 1 < line.size() ? HexValue(line[pos + 1]) : -1;
                if (hi < 0 || lo < 0) throw ManifestLineError("\\x needs two hex digits");
                out += static_cast<char>(hi * 16 + lo);
                pos += 2;
                break;
            }
            default:
                throw ManifestLineError(std::string("unknown escape \\") + e);
        }
    }
    throw ManifestLineError("unterminated quoted text");
}

}  // namespace

std::vector<ManifestWord> SplitManifestLine(std::string_view line) {
    std::vector<ManifestWord> words;
    std::size_t pos = 0;
    while (true) {
        while (pos < line.size() && IsBlank(line[pos])) ++pos;
        if (pos >= line.size() || line[pos] == '#') return words;
        if (line[pos] == '"') {
            ++pos;
            words.push_back({ReadQuoted(line, pos), true});
            if (pos < line.size() && !IsBlank(line[pos]) && line[pos] != '#') {
                throw ManifestLineError("quoted text must be followed by a blank");
            }
        } else {
            std::size_t start = pos;
            while (pos < line.size() && !IsBlank(line[pos]) && line[pos] != '"' &&
                   line[pos] != '#') {
                ++pos;
            }
            words.push_back({std::string(line.substr(start, pos - start)), false});
        }
    }
}

}  // namespace veldra
