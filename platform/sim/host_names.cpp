#include "platform/sim/host_names.h"

#include <algorithm>

#include "platform/host/cp932.h"
#include "platform/host/text.h"

namespace veldra::sim {

using host::UpperAscii;

std::vector<std::string> ListHostEntries(const std::filesystem::path& directory) {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(directory, ec)) {
        std::string name = entry.path().filename().string();
        if (!host::Utf8ToCp932(name)) continue;
        names.push_back(name);
    }
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        return UpperAscii(a) < UpperAscii(b);
    });
    return names;
}

std::optional<std::string> FindHostEntry(const std::filesystem::path& directory,
                                         const std::string& name) {
    std::string wanted = UpperAscii(name);
    for (const std::string& entry : ListHostEntries(directory)) {
        if (UpperAscii(entry) == wanted) return entry;
    }
    return std::nullopt;
}

namespace {

bool Match(const char* pattern, const char* name) {
    while (*pattern) {
        if (*pattern == '*') {
            while (*pattern == '*') ++pattern;
            if (!*pattern) return true;
            for (const char* rest = name; *rest; ++rest) {
                if (Match(pattern, rest)) return true;
            }
            return false;
        }
        if (!*name) return false;
        if (*pattern != '?' && *pattern != *name) return false;
        ++pattern;
        ++name;
    }
    return *name == '\0';
}

}  // namespace

bool MatchesWildcard(const std::string& pattern, const std::string& name) {
    std::string p = UpperAscii(pattern);
    if (p == "*.*") p = "*";
    return Match(p.c_str(), UpperAscii(name).c_str());
}

}  // namespace veldra::sim
