// The listing's reading of stamps without a year, and the day a time of day
// alone stands for. The listing across years itself: BoardStepsTest.
#include "board/ListingYears.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

namespace {

using board::CivilTime;

TEST(StampMinutesTest, ReadsTheStampsOfHeaders) {
    const std::pair<std::string_view, std::optional<int>> cases[] = {
        {"01/01 00:00 A", 0},
        {"01/01 00:01 A", 1},
        {"01/02 00:00 A", 1440},
        {"02/28 23:59 A", 84959},
        {"02/29 00:00 A", 84960},   // 59 days in
        {"03/01 00:00 A", 86400},   // 60 days in, whatever the year
        {"12/31 23:59 A", 527039},  // the last minute of 366 days
        {"11/18 09:05", 464225},
        // A day's first second: the key is the date alone, 00:00.
        {"11/18 SYSOP", 463680},
        {"11/18", 463680},
        {"11/18 ", 463680},
        {"11/18 25:00", 463680},  // a user ID that looks like no time
        {"11/18 12:34", 464434},  // and one that does is read as a time
        // No stamp.
        {"", std::nullopt},
        {"11/1", std::nullopt},
        {"11/18X10:00", std::nullopt},
        {"11-18 10:00", std::nullopt},
        {"00/10 10:00", std::nullopt},
        {"13/01 10:00", std::nullopt},
        {"02/30 10:00", std::nullopt},
        {"04/31", std::nullopt},
        {"11/00 10:00", std::nullopt},
        {"1a/18 10:00", std::nullopt},
        {"zz not a stamp", std::nullopt},
    };
    for (const auto& [line, minutes] : cases) {
        SCOPED_TRACE(std::string(line));
        EXPECT_EQ(board::StampMinutes(line), minutes);
    }
}

std::string Show(const CivilTime& t) {
    char text[40];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d.%03d", t.year, t.month, t.day, t.hour, t.minute,
                  t.second, t.millisecond);
    return text;
}

TEST(LatestAtTimeOfDayTest, TodayOrYesterdayWhenTodaysIsToCome) {
    struct Case {
        CivilTime time;  // only the time of day counts
        CivilTime now;
        const char* expected;
    };
    const Case cases[] = {
        {{1899, 12, 30, 8, 0, 0, 0}, {2026, 12, 10, 9, 5, 0, 0}, "2026-12-10 08:00:00.000"},
        {{1899, 12, 30, 21, 0, 0, 0}, {2026, 12, 10, 9, 5, 0, 0}, "2026-12-09 21:00:00.000"},
        {{1899, 12, 30, 9, 5, 0, 0}, {2026, 12, 10, 9, 5, 0, 0}, "2026-12-10 09:05:00.000"},
        {{1899, 12, 30, 9, 5, 1, 0}, {2026, 12, 10, 9, 5, 0, 999}, "2026-12-09 09:05:01.000"},
        {{1899, 12, 30, 0, 0, 0, 0}, {2026, 12, 10, 0, 0, 0, 0}, "2026-12-10 00:00:00.000"},
        {{1899, 12, 30, 23, 0, 0, 0}, {2027, 1, 1, 0, 30, 0, 0}, "2026-12-31 23:00:00.000"},
        {{1899, 12, 30, 12, 0, 0, 0}, {2024, 3, 1, 9, 0, 0, 0}, "2024-02-29 12:00:00.000"},
        {{1899, 12, 30, 12, 0, 0, 0}, {2026, 3, 1, 9, 0, 0, 0}, "2026-02-28 12:00:00.000"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Show(c.time) + " at " + Show(c.now));
        EXPECT_EQ(Show(board::LatestAtTimeOfDay(c.time, c.now)), c.expected);
    }
}

}  // namespace
