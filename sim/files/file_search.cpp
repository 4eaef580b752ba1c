// FindFirstFileA and FindNextFileA: a search takes its entries when it starts,
// in the volume's listing order, and hands them out one by one.
#include <cstring>
#include <deque>
#include <optional>

#include "host/cp932.h"
#include "host/text.h"
#include "sim/files/file_system.h"

namespace veldra::sim {

// A search takes its entries when it starts; it is open on its volume (under
// Vista's rules: the letter and the mount it saw) until FindClose.
class SimFiles::Search final : public KernelObject {
public:
    std::deque<WIN32_FIND_DATAA> remaining;
    char letter = 0;
    unsigned epoch = 0;
};

bool SimFiles::SearchOpenOn(char letter) {
    bool open = false;
    m_kernel.ForEach<Search>([&](const Search& search) {
        open = open || (search.letter == letter && m_mounts.Epoch(letter) == search.epoch);
    });
    return open;
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

// DOS wildcards ("*" and "?"; "*.*" matches every name), ignoring case.
bool MatchesWildcard(const std::string& pattern, const std::string& name) {
    std::string p = host::UpperAscii(pattern);
    if (p == "*.*") p = "*";
    return Match(p.c_str(), host::UpperAscii(name).c_str());
}

// Adds an entry to the search; an entry gone meanwhile is left out.
DWORD AddEntry(Volume& volume, const VolumePath& path, const std::string& cp932Name,
               std::deque<WIN32_FIND_DATAA>& found) {
    VolumeEntryInfo info;
    DWORD error = volume.Info(path, &info);
    if (error == ERROR_FILE_NOT_FOUND) return ERROR_SUCCESS;
    if (error != ERROR_SUCCESS) return error;
    WIN32_FIND_DATAA data;
    data.dwFileAttributes = info.attributes;
    data.ftCreationTime = info.creationTime;
    data.ftLastAccessTime = info.lastAccessTime;
    data.ftLastWriteTime = info.lastWriteTime;
    data.nFileSizeLow = static_cast<DWORD>(info.size);
    data.nFileSizeHigh = static_cast<DWORD>(info.size >> 32);
    std::size_t length = std::min(cp932Name.size(), sizeof data.cFileName - 1);
    std::memcpy(data.cFileName, cp932Name.data(), length);
    found.push_back(data);
    return ERROR_SUCCESS;
}

}  // namespace

HANDLE SimFiles::FindFirstFileA(const char* pattern, WIN32_FIND_DATAA* data) {
    auto fail = [&](DWORD error) {
        m_kernel.SetLastError(error);
        return INVALID_HANDLE_VALUE;
    };
    auto utf8 = host::Cp932ToUtf8(pattern);
    if (!utf8) return fail(ERROR_INVALID_NAME);
    std::size_t separator = utf8->find_last_of("\\/");
    auto search = std::make_unique<Search>();
    std::deque<WIN32_FIND_DATAA>& found = search->remaining;
    char letter = 0;  // the drive the search looks at
    if (separator == std::string::npos && utf8->size() == 2 && (*utf8)[1] == ':') {
        // A bare drive names its current directory, which is the root here.
        ResolvedPath root = Resolve(pattern);
        if (root.error != ERROR_SUCCESS) return fail(root.error);
        letter = root.key[0];
        if (DWORD error = AddEntry(*root.volume, root.path, ".", found)) return fail(error);
    } else {
        std::string directory =
            separator == std::string::npos ? "" : utf8->substr(0, separator + 1);
        std::string namePattern =
            separator == std::string::npos ? *utf8 : utf8->substr(separator + 1);
        if (namePattern.empty()) return fail(ERROR_FILE_NOT_FOUND);
        ResolvedPath parent =
            Resolve(host::Utf8ToCp932(directory.empty() ? "." : directory)->c_str());
        if (parent.error != ERROR_SUCCESS || !parent.exists || !parent.isDirectory) {
            return fail(parent.error != ERROR_SUCCESS ? parent.error : ERROR_PATH_NOT_FOUND);
        }
        Volume& volume = *parent.volume;
        letter = parent.key[0];
        std::string prefix = parent.isRoot ? parent.key : parent.key + "\\";
        if (!parent.isRoot) {
            for (const char* dots : {".", ".."}) {
                if (!MatchesWildcard(namePattern, dots)) continue;
                if (DWORD error = AddEntry(volume, parent.path, dots, found)) return fail(error);
            }
        }
        std::vector<std::string> names;
        if (DWORD error = volume.List(parent.path, &names)) return fail(error);
        for (const std::string& name : names) {
            if (!MatchesWildcard(namePattern, name)) continue;
            if (IsGone(prefix + host::UpperAscii(name))) continue;
            // A name the program's code page cannot spell is no entry it can see.
            std::optional<std::string> cp932 = host::Utf8ToCp932(name);
            if (!cp932) continue;
            VolumePath entry = parent.path;
            entry.push_back(name);
            if (DWORD error = AddEntry(volume, entry, *cp932, found)) {
                return fail(error);
            }
        }
    }
    if (found.empty()) return fail(ERROR_FILE_NOT_FOUND);
    if (m_mounts.Tracks(letter)) {
        search->letter = letter;
        search->epoch = m_mounts.Epoch(letter);
    }
    *data = found.front();
    found.pop_front();
    HANDLE handle = m_kernel.AddHandle(HandleKind::Search, std::move(search));
    m_kernel.SetLastError(ERROR_SUCCESS);
    return handle;
}

BOOL SimFiles::FindNextFileA(HANDLE find, WIN32_FIND_DATAA* data) {
    Search* search = m_kernel.Lookup<Search>(find);
    if (search == nullptr) return FALSE;
    if (search->remaining.empty()) {
        m_kernel.SetLastError(ERROR_NO_MORE_FILES);
        return FALSE;
    }
    *data = search->remaining.front();
    search->remaining.pop_front();
    return TRUE;
}

}  // namespace veldra::sim
