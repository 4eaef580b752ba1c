#include "tools/datafile/utc_time.h"

#include <cstdint>

namespace veldra {
namespace {

// Reads exactly `width` decimal digits at text[pos].
std::optional<int> Digits(std::string_view text, std::size_t pos, std::size_t width) {
    int value = 0;
    for (std::size_t i = pos; i < pos + width; ++i) {
        if (text[i] < '0' || text[i] > '9') return std::nullopt;
        value = value * 10 + (text[i] - '0');
    }
    return value;
}

bool IsLeapYear(int y) {
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

int DaysInMonth(int y, int m) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && IsLeapYear(y) ? 29 : kDays[m - 1];
}

// Days from 1601-01-01 to the given date; 1601 starts a 400-year cycle, which
// keeps the leap-day count simple.
std::int64_t DaysSince1601(int y, int m, int d) {
    std::int64_t years = y - 1601;
    std::int64_t days = years * 365 + years / 4 - years / 100 + years / 400;
    for (int month = 1; month < m; ++month) days += DaysInMonth(y, month);
    return days + (d - 1);
}

}  // namespace

std::optional<FILETIME> ParseUtcTimestamp(std::string_view text) {
    // "YYYY-MM-DD HH:MM:SS"
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
    std::int64_t seconds =
        DaysSince1601(*year, *month, *day) * 86400 + *hour * 3600 + *minute * 60 + *second;
    auto ticks = static_cast<std::uint64_t>(seconds) * 10'000'000u;
    FILETIME t;
    t.dwLowDateTime = static_cast<DWORD>(ticks);
    t.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
    return t;
}

}  // namespace veldra
