#include "fuzz/campaign/fat_time.h"

#include <algorithm>

namespace veldra::campaign {
namespace {

constexpr std::int64_t kDay = 86400;

// Days from 1601-01-01 (the FILETIME epoch) for a date of the Gregorian
// calendar, and back.
std::int64_t DaysFromCivil(std::int64_t y, int m, int d) {
    y -= m <= 2;
    std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    std::int64_t yoe = y - era * 400;
    std::int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468 + 134774;  // 1970-01-01 is day 134774
}

struct Civil {
    int year, month, day, hour, minute, second;
};

Civil CivilFrom(std::uint64_t ticks) {
    std::int64_t seconds = static_cast<std::int64_t>(ticks / kTicksPerSecond);
    std::int64_t z = seconds / kDay - 134774 + 719468;
    std::int64_t era = z / 146097;
    std::int64_t doe = z - era * 146097;
    std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    std::int64_t mp = (5 * doy + 2) / 153;
    int day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    int month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    int year = static_cast<int>(yoe + era * 400 + (month <= 2));
    std::int64_t inDay = seconds % kDay;
    return {year,
            month,
            day,
            static_cast<int>(inDay / 3600),
            static_cast<int>(inDay / 60 % 60),
            static_cast<int>(inDay % 60)};
}

std::uint16_t FatDate(const Civil& c) {
    return static_cast<std::uint16_t>(((c.year - 1980) << 9) | (c.month << 5) | c.day);
}

std::uint16_t FatTime(const Civil& c) {
    return static_cast<std::uint16_t>((c.hour << 11) | (c.minute << 5) | (c.second / 2));
}

}  // namespace

std::uint64_t FileTimeOf(int year, int month, int day, int hour, int minute, int second) {
    std::int64_t days = DaysFromCivil(year, month, day);
    return static_cast<std::uint64_t>((days * kDay + hour * 3600 + minute * 60 + second)) *
           kTicksPerSecond;
}

// As FatSetBasicInfo (filesys/fastfat/fileinfo.c) takes each time through
// FatNtTimeToFatTime (timesup.c): the write and access times rounded up to an
// even second first, the creation time cut to 10 ms; a year FAT cannot count
// refuses the whole call, except a time that falls on 1979-12-31, which the
// driver stores as 1980-01-01 00:00:00 (with no hundredths for a creation).
std::optional<FatTimes> FatTimesFor(std::uint64_t ticks) {
    constexpr std::uint64_t kTwoSeconds = 2 * kTicksPerSecond;
    const std::uint64_t k1979Last = FileTimeOf(1979, 12, 31, 0, 0, 0);
    const std::uint64_t k1980 = FileTimeOf(1980, 1, 1, 0, 0, 0);
    const std::uint64_t k2108 = FileTimeOf(2108, 1, 1, 0, 0, 0);
    std::uint64_t rounded = ticks + (kTwoSeconds - 1);
    if (ticks < k1979Last || ticks >= k2108 || rounded >= k2108) return std::nullopt;
    Civil created = CivilFrom(std::max(ticks, k1980)),
          written = CivilFrom(std::max(rounded / kTwoSeconds * kTwoSeconds, k1980));
    FatTimes t;
    t.createdDate = FatDate(created);
    t.createdTime = FatTime(created);
    t.createdTenths =
        ticks < k1980 ? 0
                      : static_cast<std::uint8_t>(ticks % kTwoSeconds / (kTicksPerSecond / 100));
    t.writtenDate = FatDate(written);
    t.writtenTime = FatTime(written);
    t.accessDate = t.writtenDate;
    return t;
}

std::uint64_t TicksOfFat(std::uint16_t date, std::uint16_t time, std::uint8_t tenths) {
    return FileTimeOf(1980 + (date >> 9), (date >> 5) & 15, date & 31, time >> 11, (time >> 5) & 63,
                      (time & 31) * 2) +
           tenths * (kTicksPerSecond / 100);
}

}  // namespace veldra::campaign
