// The private-profile rules. Input: one byte of buffer size, then section,
// key and value separated by NUL bytes, then the file's contents (NULs
// allowed); with fewer than three NULs the file does not exist.
//
// Beyond not crashing: a read never reports more than the buffer holds, and
// when the names and the value are ones the rules can store, a value written
// reads back as written and writing it again changes nothing.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "fuzz/fuzz_support.h"
#include "platform/mbcs.h"
#include "sim/files/profile_rules.h"

namespace {

using namespace veldra;
using namespace veldra::sim;

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\v';
}

// What the caller's names lose before they are used.
std::string_view TrimSpaces(std::string_view s) {
    while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
    while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
    return s;
}

// One line, untrimmed by the reader: no line breaks, no NUL, no blank at
// either end (the reader would drop it; the caller's name keeps tabs).
bool IsOneTrimmedLine(std::string_view s) {
    if (s.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos) return false;
    return s.empty() || (!IsBlank(s.front()) && !IsBlank(s.back()));
}

// "[" + name + "]" must end where the name does: no ']' of its own outside
// double-byte characters, and no lead byte left to swallow the closing ']'.
bool IsStorableSection(std::string_view name) {
    if (!IsOneTrimmedLine(name)) return false;
    for (std::size_t i = 0; i < name.size(); ++i) {
        if (IsDbcsLeadByte932(static_cast<unsigned char>(name[i]))) {
            if (++i == name.size()) return false;
        } else if (name[i] == ']') {
            return false;
        }
    }
    return true;
}

// "key=value" must read as an entry with this key: no '=' in the key, and no
// start that makes the line a section header or a comment.
bool IsStorableKey(std::string_view key) {
    if (!IsOneTrimmedLine(key) || key.find('=') != std::string_view::npos) return false;
    return key.empty() || (key.front() != '[' && key.front() != ';');
}

// A value in matching quotes reads back without them.
bool IsStorableValue(std::string_view value) {
    if (!IsOneTrimmedLine(value)) return false;
    bool quoted = value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
                  value.back() == value.front();
    return !quoted;
}

void CheckRead(const std::optional<std::string>& contents, std::string_view section,
               std::string_view key, std::string_view defaultValue, DWORD bufferSize) {
    ProfileRead read = ProfileGetString(contents, section, key, defaultValue, bufferSize);
    FUZZ_REQUIRE(read.returned == read.value.size());
    FUZZ_REQUIRE(bufferSize == 0 ? read.returned == 0 : read.returned <= bufferSize - 1);
    ProfileGetInt(contents, section, key, static_cast<int>(bufferSize) - 128);
}

void CheckWrite(const std::optional<std::string>& contents, std::string_view section,
                std::string_view key, std::string_view value) {
    std::string written = ProfileWriteString(contents, section, key, value);
    if (!IsStorableSection(TrimSpaces(section)) || !IsStorableKey(TrimSpaces(key)) ||
        !IsStorableValue(value)) {
        return;
    }
    std::optional<std::string> file = written;
    ProfileRead read =
        ProfileGetString(file, section, key, "(absent)", static_cast<DWORD>(value.size() + 1));
    FUZZ_REQUIRE(read.value == value);
    FUZZ_REQUIRE(ProfileWriteString(file, section, key, value) == written);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    DWORD bufferSize = data[0];
    auto fields = veldra::fuzz::SplitAtNul(veldra::fuzz::AsText(data + 1, size - 1), 4);
    std::optional<std::string> contents;
    if (fields.size() == 4) contents = std::string(fields[3]);
    fields.resize(4);
    CheckRead(contents, fields[0], fields[1], fields[2], bufferSize);
    CheckWrite(contents, fields[0], fields[1], fields[2]);
    return 0;
}
