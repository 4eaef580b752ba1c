#include "platform/host/civil_time.h"

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

}  // namespace veldra::host
