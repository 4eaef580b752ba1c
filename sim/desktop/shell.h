// The shell's "open" on the simulated machine (the ShellPort): it succeeds
// only where the machine associates a viewer with the file's type and the
// file exists.
#pragma once

#include <map>
#include <string>

#include "platform/shell_port.h"
#include "sim/files/drive_map.h"
#include "sim/machine/transcript.h"

namespace veldra::sim {

class SimShell final : public ShellPort {
public:
    // viewers: upper-case extension (".PDF") to the viewer's name.
    SimShell(DriveMap& drives, const std::map<std::string, std::string>& viewers,
             Transcript& transcript)
        : m_drives(drives), m_viewers(viewers), m_transcript(transcript) {}

    INT_PTR ShellExecuteA(HWND owner, const char* verb, const char* file, const char* parameters,
                          const char* directory, int show) override;

private:
    DriveMap& m_drives;
    const std::map<std::string, std::string>& m_viewers;
    Transcript& m_transcript;
};

}  // namespace veldra::sim
