// Calendar times written as "YYYY-MM-DD HH:MM:SS" (UTC), turned into FILETIME.
#pragma once

#include <optional>
#include <string_view>

#include "platform/win32_types.h"

namespace veldra {

// nullopt when the text is not of that shape, names no real date or time, or
// lies outside the years 1601..9999 that FILETIME and SYSTEMTIME share.
std::optional<FILETIME> ParseUtcTimestamp(std::string_view text);

}  // namespace veldra
