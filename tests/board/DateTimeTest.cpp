#include "board/DateTime.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace board {
namespace {

constexpr double kMs = 1.0 / 86'400'000;

// Parts as text, so a failing comparison shows every field at once.
std::string Show(const CivilTime& t) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d:%02d.%03d", t.year, t.month,
                  t.day, t.hour, t.minute, t.second, t.millisecond);
    return buffer;
}

std::string Show(const std::optional<CivilTime>& t) { return t ? Show(*t) : "none"; }

CivilTime At(int y, int mo, int d, int h = 0, int mi = 0, int s = 0, int ms = 0) {
    return CivilTime{y, mo, d, h, mi, s, ms};
}

// ---- IsValidDate ------------------------------------------------------------

TEST(IsValidDateTest, FollowsGregorianCalendarInYearsOneTo9999) {
    struct Case {
        int year, month, day;
        bool valid;
    };
    const std::vector<Case> cases = {
        {2024, 2, 29, true},    {2023, 2, 29, false},  // leap year by 4
        {2000, 2, 29, true},    {1900, 2, 29, false},  // by 400, not by 100
        {2026, 4, 30, true},    {2026, 4, 31, false},  {2026, 12, 31, true},
        {2026, 1, 32, false},   {2026, 0, 1, false},   {2026, 13, 1, false},
        {2026, 1, 0, false},    {2026, -1, 1, false},  {2026, 1, -1, false},
        {2026, 1, 257, false},  // not taken modulo 256
        {1, 1, 1, true},        {0, 12, 31, false},    {9999, 12, 31, true},
        {10000, 1, 1, false},   {-1, 1, 1, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.year << '-' << c.month << '-' << c.day);
        EXPECT_EQ(IsValidDate(c.year, c.month, c.day), c.valid);
    }
}

// The calendar written out plainly, independent of the code under test.
int DaysInMonth(int year, int month) {
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
    return month == 2 && leap ? 29 : kDays[month - 1];
}

TEST(IsValidDateTest, EveryMonthEndsOnItsLastDay) {
    for (int year : {1, 1900, 2000, 2023, 2024, 9999}) {
        for (int month = 1; month <= 12; ++month) {
            SCOPED_TRACE(testing::Message() << year << '-' << month);
            EXPECT_TRUE(IsValidDate(year, month, DaysInMonth(year, month)));
            EXPECT_FALSE(IsValidDate(year, month, DaysInMonth(year, month) + 1));
        }
    }
}

// ---- ToDateTime ---------------------------------------------------------------

TEST(ToDateTimeTest, CountsDaysFromEpochWithTimeAsFraction) {
    struct Case {
        CivilTime moment;
        double value;
    };
    const std::vector<Case> cases = {
        {At(1899, 12, 30), 0.0},
        {At(1899, 12, 30, 12), 0.5},
        {At(1899, 12, 30, 0, 0, 0, 1), kMs},
        {At(1899, 12, 31, 18), 1.75},
        {At(1900, 1, 1), 2.0},
        {At(1900, 3, 1), 61.0},  // no 1900-02-29
        {At(2000, 1, 1), 36526.0},
        {At(2023, 12, 31), 45291.0},
        {At(2024, 1, 1), 45292.0},
        {At(2024, 2, 29), 45351.0},
        {At(2024, 3, 1), 45352.0},
        {At(2026, 12, 25, 6), 46381.25},
        {At(1899, 12, 29), -1.0},
        {At(1899, 12, 29, 6), -1.25},  // time of day moves away from zero
        {At(1899, 12, 28, 18), -2.75},
        {At(1, 1, 1), -693593.0},
        {At(9999, 12, 31), 2958465.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Show(c.moment));
        EXPECT_DOUBLE_EQ(ToDateTime(c.moment), c.value);
    }
}

// ---- SplitDateTime --------------------------------------------------------------

