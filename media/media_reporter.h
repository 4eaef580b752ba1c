// What the media writer needs of whoever runs it: texts of the string table,
// stop messages, the retry question, and the progress bar's steps. The main
// dialog implements it; the writer shows nothing by other means.
#pragma once

#include <functional>
#include <string>

#include "disk/disk_info.h"
#include "platform/win32_types.h"

namespace veldra {

class MediaReporter {
public:
    virtual std::string LoadText(UINT id) = 0;
    // Stop icon, OK.
    virtual void ShowStopMessage(const std::string& text) = 0;
    // Information icon, Yes/No; true for Yes.
    virtual bool AskYesNo(const std::string& text) = 0;
    // One step of the progress bar, which stops at its maximum.
    virtual void StepProgress() = 0;

protected:
    ~MediaReporter() = default;
};

// What a writing step came to.
enum class StepResult : int {
    Done = 0,
    Failed = 1,       // the step has shown its own message, if any
    NotReopened = 2,  // the device could not be opened again for the final pass
};

// The ports, the drive access and the reporter of one creation.
struct MediaContext {
    DiskPorts ports;
    CDiskInfo& disk;
    MediaReporter& reporter;
    std::string dataName;  // the data file as listed: the %1 of its messages
    // Locks again the volumes of the disk being written, when a raw write was
    // refused because one of them came back mounted meanwhile; empty outside a pass.
    std::function<void()> renewLocks = {};
};

}  // namespace veldra
