// The creation log "TVLOG.TXT": an append-only record for the operator, one
// entry of three CR LF lines per created medium or installation run.
#pragma once

#include <string>

#include "platform/win32_types.h"

namespace veldra {

constexpr char kCreationLogFileName[] = "TVLOG.TXT";

// "  日時：YYYY/MM/DD hh:mm:ss" for the given local time, without CR LF.
std::string FormatLogDateLine(const SYSTEMTIME& time);

// The lines joined, each followed by CR LF.
std::string JoinLogLines(const std::string& heading, const std::string& dateLine,
                         const std::string& detail);

}  // namespace veldra