TEST(SplitDateTimeTest, SplitsAfterRoundingToMillisecond) {
    struct Case {
        double value;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {0.0, "1899-12-30 00:00:00.000"},
        {-0.0, "1899-12-30 00:00:00.000"},
        {0.5, "1899-12-30 12:00:00.000"},
        {1.75, "1899-12-31 18:00:00.000"},
        {46381.25, "2026-12-25 06:00:00.000"},
        {-1.25, "1899-12-29 06:00:00.000"},
        {-2.75, "1899-12-28 18:00:00.000"},
        // Day 0 has no sign, so a small negative value is a time on 1899-12-30.
        {-0.5, "1899-12-30 12:00:00.000"},
        {123 * kMs, "1899-12-30 00:00:00.123"},
        {1.4 * kMs, "1899-12-30 00:00:00.001"},
        {1.6 * kMs, "1899-12-30 00:00:00.002"},
        {0.4 * kMs, "1899-12-30 00:00:00.000"},
        // Rounding carries into the next day instead of showing 23:59:59.999 or 24:00.
        {2.9999999999, "1900-01-02 00:00:00.000"},
        {(86'399'999.6) * kMs, "1899-12-31 00:00:00.000"},
        {-1.9999999999, "1899-12-28 00:00:00.000"},
        {1 + 86'399'999 * kMs, "1899-12-31 23:59:59.999"},
        {-693593.0, "0001-01-01 00:00:00.000"},
        {-693593.5, "0001-01-01 12:00:00.000"},
        {2958465.5, "9999-12-31 12:00:00.000"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hexfloat << c.value);
        EXPECT_EQ(Show(SplitDateTime(c.value)), c.expected);
    }
}

TEST(SplitDateTimeTest, RejectsValuesOutsideYearsOneTo9999) {
    const std::vector<double> cases = {
        std::numeric_limits<double>::quiet_NaN(),
        std::numeric_limits<double>::infinity(),
        -std::numeric_limits<double>::infinity(),
        1e300,
        -1e300,
        1e18,        // beyond a 64-bit millisecond count
        2958466.0,   // 10000-01-01
        2958465.99999999999,  // rounds into 10000-01-01
        -693594.0,   // 0000-12-31
        -693594.5,
    };
    for (double value : cases) {
        SCOPED_TRACE(testing::Message() << value);
        EXPECT_EQ(Show(SplitDateTime(value)), "none");
    }
}

TEST(SplitDateTimeTest, UndoesToDateTime) {
    const std::vector<CivilTime> cases = {
        At(1899, 12, 30, 23, 59, 59, 999),
        At(1899, 12, 29, 0, 0, 0, 1),
        At(1899, 12, 29, 23, 59, 59, 999),
        At(1, 1, 1, 0, 0, 0, 1),
        At(1, 1, 1, 23, 59, 59, 999),
        At(1600, 2, 29, 7, 8, 9, 10),
        At(2024, 2, 29, 13, 14, 15, 16),
        At(9999, 12, 31, 23, 59, 59, 999),  // the least precise value in range
    };
    for (const CivilTime& moment : cases) {
        SCOPED_TRACE(Show(moment));
        EXPECT_EQ(Show(SplitDateTime(ToDateTime(moment))), Show(moment));
    }
}

// Two centuries of whole days either side of day 0, counted with the plain
// calendar above: each splits into its date and encodes back to its number.
TEST(SplitDateTimeTest, AgreesWithAPlainDayCount) {
    auto check = [](long long n, const CivilTime& expected) {
        const std::optional<CivilTime> split = SplitDateTime(static_cast<double>(n));
        if (Show(split) != Show(expected) || ToDateTime(expected) != static_cast<double>(n)) {
            ADD_FAILURE() << "day " << n << ": split " << Show(split) << ", expected " << Show(expected);
            return false;
        }
        return true;
    };
    CivilTime day = At(1899, 12, 30);
    for (long long n = 0; n <= 73415; ++n) {  // to 2100-12-31
        if (!check(n, day)) return;
        if (++day.day > DaysInMonth(day.year, day.month)) {
            day.day = 1;
            if (++day.month > 12) day = At(day.year + 1, 1, 1);
        }
    }
    EXPECT_EQ(Show(day), "2101-01-01 00:00:00.000");
    day = At(1899, 12, 30);
    for (long long n = 0; n >= -36522; --n) {  // to 1800-01-01
        if (!check(n, day)) return;
        if (--day.day < 1) {
            if (--day.month < 1) day = At(day.year - 1, 12, 31);
            day.day = DaysInMonth(day.year, day.month);
        }
    }
    EXPECT_EQ(Show(day), "1799-12-31 00:00:00.000");
}

// ---- ReadDateReply ----------------------------------------------------------------

struct ReplyCase {
    std::string_view reply;
    const char* expected;  // nullptr: not a date
    int currentYear = 2026;
};

