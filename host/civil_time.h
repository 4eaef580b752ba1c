// Calendar arithmetic independent of the host's time zone: a point in time is
// a count of milliseconds since 1601-01-01 00:00, the epoch of FILETIME, in
// the proleptic Gregorian calendar.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/win32_types.h"

namespace veldra::host {

int DaysInMonth(int year, int month);
std::int64_t MillisecondsFromCivil(int year, int month, int day, int hour, int minute, int second,
                                   int millisecond = 0);
std::int64_t MillisecondsFromCivil(const SYSTEMTIME& time);
// With the day of the week filled in.
SYSTEMTIME CivilFromMilliseconds(std::int64_t milliseconds);
FILETIME FileTimeFromMilliseconds(std::int64_t milliseconds);
// The two values SetFileTime reads as requests rather than times.
bool IsZeroFileTime(const FILETIME& time);
bool IsAllOnesFileTime(const FILETIME& time);

// Exactly "YYYY-MM-DD hh:mm:ss", as machine.ini and the manifests write a
// time; nullopt when the text is not of that shape, names no real date or
// time, or lies before 1601.
std::optional<SYSTEMTIME> ParseTimestamp(std::string_view text);
// The same form for a FILETIME, to the second.
std::string TimestampText(const FILETIME& time);

// A time zone as "+HH:MM" or "-HH:MM", minutes east of UTC; nullopt outside
// the zones Windows has, -12:00 to +14:00.
std::optional<std::int32_t> ParseTimeZone(std::string_view text);
std::string TimeZoneText(std::int32_t minutesEast);

}  // namespace veldra::host
