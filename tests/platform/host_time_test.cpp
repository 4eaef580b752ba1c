// The one calendar and timestamp parser that machine.ini's clock and the
// manifests' times share.
#include <gtest/gtest.h>

#include <cstdint>

#include "host/civil_time.h"

namespace veldra::host {
namespace {

std::uint64_t Ticks(const FILETIME& t) {
    return (static_cast<std::uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
}

TEST(Timestamp, CountsFrom1601AndKnowsTheWeekday) {
    const struct {
        const char* text;
        std::uint64_t ticks;
        WORD dayOfWeek;
    } good[] = {
        {"1601-01-01 00:00:00", 0, 1},
        {"1970-01-01 00:00:00", 116444736000000000u, 4},
        {"2000-02-29 12:34:56", 0x01BF82B162519800u, 2},
        {"2100-03-01 00:00:00", 0x022F9FC03DC34000u, 1},
        {"9999-12-31 23:59:59", 0x24C85A5ED127A980u, 5},
    };
    for (const auto& c : good) {
        auto t = ParseTimestamp(c.text);
        ASSERT_TRUE(t) << c.text;
        EXPECT_EQ(Ticks(FileTimeFromMilliseconds(MillisecondsFromCivil(*t))), c.ticks) << c.text;
        EXPECT_EQ(t->wDayOfWeek, c.dayOfWeek) << c.text;
    }
}

TEST(Timestamp, RefusesAnyOtherShapeAndDaysThatDoNotExist) {
    for (const char* bad :
         {"1600-12-31 23:59:59", "2001-02-29 00:00:00", "2100-02-29 00:00:00",
          "2004-13-01 00:00:00", "2004-04-31 00:00:00", "2004-04-01 24:00:00",
          "2004-04-01 23:60:00", "2004-04-01 00:00:60", "2004-4-01 00:00:00", "2004-04-01T00:00:00",
          "2004-04-01 00:00:0x", "2004-04-01", "2010-03-09 +4:05:07", "2010-03-09 14:05:07x",
          "99999999999-01-01 00:00:00", " 2010-03-09 14:05:07"}) {
        EXPECT_FALSE(ParseTimestamp(bad)) << bad;
    }
}

}  // namespace
}  // namespace veldra::host