void CheckReplies(const std::vector<ReplyCase>& cases) {
    for (const ReplyCase& c : cases) {
        SCOPED_TRACE(testing::Message() << '"' << c.reply << "\" in " << c.currentYear);
        const std::optional<DateTime> value = ReadDateReply(c.reply, c.currentYear);
        if (c.expected == nullptr) {
            EXPECT_FALSE(value.has_value()) << "read as " << *value;
        } else if (!value) {
            ADD_FAILURE() << "not read; expected " << c.expected;
        } else {
            EXPECT_EQ(Show(SplitDateTime(*value)), c.expected);
        }
    }
}

TEST(ReadDateReplyTest, ReadsDates) {
    CheckReplies({
        {"2026/12/25", "2026-12-25 00:00:00.000"},
        {"26/12/25", "2026-12-25 00:00:00.000"},
        {"26/12/25", "1926-12-25 00:00:00.000", 1999},
        {"99/1/1", "2099-01-01 00:00:00.000"},
        {"0/1/1", "2000-01-01 00:00:00.000"},     // one digit is a year of the century
        {"0026/1/1", "0026-01-01 00:00:00.000"},  // four digits are taken as written
        {"026/1/1", "0026-01-01 00:00:00.000"},
        {"1/1/1", "2001-01-01 00:00:00.000"},
        {"0001/1/1", "0001-01-01 00:00:00.000"},
        {"9999/12/31", "9999-12-31 00:00:00.000"},
        {"12/25", "2026-12-25 00:00:00.000"},
        {"12/25", "2024-12-25 00:00:00.000", 2024},
        {"2/29", "2024-02-29 00:00:00.000", 2024},
        {"2024/2/29", "2024-02-29 00:00:00.000"},
        {"0012/0025", "2026-12-25 00:00:00.000"},
        {"2026/12/25/", "2026-12-25 00:00:00.000"},
        {" 12 / 25 ", "2026-12-25 00:00:00.000"},
        {" 2026 / 12 / 25 / ", "2026-12-25 00:00:00.000"},
        {"12/25   ", "2026-12-25 00:00:00.000"},
    });
}

TEST(ReadDateReplyTest, RejectsBadDates) {
    CheckReplies({
        {"2023/2/29", nullptr},
        {"2/29", nullptr, 2023},
        {"0000/1/1", nullptr},  // year 0
        {"13/1", nullptr},
        {"12/32", nullptr},
        {"2026/0/1", nullptr},
        {"12345/1/1", nullptr},  // five digits
        {"12/00025", nullptr},
        {"12/25/", nullptr},  // a closing slash needs three numbers
        {"2026/12/25//", nullptr},
        {"2026//12/25", nullptr},
        {"/12/25", nullptr},
        {"12/", nullptr},
        {"12/25/2026", nullptr},  // year 2012, month 25
        {"26/1/1", nullptr, std::numeric_limits<int>::max()},
        {"1/1", nullptr, 0},
        {"12/25 xyz", nullptr},
        {"12/25\t", nullptr},  // only the space is a blank
        {"\t12/25", nullptr},
        {"12-25", nullptr},
        {"abc", nullptr},
        {"", nullptr},
        {"   ", nullptr},
    });
}

TEST(ReadDateReplyTest, ReadsTimeOfDayAloneOnDayZero) {
    CheckReplies({
        {"9", "1899-12-30 09:00:00.000"},
        {"0", "1899-12-30 00:00:00.000"},
        {"23", "1899-12-30 23:00:00.000"},
        {"9:05", "1899-12-30 09:05:00.000"},
        {"9:05:07", "1899-12-30 09:05:07.000"},
        {"23:59:59", "1899-12-30 23:59:59.000"},
        {"0009:0005", "1899-12-30 09:05:00.000"},
        {" 9 : 05 : 07 ", "1899-12-30 09:05:07.000"},
        {"12 AM", "1899-12-30 00:00:00.000"},
        {"12 PM", "1899-12-30 12:00:00.000"},
        {"12:30 am", "1899-12-30 00:30:00.000"},
        {"1 pm", "1899-12-30 13:00:00.000"},
        {"11:59:59Pm", "1899-12-30 23:59:59.000"},
        {"PM 1:30", "1899-12-30 13:30:00.000"},
        {"aM1", "1899-12-30 01:00:00.000"},
        {"午後3", "1899-12-30 15:00:00.000"},
        {"午前11", "1899-12-30 11:00:00.000"},
        {"午前12", "1899-12-30 00:00:00.000"},
        {"3:15 午後", "1899-12-30 15:15:00.000"},
        {"\x8C\xDF\x8C\xE3" "3", "1899-12-30 15:00:00.000"},
    });
}

