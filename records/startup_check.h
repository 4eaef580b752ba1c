// The start-up check: every data file that the media definition file lists
// must be present, openable for reading and writing, at least a header long
// and intact. It shows nothing of its own findings: the message text comes
// back with the result, for the caller to show.
#pragma once

#include <optional>
#include <string>

#include "records/records_reporter.h"

namespace veldra {

enum class DataFileCheck : int {
    Passed = 0,
    Reported = -1,    // a step showed its own message
    NoPrograms = 2,   // "FILES" missing or 0
    CannotOpen = 3,   // message 103
    NotDataFile = 4,  // shorter than a header: message 105
    Broken = 7,       // checksum wrong: message 108
};

struct DataFileCheckOutcome {
    DataFileCheck result = DataFileCheck::Passed;
    std::string message;  // for every result but Passed and Reported
};

// A data file as the media definition file lists it.
struct ListedDataFile {
    std::string path;  // the executable's directory with the name appended
    std::string name;  // as written in the media definition file
};

// Where the check learns the listed names: entry n of the program list, paths
// only. nullopt when the entry is refused, after its own message was shown.
class ListedDataFiles {
public:
    virtual std::optional<ListedDataFile> EntryPaths(int entryNumber) = 0;

protected:
    ~ListedDataFiles() = default;
};

DataFileCheckOutcome CheckListedDataFiles(RecordsContext& context, const std::string& iniPath,
                                          ListedDataFiles& listed);

}  // namespace veldra
