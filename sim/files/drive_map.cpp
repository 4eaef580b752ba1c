#include "sim/files/drive_map.h"

#include <algorithm>
#include <vector>

#include "host/cp932.h"
#include "host/text.h"
#include "platform/mbcs.h"
#include "sim/kernel/errors.h"

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

void DriveMap::Mount(char letter, std::unique_ptr<Volume> volume) {
    m_volumes[AsciiUpper(letter)] = std::move(volume);
}

ResolvedPath DriveMap::Resolve(const char* path) {
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

    char letter = m_programDrive;
    std::string rest = text;
    if (text.size() >= 2 && text[1] == ':') {
        letter = AsciiUpper(text[0]);
        rest = text.substr(2);
    }
    auto drive = m_volumes.find(letter);
    if (drive == m_volumes.end()) {
        resolved.error = ERROR_PATH_NOT_FOUND;
        return resolved;
    }
    if (m_pGate != nullptr) {
        if (DWORD error = m_pGate->Access(letter)) {
            resolved.error = error;
            return resolved;
        }
    }
    Volume& volume = *drive->second;
    resolved.volume = &volume;
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
        std::optional<VolumeEntry> entry;
        if (DWORD error = volume.Find(resolved.path, parts[i], &entry)) {
            resolved.error = error;
            return resolved;
        }
        resolved.key += host::UpperAscii(entry ? entry->name : parts[i]);
        if (!last) resolved.key += "\\";
        if (!entry) {
            if (!last) {
                resolved.error = ERROR_PATH_NOT_FOUND;
                return resolved;
            }
            resolved.path.push_back(parts[i]);
            resolved.exists = false;
            resolved.isDirectory = false;
            return resolved;
        }
        resolved.path.push_back(entry->name);
        if (!last && !entry->isDirectory) {
            resolved.error = ERROR_PATH_NOT_FOUND;
            return resolved;
        }
        resolved.isDirectory = entry->isDirectory;
    }
    return resolved;
}

}  // namespace veldra::sim