// The listing decides which day a time alone means: it is told so.
TEST(ReadDateReplyTest, TellsWhetherTheReplyHeldADate) {
    const std::pair<std::string_view, bool> cases[] = {
        {"9", false},         {"21:30", false},           {"PM 1:30", false},          {" 0:00 ", false},
        {"12/25", true},      {"2026/12/25 18:00", true}, {"1899/12/30 9:00", true},   {"12/25 9", true},
    };
    for (const auto& [reply, dated] : cases) {
        SCOPED_TRACE(reply);
        bool hasDate = !dated;
        EXPECT_TRUE(ReadDateReply(reply, 2026, &hasDate).has_value());
        EXPECT_EQ(hasDate, dated);
    }
}

TEST(ReadDateReplyTest, RejectsBadTimesOfDay) {
    CheckReplies({
        {"24", nullptr},
        {"23:60", nullptr},
        {"23:59:60", nullptr},
        {"0 AM", nullptr},
        {"13 PM", nullptr},
        {"0 午後", nullptr},
        {"9:", nullptr},  // a colon needs its number
        {"9:05:", nullptr},
        {"9::05", nullptr},
        {"9:05:07:01", nullptr},
        {"00009", nullptr},
        {"9 xyz", nullptr},
        {"午後3時", nullptr},  // the time alone must fill the reply
        {"PM", nullptr},
        {"PM 1 PM", nullptr},  // one marker only
        {"A M 1", nullptr},
        // 午後 in UTF-8: the host hands over Shift-JIS only.
        {"\xE5\x8D\x88\xE5\xBE\x8C" "3", nullptr},
    });
}

TEST(ReadDateReplyTest, ReadsDateFollowedByTimeOfDay) {
    CheckReplies({
        {"2026/12/25 10:00", "2026-12-25 10:00:00.000"},
        {"2026/12/25/ 10:00", "2026-12-25 10:00:00.000"},
        {"2026/12/25/10:00", "2026-12-25 10:00:00.000"},
        {"1/2/3/4", "2001-02-03 04:00:00.000"},
        {"12/25 9 PM", "2026-12-25 21:00:00.000"},
        {"12/25 PM 9", "2026-12-25 21:00:00.000"},
        {"12/25PM9", "2026-12-25 21:00:00.000"},
        {"2026/12/25 午後3", "2026-12-25 15:00:00.000"},
        {"2026/12/25午前12:01", "2026-12-25 00:01:00.000"},
        {"12/25 23:59:59", "2026-12-25 23:59:59.000"},
        // Past a date and a time of day the rest is not read.
        {"12/25 9:30xyz", "2026-12-25 09:30:00.000"},
        {"12/25 9:30 and more", "2026-12-25 09:30:00.000"},
        {"1899/12/29 6:00", "1899-12-29 06:00:00.000"},
    });
}

TEST(ReadDateReplyTest, RejectsDateFollowedByBadTimeOfDay) {
    // A failed time of day leaves the date alone, which must then fill the reply.
    CheckReplies({
        {"12/25 9:", nullptr},
        {"12/25 9:30:", nullptr},  // the second colon needs its number too
        {"12/25 24", nullptr},
        {"12/25 13 PM", nullptr},
        {"12/25 9:60", nullptr},
        {"12/25 PM", nullptr},
        {"12/25 00009", nullptr},
    });
}

TEST(ReadDateReplyTest, ReturnsEncodedValue) {
    // Exact values, independent of SplitDateTime.
    EXPECT_EQ(ReadDateReply("9", 2026), 0.375);
    EXPECT_EQ(ReadDateReply("12/25", 2026), 46381.0);
    EXPECT_EQ(ReadDateReply("2026/12/25 18:00", 2026), 46381.75);
    EXPECT_EQ(ReadDateReply("1899/12/29 6:00", 2026), -1.25);
}

TEST(ReadDateReplyTest, SourceLiteralsAreShiftJis) {
    // The marker cases above are only meaningful when literals are Shift-JIS.
    EXPECT_EQ(std::string_view("午前"), std::string_view("\x8C\xDF\x91\x4F"));
    EXPECT_EQ(std::string_view("午後"), std::string_view("\x8C\xDF\x8C\xE3"));
}

}  // namespace
}  // namespace board
