// Helpers shared by the records scenarios: message box lines, moving the
// installation to another drive, and watching the data files across a run.
#pragma once

#include <filesystem>
#include <map>
#include <string>

#include "tests/support/test_machine.h"

namespace veldra::testing {

// The transcript line of a stop message box answered with OK (text in UTF-8,
// backslashes doubled as the transcript quotes them).
std::string StopBox(const std::string& text);

// Checks that the run showed exactly this one stop message and that the
// dialog closed right after it, with exit code 0 and no program listed.
void ExpectEndsAfter(const RunResult& run, const std::string& message);

// Moves C:\TAVEX to X:\TAVEX on a fixed drive X described by driveKeys
// (lines of its [drive X] section) and starts the module from there.
void MoveInstallationTo(TestMachine& machine, char letter, const std::string& driveKeys);

// Every *.DAT file below the machine's drives, by host path.
std::map<std::filesystem::path, std::string> DataFiles(const TestMachine& machine);

// Runs, and fails the test when any data file changed: the program only
// ever reads them, though it opens them for writing at start.
RunResult RunKeepingDataFiles(const TestMachine& machine, const std::string& actions,
                              const std::vector<std::string>& tail = {});

}  // namespace veldra::testing
