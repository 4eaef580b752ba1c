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

}  // namespace veldra::sim
