#include "records/creation_log.h"

#include <cstdio>

#include "platform/handle.h"
#include "res/fixed_text.h"
#include "res/message_text.h"
#include "res/resource.h"

namespace veldra {

std::string FormatLogDateLine(const SYSTEMTIME& time) {
    char line[64];
    std::snprintf(line, sizeof line, kLogDateFormat, time.wYear, time.wMonth, time.wDay, time.wHour,
                  time.wMinute, time.wSecond);
    return line;
}

std::string JoinLogLines(const std::string& heading, const std::string& dateLine,
                         const std::string& detail) {
    return heading + "\r\n" + dateLine + "\r\n" + detail + "\r\n";
}

std::string BuildLogEntry(RecordsReporter& reporter, int kind, const std::string& dateLine,
                          const LogFacts& facts) {
    if (kind == LOG_MEDIA_CREATED) {
        return JoinLogLines(
            reporter.LoadText(IDS_LOG_CREATED), dateLine,
            FormatMessageText(reporter.LoadText(IDS_LOG_PROGRAM), facts.programName));
    }
    if (kind == LOG_INSTALLED) {
        return JoinLogLines(
            reporter.LoadText(IDS_LOG_INSTALLED), dateLine,
            FormatMessageText(reporter.LoadText(IDS_LOG_DESTINATION), facts.exeDir));
    }
    return std::string();
}

LogAppend AppendToCreationLog(RecordsContext& context, const std::string& logPath,
                              const std::string& text) {
    RecordsReporter& reporter = context.reporter;
    UniqueFileHandle file(
        context.system, context.files.CreateFileA(logPath.c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                                  OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL));
    if (!file) {
        reporter.ShowStopMessage(
            FormatMessageText(reporter.LoadText(IDS_CANNOT_OPEN), kCreationLogFileName));
        return LogAppend::Failed;
    }

    // Appending from anywhere but the end would overwrite earlier entries, so
    // a failed seek is a failed write.
    DWORD position = context.files.SetFilePointer(file.get(), 0, nullptr, FILE_END);
    bool atEnd =
        !(position == INVALID_SET_FILE_POINTER && context.system.GetLastError() != ERROR_SUCCESS);

    DWORD written = 0;
    if (atEnd) {
        context.files.WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written);
    }
    LogAppend result = LogAppend::Appended;
    if (!atEnd || written != text.size()) {
        reporter.ShowStopMessage(
            FormatMessageText(reporter.LoadText(IDS_WRITE_ERROR), kCreationLogFileName));
        result = LogAppend::Failed;
    }
    return result;
}

}  // namespace veldra
