// Date-time values as the host keeps them: a double counting days since
// 1899-12-30, the fraction being the time of day.
#pragma once

#include <optional>
#include <string_view>

namespace board {

using DateTime = double;

// A moment split into its calendar parts (proleptic Gregorian, local time).
struct CivilTime {
    int year = 1899;
    int month = 12;
    int day = 30;
    int hour = 0;
    int minute = 0;
    int second = 0;
    int millisecond = 0;
};

// True when year/month/day exists in the Gregorian calendar, years 1 to 9999.
bool IsValidDate(int year, int month, int day);

// The date-time value of a moment; the parts must be valid.
DateTime ToDateTime(const CivilTime& moment);

// Splits a value into its parts after rounding it to the nearest millisecond.
// Below 0 the days count toward zero and the time of day is taken from the
// magnitude (-1.25 is 1899-12-29 06:00). Empty when the value is not finite
// or falls outside years 1 to 9999.
std::optional<CivilTime> SplitDateTime(DateTime value);

// Reads a caller's reply as a date, a date followed by a time of day, or a
// time of day alone (which gives that time on 1899-12-30, and false in
// `hasDate` where one is given: the caller decides which day it means).
// `currentYear` gives the year of a two-number date and the century of a
// one- or two-digit year. Empty when the reply reads as neither.
std::optional<DateTime> ReadDateReply(std::string_view reply, int currentYear, bool* hasDate = nullptr);

}  // namespace board
