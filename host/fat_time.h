// What the Windows FAT driver makes of the times SetFileTime gives it. FAT
// counts local time from 1980 to 2107; the driver converts the FILETIME (UTC)
// to local time first (fastfat timesup.c, FatNtTimeToFatTime, through
// ExSystemTimeToLocalTime), by zoneMinutes east of UTC.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "host/civil_time.h"

namespace veldra::host {

enum class FatTimeField { Creation, LastAccess, LastWrite };

// The local time the driver stores in that field: creation to 10 ms, the last
// write rounded up to the next even second, the last access the date of the
// same rounding. nullopt when the driver refuses the call with
// ERROR_INVALID_PARAMETER: the (rounded) time lies outside 1980 to 2107, apart
// from 1979-12-31, which it takes as 1980-01-01 00:00:00 (time zones push
// times there). Zero and all ones are no times but requests (leave the time
// as it is); callers deal with them first.
std::optional<SYSTEMTIME> FatDriverTime(const FILETIME& time, FatTimeField field,
                                        std::int32_t zoneMinutes = 0);

// Whether FAT holds the time as given to all three fields, as the program
// sets a file's times: zero and all ones (no times), or kFatTimeRange. Past
// its end the driver rounds the last write time into 2108 and refuses the
// call; on 1979-12-31 it stores 1980-01-01 instead.
// The range is the machine's local time: `zoneMinutes` east of UTC moves it.
bool FatHoldsFileTime(const FILETIME& time, std::int32_t zoneMinutes = 0);
inline constexpr char kFatTimeRange[] = "1980-01-01 00:00:00 to 2107-12-31 23:59:58";
// kFatTimeRange in UTC for a machine in that zone, with the zone named:
// "1979-12-31 15:00:00 to 2107-12-31 14:59:58 (UTC) at +09:00".
std::string FatTimeRangeUtc(std::int32_t zoneMinutes);
// FAT holds the local time of the machine that makes the medium; unless told
// otherwise, the producer's tools check times for Japan's, +09:00, where the
// program's machines are.
inline constexpr std::int32_t kMakersTimeZoneMinutes = 9 * 60;

}  // namespace veldra::host
