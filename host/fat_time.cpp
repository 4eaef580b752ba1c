#include "host/fat_time.h"

#include <cstdint>

namespace veldra::host {
namespace {

constexpr std::uint64_t kTicksPerMs = 10'000;
constexpr std::uint64_t kAlmostTwoSeconds = 2 * 1000 * kTicksPerMs - 1;

std::uint64_t Ticks(const FILETIME& time) {
    return (std::uint64_t{time.dwHighDateTime} << 32) | time.dwLowDateTime;
}

std::uint64_t TicksOf(int year, int month, int day) {
    return static_cast<std::uint64_t>(MillisecondsFromCivil(year, month, day, 0, 0, 0)) *
           kTicksPerMs;
}

}  // namespace

std::optional<SYSTEMTIME> FatDriverTime(const FILETIME& time, FatTimeField field,
                                        std::int32_t zoneMinutes) {
    std::uint64_t ticks = Ticks(time);
    std::int64_t bias = std::int64_t{zoneMinutes} * 60'000 * std::int64_t{kTicksPerMs};
    if (bias < 0 && ticks < static_cast<std::uint64_t>(-bias)) return std::nullopt;
    if (bias > 0 && ticks > ~std::uint64_t{0} - static_cast<std::uint64_t>(bias))
        return std::nullopt;
    ticks += static_cast<std::uint64_t>(bias);
    if (field != FatTimeField::Creation) {
        if (ticks > ~std::uint64_t{0} - kAlmostTwoSeconds) return std::nullopt;
        ticks += kAlmostTwoSeconds;
    }
    static const std::uint64_t kLastDayOf1979 = TicksOf(1979, 12, 31);
    static const std::uint64_t k1980 = TicksOf(1980, 1, 1);
    static const std::uint64_t k2108 = TicksOf(2108, 1, 1);
    if (ticks < kLastDayOf1979 || ticks >= k2108) return std::nullopt;
    if (ticks < k1980) ticks = k1980;
    SYSTEMTIME local = CivilFromMilliseconds(static_cast<std::int64_t>(ticks / kTicksPerMs));
    switch (field) {
        case FatTimeField::Creation:
            local.wMilliseconds -= local.wMilliseconds % 10;
            break;
        case FatTimeField::LastWrite:
            local.wSecond -= local.wSecond % 2;
            local.wMilliseconds = 0;
            break;
        case FatTimeField::LastAccess:
            local.wHour = local.wMinute = local.wSecond = local.wMilliseconds = 0;
            break;
    }
    return local;
}

bool FatHoldsFileTime(const FILETIME& time, std::int32_t zoneMinutes) {
    if (IsZeroFileTime(time) || IsAllOnesFileTime(time)) return true;
    // Local 1979-12-31 would be stored as 1980-01-01: not as given.
    std::int64_t firstMs = MillisecondsFromCivil(1980, 1, 1, 0, 0, 0) - zoneMinutes * 60'000LL;
    return static_cast<std::int64_t>(Ticks(time) / kTicksPerMs) >= firstMs &&
           FatDriverTime(time, FatTimeField::LastWrite, zoneMinutes).has_value();
}

std::string FatTimeRangeUtc(std::int32_t zoneMinutes) {
    std::int64_t shift = std::int64_t{zoneMinutes} * 60'000;
    FILETIME first = FileTimeFromMilliseconds(MillisecondsFromCivil(1980, 1, 1, 0, 0, 0) - shift);
    FILETIME last =
        FileTimeFromMilliseconds(MillisecondsFromCivil(2107, 12, 31, 23, 59, 58) - shift);
    return TimestampText(first) + " to " + TimestampText(last) + " (UTC) at " +
           TimeZoneText(zoneMinutes);
}

}  // namespace veldra::host
