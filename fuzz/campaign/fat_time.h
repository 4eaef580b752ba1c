// FILETIME and the FAT directory's date and time fields, the oracle's own
// arithmetic: what the Windows FAT driver keeps of the three times a program
// sets alike.
#pragma once

#include <cstdint>
#include <optional>

namespace veldra::campaign {

inline constexpr std::uint64_t kTicksPerSecond = 10'000'000;  // FILETIME counts 100 ns

std::uint64_t FileTimeOf(int year, int month, int day, int hour, int minute, int second);

// The FAT fields of a file whose creation, access and write times were all
// set to ticks: creation to 10 ms, the write time rounded up to an even
// second, the access date that of the rounded time; a time on 1979-12-31 is
// 1980-01-01 00:00:00. None when FAT cannot count the time (before
// 1979-12-31, or past 2107 after the rounding): the call changes nothing.
struct FatTimes {
    std::uint16_t createdDate = 0, createdTime = 0, accessDate = 0, writtenDate = 0,
                  writtenTime = 0;
    std::uint8_t createdTenths = 0;
    bool operator==(const FatTimes&) const = default;
};
std::optional<FatTimes> FatTimesFor(std::uint64_t ticks);

// The FILETIME of a FAT date and time (and 10 ms units), for range checks.
std::uint64_t TicksOfFat(std::uint16_t date, std::uint16_t time, std::uint8_t tenths = 0);

}  // namespace veldra::campaign
