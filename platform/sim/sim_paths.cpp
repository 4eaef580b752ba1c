// Windows paths onto the host: drive letters, either separator, "." and "..",
// trailing dots and blanks dropped, and names matched without regard to case.
#include <algorithm>
#include <vector>

#include "platform/host/cp932.h"
#include "platform/host/text.h"
#include "platform/mbcs.h"
#include "platform/sim/host_names.h"
#include "platform/sim/sim_machine.h"

namespace veldra::sim {
namespace {

std::vector<std::string> SplitComponents(const std::string& rest) {
    std::vector<std::string> parts;
    std::string current;
    auto flush = [&] {
        if (current.empty() || current == ".") {
            // nothing: repeated separators and "." name the same directory
        } else if (current == "..") {
            if (!parts.empty()) parts.pop_back();
        } else {
            // Windows drops trailing dots and blanks from a name.
            std::size_t end = current.find_last_not_of(". ");
            if (end != std::string::npos) parts.push_back(current.substr(0, end + 1));
        }
        current.clear();
    };
    for (char c : rest) {
        if (c == '\\' || c == '/') {
            flush();
        } else {
            current += c;
        }
    }
    flush();
    return parts;
}

bool HasInvalidCharacter(const std::string& name) {
    return name.find_first_of("<>:\"|?*") != std::string::npos ||
           std::any_of(name.begin(), name.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x20; });
}

}  // namespace

ResolvedPath SimMachine::Resolve(const char* path) {
    ResolvedPath resolved;
    auto utf8 = host::Cp932ToUtf8(path);
    if (!utf8 || utf8->empty()) {
        resolved.error = !utf8 ? ERROR_INVALID_NAME : ERROR_PATH_NOT_FOUND;
        return resolved;
    }
    const std::string& text = *utf8;
    if (text.rfind("\\\\", 0) == 0 || text.rfind("//", 0) == 0) {
        throw NotImplementedError("device and network paths (" + text + ")");
    }

    // The sim has no current directory but each drive's root.
    char letter;
    std::string rest;
    if (text.size() >= 2 && text[1] == ':') {
        letter = AsciiUpper(text[0]);
        rest = text.substr(2);
    } else {
        letter = AsciiUpper(m_config.modulePath[0]);
        rest = text;
    }
    auto drive = m_config.drives.find(letter);
    if (drive == m_config.drives.end()) {
        resolved.error = ERROR_PATH_NOT_FOUND;
        return resolved;
    }
    resolved.drive = &drive->second;
    resolved.host = drive->second.hostRoot;
    resolved.key = std::string(1, letter) + ":\\";

    std::vector<std::string> parts = SplitComponents(rest);
    resolved.isRoot = parts.empty();
    resolved.exists = true;
    resolved.isDirectory = true;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        bool last = i + 1 == parts.size();
        if (HasInvalidCharacter(parts[i])) {
            resolved.error = ERROR_INVALID_NAME;
            return resolved;
        }
        std::optional<std::string> actual = FindHostEntry(resolved.host, parts[i]);
        resolved.key += host::UpperAscii(actual ? *actual : parts[i]);
        if (!last) resolved.key += "\\";
        if (!actual) {
            if (!last) {
                resolved.error = ERROR_PATH_NOT_FOUND;
                return resolved;
            }
            resolved.host /= parts[i];
            resolved.exists = false;
            resolved.isDirectory = false;
            return resolved;
        }
        resolved.host /= *actual;
        std::error_code ec;
        bool directory = std::filesystem::is_directory(resolved.host, ec);
        if (!last && !directory) {
            resolved.error = ERROR_PATH_NOT_FOUND;
            return resolved;
        }
        resolved.isDirectory = directory;
    }
    return resolved;
}

}  // namespace veldra::sim
