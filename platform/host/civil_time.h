// Calendar arithmetic independent of the host's time zone: a time of day is
// a count of milliseconds since 1601-01-01 00:00, the epoch of FILETIME, in
// the proleptic Gregorian calendar.
#pragma once

#include <cstdint>

#include "platform/win32_types.h"

namespace veldra::host {

int DaysInMonth(int year, int month);
std::int64_t MillisecondsFromCivil(int year, int month, int day, int hour, int minute, int second,
                                   int millisecond = 0);
SYSTEMTIME CivilFromMilliseconds(std::int64_t milliseconds);

}  // namespace veldra::host
