#include "host/civil_time.h"

#include <cstdio>

namespace veldra::host {
namespace {

constexpr std::int64_t kMsPerDay = 86400000;

bool IsLeap(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

// Days from an arbitrary fixed origin to the given date (proleptic Gregorian).
std::int64_t DaysFromOrigin(int year, int month, int day) {
    // Shift the year to start in March so that the leap day comes last.
    std::int64_t y = year - (month <= 2 ? 1 : 0);
    std::int64_t era = y / 400;
    std::int64_t yearOfEra = y - era * 400;
    std::int64_t m = month > 2 ? month - 3 : month + 9;
    std::int64_t dayOfYear = (153 * m + 2) / 5 + day - 1;
    std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra;
}

// Days from 1601-01-01.
std::int64_t DaysFromCivil(int year, int month, int day) {
    return DaysFromOrigin(year, month, day) - DaysFromOrigin(1601, 1, 1);
}

// Exactly `width` decimal digits at text[pos].
std::optional<int> Digits(std::string_view text, std::size_t pos, std::size_t width) {
    int value = 0;
    for (std::size_t i = pos; i < pos + width; ++i) {
        if (text[i] < '0' || text[i] > '9') return std::nullopt;
        value = value * 10 + (text[i] - '0');
    }
    return value;
}

}  // namespace

int DaysInMonth(int year, int month) {
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month == 2 && IsLeap(year)) return 29;
    return kDays[month - 1];
}

std::int64_t MillisecondsFromCivil(int year, int month, int day, int hour, int minute, int second,
                                   int millisecond) {
    return DaysFromCivil(year, month, day) * kMsPerDay +
           ((static_cast<std::int64_t>(hour) * 60 + minute) * 60 + second) * 1000 + millisecond;
}

std::int64_t MillisecondsFromCivil(const SYSTEMTIME& t) {
    return MillisecondsFromCivil(t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond,
                                 t.wMilliseconds);
}

SYSTEMTIME CivilFromMilliseconds(std::int64_t milliseconds) {
    std::int64_t days = milliseconds / kMsPerDay;
    std::int64_t rest = milliseconds % kMsPerDay;
    SYSTEMTIME t;
    t.wDayOfWeek = static_cast<WORD>((days + 1) % 7);  // 1601-01-01 was a Monday
    int year = 1601;
    while (true) {
        int length = IsLeap(year) ? 366 : 365;
        if (days < length) break;
        days -= length;
        ++year;
    }
    int month = 1;
    while (days >= DaysInMonth(year, month)) {
        days -= DaysInMonth(year, month);
        ++month;
    }
    t.wYear = static_cast<WORD>(year);
    t.wMonth = static_cast<WORD>(month);
    t.wDay = static_cast<WORD>(days + 1);
    t.wHour = static_cast<WORD>(rest / 3600000);
    t.wMinute = static_cast<WORD>(rest / 60000 % 60);
    t.wSecond = static_cast<WORD>(rest / 1000 % 60);
    t.wMilliseconds = static_cast<WORD>(rest % 1000);
    return t;
}

FILETIME FileTimeFromMilliseconds(std::int64_t milliseconds) {
    auto ticks = static_cast<std::uint64_t>(milliseconds) * 10'000u;
    return FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

bool IsZeroFileTime(const FILETIME& time) {
    return time.dwLowDateTime == 0 && time.dwHighDateTime == 0;
}

bool IsAllOnesFileTime(const FILETIME& time) {
    return time.dwLowDateTime == 0xFFFFFFFFu && time.dwHighDateTime == 0xFFFFFFFFu;
}

std::optional<SYSTEMTIME> ParseTimestamp(std::string_view text) {
    if (text.size() != 19 || text[4] != '-' || text[7] != '-' || text[10] != ' ' ||
        text[13] != ':' || text[16] != ':') {
        return std::nullopt;
    }
    auto year = Digits(text, 0, 4), month = Digits(text, 5, 2), day = Digits(text, 8, 2);
    auto hour = Digits(text, 11, 2), minute = Digits(text, 14, 2), second = Digits(text, 17, 2);
    if (!year || !month || !day || !hour || !minute || !second) return std::nullopt;
    if (*year < 1601 || *month < 1 || *month > 12 || *day < 1 ||
        *day > DaysInMonth(*year, *month) || *hour > 23 || *minute > 59 || *second > 59) {
        return std::nullopt;
    }
    return CivilFromMilliseconds(
        MillisecondsFromCivil(*year, *month, *day, *hour, *minute, *second));
}

std::string TimestampText(const FILETIME& time) {
    std::uint64_t ticks = (std::uint64_t{time.dwHighDateTime} << 32) | time.dwLowDateTime;
    SYSTEMTIME t = CivilFromMilliseconds(static_cast<std::int64_t>(ticks / 10'000u));
    char text[48];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u", t.wYear, t.wMonth, t.wDay,
                  t.wHour, t.wMinute, t.wSecond);
    return text;
}

std::optional<std::int32_t> ParseTimeZone(std::string_view text) {
    auto digit = [&](std::size_t at) { return text[at] >= '0' && text[at] <= '9'; };
    if (text.size() != 6 || (text[0] != '+' && text[0] != '-') || text[3] != ':' || !digit(1) ||
        !digit(2) || !digit(4) || !digit(5)) {
        return std::nullopt;
    }
    int hours = (text[1] - '0') * 10 + (text[2] - '0');
    int minutes = (text[4] - '0') * 10 + (text[5] - '0');
    int east = hours * 60 + minutes;
    if (minutes > 59 || east > (text[0] == '-' ? 12 : 14) * 60) return std::nullopt;
    return text[0] == '-' ? -east : east;
}

std::string TimeZoneText(std::int32_t minutesEast) {
    std::int32_t size = minutesEast < 0 ? -minutesEast : minutesEast;
    char text[16];
    std::snprintf(text, sizeof text, "%c%02d:%02d", minutesEast < 0 ? '-' : '+',
                  static_cast<int>(size / 60), static_cast<int>(size % 60));
    return text;
}

}  // namespace veldra::host
