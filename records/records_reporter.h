// What the records subsystem needs of whoever runs it: the texts of the
// string table, and a place to show a stop message (stop icon, OK) to the
// operator. The main dialog implements it; the subsystem shows nothing by
// other means.
#pragma once

#include <string>

#include "platform/file_port.h"
#include "platform/profile_port.h"
#include "platform/system_port.h"
#include "platform/win32_types.h"

namespace veldra {

class RecordsReporter {
public:
    // String id of the string table; empty when it is absent.
    virtual std::string LoadText(UINT id) = 0;
    virtual void ShowStopMessage(const std::string& text) = 0;

protected:
    ~RecordsReporter() = default;
};

// The ports a records operation works through, and its reporter.
struct RecordsContext {
    SystemPort& system;
    FilePort& files;
    ProfilePort& profile;
    RecordsReporter& reporter;
};

}  // namespace veldra
