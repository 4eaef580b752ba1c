#include "sim/desktop/shell.h"

#include "host/text.h"
#include "sim/kernel/errors.h"

namespace veldra::sim {

INT_PTR SimShell::ShellExecuteA(HWND owner, const char* verb, const char* file,
                                const char* parameters, const char* directory, int show) {
    (void)owner;
    (void)parameters;
    (void)directory;
    (void)show;
    constexpr INT_PTR kViewerStarted = 42;
    std::string what = std::string(verb ? verb : "(default)");
    std::string line = "shell " + what + " " + Transcript::Quote(file);

    INT_PTR result;
    std::string outcome;
    ResolvedPath path = m_drives.Resolve(file);
    if (what != "open") {
        throw NotImplementedError("ShellExecuteA with verb " + what);
    }
    if (path.error != ERROR_SUCCESS || !path.exists || path.isDirectory) {
        result = SE_ERR_FNF;
        outcome = "file not found";
    } else {
        const std::string& name = path.path.back();
        std::size_t dot = name.rfind('.');
        auto viewer = dot == std::string::npos ? m_viewers.end()
                                               : m_viewers.find(host::UpperAscii(name.substr(dot)));
        if (viewer == m_viewers.end()) {
            result = SE_ERR_NOASSOC;
            outcome = "no viewer for this file type";
        } else {
            result = kViewerStarted;
            outcome = "opened in " + viewer->second;
        }
    }
    m_transcript.Add(line + " -> " + std::to_string(result) + " (" + outcome + ")");
    return result;
}

}  // namespace veldra::sim
