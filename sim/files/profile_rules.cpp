#include "sim/files/profile_rules.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include "platform/mbcs.h"

namespace veldra::sim {
namespace {

// One line of the file: text in [begin, end), its terminator in [end, next).
struct Line {
    size_t begin;
    size_t end;
    size_t next;
};

std::vector<Line> SplitLines(std::string_view text) {
    std::vector<Line> lines;
    size_t begin = 0;
    while (begin < text.size()) {
        size_t end = text.find_first_of("\r\n", begin);
        if (end == std::string_view::npos) {
            lines.push_back({begin, text.size(), text.size()});
            break;
        }
        size_t next = end + 1;
        if (text[end] == '\r' && next < text.size() && text[next] == '\n') ++next;
        lines.push_back({begin, end, next});
        begin = next;
    }
    return lines;
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\v';
}

std::string_view TrimBlanks(std::string_view s) {
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
    return s;
}

// The caller's names lose spaces only: Windows keeps a tab and then finds nothing.
std::string_view TrimSpaces(std::string_view s) {
    while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
    while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
    return s;
}

bool IsLead(char c) {
    return IsDbcsLeadByte932(static_cast<unsigned char>(c));
}

// Trail bytes can look like ASCII letters ("ア" is 83 41), so they compare exactly.
bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (IsLead(a[i])) {
            if (a[i] != b[i]) return false;
            if (++i < a.size() && a[i] != b[i]) return false;
        } else if (AsciiUpper(a[i]) != AsciiUpper(b[i])) {
            return false;
        }
    }
    return true;
}

// A trail byte can be 0x5D, which is not a ']'.
size_t FindCloseBracket(std::string_view s) {
    for (size_t i = 0; i < s.size(); ++i) {
        if (IsLead(s[i])) {
            ++i;
        } else if (s[i] == ']') {
            return i;
        }
    }
    return std::string_view::npos;
}

enum class LineKind { Blank, Other, Section, Entry };

struct ParsedLine {
    LineKind kind = LineKind::Blank;
    std::string_view name;   // section or key name, trimmed
    std::string_view value;  // entries only, trimmed, quotes kept
};

ParsedLine ParseLine(std::string_view text) {
    std::string_view body = TrimBlanks(text);
    if (body.empty()) return {};
    if (body.front() == '[') {
        std::string_view name = body.substr(1);
        name = name.substr(0, FindCloseBracket(name));  // text after ']' is ignored
        return {LineKind::Section, TrimBlanks(name), {}};
    }
    size_t equals = body.find('=');  // 0x3D is never a trail byte
    if (body.front() == ';' || equals == std::string_view::npos) return {LineKind::Other, {}, {}};
    return {LineKind::Entry, TrimBlanks(body.substr(0, equals)),
            TrimBlanks(body.substr(equals + 1))};
}

struct Profile {
    std::string_view text;
    std::vector<Line> lines;

    explicit Profile(std::string_view contents) : text(contents), lines(SplitLines(contents)) {}

    std::string_view TextOf(size_t index) const {
        const Line& line = lines[index];
        return text.substr(line.begin, line.end - line.begin);
    }
    ParsedLine Parse(size_t index) const { return ParseLine(TextOf(index)); }

    // Header line of the first section with this name, or lines.size().
    size_t FindSection(std::string_view name) const {
        for (size_t i = 0; i < lines.size(); ++i) {
            ParsedLine parsed = Parse(i);
            if (parsed.kind == LineKind::Section && SameName(parsed.name, name)) return i;
        }
        return lines.size();
    }

    // First line after the header that starts another section.
    size_t SectionEnd(size_t header) const {
        size_t i = header + 1;
        while (i < lines.size() && Parse(i).kind != LineKind::Section) ++i;
        return i;
    }

    // Entry line for the key inside [header, end), or end.
    size_t FindKey(size_t header, size_t end, std::string_view key) const {
        for (size_t i = header + 1; i < end; ++i) {
            ParsedLine parsed = Parse(i);
            if (parsed.kind == LineKind::Entry && SameName(parsed.name, key)) return i;
        }
        return end;
    }
};

