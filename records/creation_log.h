// The creation log "TVLOG.TXT": an append-only record for the operator, one
// entry of three CR LF lines per created medium or installation run.
#pragma once

#include <string>

#include "platform/win32_types.h"
#include "records/records_reporter.h"

namespace veldra {

constexpr char kCreationLogFileName[] = "TVLOG.TXT";

// Entry kinds: a creation passes its data file's ContentKind, so any other
// value is possible and appends nothing.
enum : int {
    LOG_MEDIA_CREATED = 0,
    LOG_INSTALLED = 128,
};

// What an entry says besides its kind and date.
struct LogFacts {
    std::string programName;  // LOG_MEDIA_CREATED: the loaded program's name
    std::string exeDir;       // LOG_INSTALLED: the installation directory
};

enum class LogAppend {
    Appended,  // also when the entry was empty
    Failed,    // message 103 or 111 has been shown
};

// "  日時：YYYY/MM/DD hh:mm:ss" for the given local time, without CR LF.
std::string FormatLogDateLine(const SYSTEMTIME& time);

// The lines joined, each followed by CR LF.
std::string JoinLogLines(const std::string& heading, const std::string& dateLine,
                         const std::string& detail);

// The entry's text for a kind: empty for kinds that record nothing.
std::string BuildLogEntry(RecordsReporter& reporter, int kind, const std::string& dateLine,
                          const LogFacts& facts);

// Appends text to logPath with one write, opening the file exclusively and
// creating it when missing. A failure is shown with the log's bare name.
LogAppend AppendToCreationLog(RecordsContext& context, const std::string& logPath,
                              const std::string& text);

}  // namespace veldra
