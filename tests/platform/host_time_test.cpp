// The one calendar and timestamp parser that machine.ini's clock and the
// manifests' times share, and what the FAT driver makes of the times a
// program sets.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

#include "fuzz/campaign/fat_time.h"
#include "host/civil_time.h"
#include "host/fat_time.h"

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

// Each row: a time given to SetFileTime, and what the driver stores for it
// as creation, last write and last access time ("" where it refuses it). The
// rows follow FatSetBasicInfo (filesys/fastfat/fileinfo.c), which takes each
// time through FatNtTimeToFatTime (timesup.c) and keeps 1979-12-31 as
// 1980-01-01; the simulator's driver and the campaign's oracle both answer
// them, the oracle for a file whose three times are set alike.
TEST(FatTimes, AsTheDriverStoresOrRefusesThem) {
    const struct {
        const char* given;
        int ms;
        const char* creation;
        const char* write;
        const char* access;
        bool holds;  // as given, for all three
    } rows[] = {
        {"2022-11-30 22:58:58", 0, "2022-11-30 22:58:58.000", "2022-11-30 22:58:58", "2022-11-30",
         true},
        {"2022-11-30 22:58:59", 340, "2022-11-30 22:58:59.340", "2022-11-30 22:59:00", "2022-11-30",
         true},
        {"2022-11-30 23:59:59", 0, "2022-11-30 23:59:59.000", "2022-12-01 00:00:00", "2022-12-01",
         true},
        {"1980-01-01 00:00:00", 0, "1980-01-01 00:00:00.000", "1980-01-01 00:00:00", "1980-01-01",
         true},
        // The last day of 1979 is taken as 1980-01-01 (FatSetBasicInfo's special
        // case), also once rounding reaches it.
        {"1979-12-31 12:00:00", 0, "1980-01-01 00:00:00.000", "1980-01-01 00:00:00", "1980-01-01",
         false},
        {"1979-12-30 23:59:59", 0, "", "1980-01-01 00:00:00", "1980-01-01", false},
        {"1979-12-30 23:59:57", 0, "", "", "", false},
        {"2107-12-31 23:59:58", 0, "2107-12-31 23:59:58.000", "2107-12-31 23:59:58", "2107-12-31",
         true},
        {"2107-12-31 23:59:59", 0, "2107-12-31 23:59:59.000", "", "", false},
        {"2108-01-01 00:00:00", 0, "", "", "", false},
    };
    auto text = [](const std::optional<SYSTEMTIME>& t, int digits) -> std::string {
        if (!t) return "";
        char out[64];
        std::snprintf(out, sizeof out, "%04u-%02u-%02u %02u:%02u:%02u.%03u", t->wYear, t->wMonth,
                      t->wDay, t->wHour, t->wMinute, t->wSecond, t->wMilliseconds);
        return std::string(out, static_cast<std::size_t>(digits));
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.given);
        FILETIME time =
            FileTimeFromMilliseconds(MillisecondsFromCivil(*ParseTimestamp(row.given)) + row.ms);
        EXPECT_EQ(text(FatDriverTime(time, FatTimeField::Creation), 23), row.creation);
        EXPECT_EQ(text(FatDriverTime(time, FatTimeField::LastWrite), 19), row.write);
        EXPECT_EQ(text(FatDriverTime(time, FatTimeField::LastAccess), 10), row.access);
        EXPECT_EQ(FatHoldsFileTime(time), row.holds);

        // All three alike: one refused time refuses the call.
        std::optional<campaign::FatTimes> oracle = campaign::FatTimesFor(Ticks(time));
        bool refused = !*row.creation || !*row.write || !*row.access;
        ASSERT_EQ(oracle.has_value(), !refused);
        if (refused) continue;
        auto field = [](const char* text, int at, int digits) {
            return std::stoi(std::string(text + at, static_cast<std::size_t>(digits)));
        };
        auto date = [&](const char* t) {
            return (field(t, 0, 4) - 1980) << 9 | field(t, 5, 2) << 5 | field(t, 8, 2);
        };
        auto clock = [&](const char* t) {
            return field(t, 11, 2) << 11 | field(t, 14, 2) << 5 | field(t, 17, 2) / 2;
        };
        EXPECT_EQ(oracle->createdDate, date(row.creation));
        EXPECT_EQ(oracle->createdTime, clock(row.creation));
        EXPECT_EQ(oracle->createdTenths,
                  field(row.creation, 17, 2) % 2 * 100 + field(row.creation, 20, 3) / 10);
        EXPECT_EQ(oracle->writtenDate, date(row.write));
        EXPECT_EQ(oracle->writtenTime, clock(row.write));
        EXPECT_EQ(oracle->accessDate, date(row.access));
    }
    // No times but requests: left as they are.
    EXPECT_TRUE(FatHoldsFileTime(FILETIME{0, 0}));
    EXPECT_TRUE(FatHoldsFileTime(FILETIME{0xFFFFFFFFu, 0xFFFFFFFFu}));
}

// The driver converts to the machine's local time before it counts: at
// +09:00 a time late on the last day of 2107 (UTC) lies in 2108 there, and
// at -05:00 the first hours of 1980 lie on the last day of 1979.
TEST(FatTimes, AreTheMachinesLocalTime) {
    auto at = [](const char* given) {
        return FileTimeFromMilliseconds(MillisecondsFromCivil(*ParseTimestamp(given)));
    };
    std::optional<SYSTEMTIME> tokyo =
        FatDriverTime(at("2004-03-15 12:30:00"), FatTimeField::LastWrite, 9 * 60);
    ASSERT_TRUE(tokyo.has_value());
    EXPECT_EQ(tokyo->wDay * 100 + tokyo->wHour, 1521);
    EXPECT_TRUE(FatDriverTime(at("2107-12-31 14:59:58"), FatTimeField::LastWrite, 9 * 60));
    EXPECT_FALSE(FatDriverTime(at("2107-12-31 15:00:00"), FatTimeField::LastWrite, 9 * 60));
    std::optional<SYSTEMTIME> east =
        FatDriverTime(at("1980-01-01 03:00:00"), FatTimeField::Creation, -5 * 60);
    ASSERT_TRUE(east.has_value());
    EXPECT_EQ(east->wYear * 10000 + east->wMonth * 100 + east->wDay, 19800101);
    EXPECT_EQ(east->wHour, 0);
}

}  // namespace
}  // namespace veldra::host