std::optional<std::string_view> FindValue(const std::optional<std::string>& contents,
                                          std::string_view section, std::string_view key) {
    if (!contents) return std::nullopt;
    Profile profile(*contents);
    size_t header = profile.FindSection(TrimSpaces(section));
    if (header == profile.lines.size()) return std::nullopt;
    size_t end = profile.SectionEnd(header);
    size_t line = profile.FindKey(header, end, TrimSpaces(key));
    if (line == end) return std::nullopt;
    return profile.Parse(line).value;
}

std::string_view Unquote(std::string_view value) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
        return value.substr(1, value.size() - 2);
    }
    return value;
}

unsigned DigitValue(char c) {
    if (c >= '0' && c <= '9') return static_cast<unsigned>(c - '0');
    char upper = AsciiUpper(c);
    if (upper >= 'A' && upper <= 'Z') return static_cast<unsigned>(upper - 'A' + 10);
    return 36;
}

// RtlCharToInteger with base 0, as GetPrivateProfileIntA applies it. Only the
// lower-case prefixes count, as documented.
UINT ParseProfileInt(std::string_view text) {
    text = text.substr(0, text.find('\0'));
    size_t i = 0;
    while (i < text.size() && static_cast<unsigned char>(text[i]) <= ' ') ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    unsigned base = 10;
    if (i + 1 < text.size() && text[i] == '0') {
        char prefix = text[i + 1];
        base = prefix == 'x' ? 16 : prefix == 'o' ? 8 : prefix == 'b' ? 2 : 10;
        if (base != 10) i += 2;
    }
    std::uint32_t result = 0;
    for (; i < text.size() && DigitValue(text[i]) < base; ++i) {
        result = result * base + DigitValue(text[i]);  // wraps, as Windows does
    }
    return negative ? 0u - result : result;
}

std::string EntryLine(std::string_view key, std::string_view value) {
    std::string line(key);
    line += '=';
    line += value;
    return line;
}

}  // namespace

ProfileRead ProfileGetString(const std::optional<std::string>& contents, std::string_view section,
                             std::string_view key, std::string_view defaultValue,
                             DWORD bufferSize) {
    if (bufferSize == 0) return {};
    std::string_view source;
    if (auto found = FindValue(contents, section, key)) {
        source = Unquote(*found);
    } else {
        source = defaultValue.substr(0, defaultValue.find_last_not_of(' ') + 1);
    }
    size_t copied = std::min<size_t>(source.size(), bufferSize - 1);
    return {std::string(source.substr(0, copied)), static_cast<DWORD>(copied)};
}

UINT ProfileGetInt(const std::optional<std::string>& contents, std::string_view section,
                   std::string_view key, int defaultValue) {
    ProfileRead read = ProfileGetString(contents, section, key, "", kProfileIntChars + 1);
    if (read.returned == 0) return static_cast<UINT>(defaultValue);
    return ParseProfileInt(read.value);
}

std::string ProfileWriteString(const std::optional<std::string>& contents, std::string_view section,
                               std::string_view key, std::string_view value) {
    section = TrimSpaces(section);
    key = TrimSpaces(key);
    std::string newSection = "[" + std::string(section) + "]\r\n" + EntryLine(key, value) + "\r\n";
    if (!contents) return newSection;

    const std::string& text = *contents;
    Profile profile(text);
    size_t header = profile.FindSection(section);
    if (header == profile.lines.size()) {
        // Windows puts no blank line before the new section.
        std::string out = text;
        if (!out.empty() && out.back() != '\n' && out.back() != '\r') out += "\r\n";
        return out + newSection;
    }

    size_t end = profile.SectionEnd(header);
    size_t keyLine = profile.FindKey(header, end, key);
    if (keyLine != end) {
        const Line& line = profile.lines[keyLine];
        std::string out = text.substr(0, line.begin);
        out += EntryLine(profile.Parse(keyLine).name, value);
        // A last line without a newline gets one, as Windows writes it.
        out += line.next > line.end ? text.substr(line.end, line.next - line.end) : "\r\n";
        return out + text.substr(line.next);
    }

    // Blank lines that separate this section from the next stay after the new key.
    size_t last = header;
    for (size_t i = header + 1; i < end; ++i) {
        if (profile.Parse(i).kind != LineKind::Blank) last = i;
    }
    const Line& line = profile.lines[last];
    std::string out = text.substr(0, line.next);
    if (line.next == line.end) out += "\r\n";
    out += EntryLine(key, value) + "\r\n";
    return out + text.substr(line.next);
}

}  // namespace veldra::sim
