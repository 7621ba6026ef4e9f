#include "board/DateTime.h"

// This file holds no Shift-JIS literal and is compiled with a UTF-8
// execution charset: libstdc++ spells the microsecond suffix in <chrono> as
// "\u00b5s", which CP932 cannot encode.
#include <chrono>
#include <cmath>
#include <cstdlib>

namespace board {
namespace {

namespace chrono = std::chrono;

struct Date {
    int year = 0;
    int month = 0;
    int day = 0;
};

constexpr chrono::sys_days kEpoch = chrono::year{1899} / 12 / 30;

// Days since 1899-12-30 of a valid date.
int DaysFromCivil(int year, int month, int day) {
    const chrono::sys_days date = chrono::year{year} / chrono::month{static_cast<unsigned>(month)} /
                                  chrono::day{static_cast<unsigned>(day)};
    return static_cast<int>((date - kEpoch).count());
}

Date CivilFromDays(int days) {
    const chrono::year_month_day date{kEpoch + chrono::days{days}};
    return {static_cast<int>(date.year()), static_cast<int>(static_cast<unsigned>(date.month())),
            static_cast<int>(static_cast<unsigned>(date.day()))};
}

constexpr long long kMsPerDay = 86'400'000;

// Well past 9999-12-31 (day 2958465), yet small enough that the millisecond
// count fits in 64 bits and the day count in an int.
constexpr double kMaxMagnitude = 1e7;

// ---- Reply reading ----------------------------------------------------------
// Each Take* function consumes from `text` only when it succeeds, so a caller
// can try one reading and fall back to another from the same place.

bool IsBlank(char c) { return c == ' '; }  // only 0x20; tabs are not blanks

std::string_view AfterBlanks(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    return text;
}

bool OnlyBlanks(std::string_view text) { return AfterBlanks(text).empty(); }

// Blanks, then `separator`.
bool TakeSeparator(std::string_view& text, char separator) {
    std::string_view rest = AfterBlanks(text);
    if (rest.empty() || rest.front() != separator) return false;
    text = rest.substr(1);
    return true;
}

struct Number {
    int value = 0;
    int digits = 0;
};

// Blanks, then one to four digits. A longer run of digits is not cut into a
// number and what follows it: "12345" is no number at all.
std::optional<Number> TakeNumber(std::string_view& text) {
    const std::string_view rest = AfterBlanks(text);
    std::size_t length = 0;
    while (length < rest.size() && rest[length] >= '0' && rest[length] <= '9') ++length;
    if (length == 0 || length > 4) return std::nullopt;
    Number number{0, static_cast<int>(length)};
    for (std::size_t i = 0; i < length; ++i) number.value = number.value * 10 + (rest[i] - '0');
    text = rest.substr(length);
    return number;
}

char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

struct MarkerWord {
    std::string_view text;  // lower case when caseless
    bool caseless;          // never for Shift-JIS: 前 ends in 0x4F, an 'O'
    bool afternoon;
};

bool StartsWith(std::string_view text, const MarkerWord& word) {
    if (text.size() < word.text.size()) return false;
    for (std::size_t i = 0; i < word.text.size(); ++i) {
        const char c = word.caseless ? LowerAscii(text[i]) : text[i];
        if (c != word.text[i]) return false;
    }
    return true;
}

// The Japanese words are spelled in bytes so the match does not depend on the
// execution character set the file is compiled with.
constexpr MarkerWord kMarkers[] = {
    {"am", true, false},
    {"pm", true, true},
    {"\x8C\xDF\x91\x4F", false, false},  // 午前
    {"\x8C\xDF\x8C\xE3", false, true},   // 午後
};

enum class Marker { kNone, kMorning, kAfternoon };

// Blanks, then AM or PM. A plain enum rather than an optional bool: valgrind
// takes the optimised test of an empty one for a read of its unset value.
Marker TakeMarker(std::string_view& text) {
    const std::string_view rest = AfterBlanks(text);
    for (const MarkerWord& marker : kMarkers) {
        if (StartsWith(rest, marker)) {
            text = rest.substr(marker.text.size());
            return marker.afternoon ? Marker::kAfternoon : Marker::kMorning;
        }
    }
    return Marker::kNone;
}

// month/day in the current year, or year/month/day optionally closed by "/".
std::optional<Date> TakeDate(std::string_view& text, int currentYear) {
    std::string_view rest = text;
    Number parts[3];
    int count = 0;
    const auto first = TakeNumber(rest);
    if (!first) return std::nullopt;
    parts[count++] = *first;
    while (count < 3 && TakeSeparator(rest, '/')) {
        const auto next = TakeNumber(rest);
        if (!next) return std::nullopt;  // "12/25/" has nothing to close
        parts[count++] = *next;
    }
    if (count < 2) return std::nullopt;

    Date date;
    if (count == 2) {
        date = {currentYear, parts[0].value, parts[1].value};
    } else {
        date = {parts[0].value, parts[1].value, parts[2].value};
        // The digit count decides, so "0026" stays year 26 while "26" is 2026.
        if (parts[0].digits <= 2) {
            if (currentYear > 9999) return std::nullopt;  // keeps the sum within int
            date.year += currentYear / 100 * 100;
        }
        TakeSeparator(rest, '/');
    }
    if (!IsValidDate(date.year, date.month, date.day)) return std::nullopt;
    text = rest;
    return date;
}

struct TimeOfDay {
    int hour = 0;
    int minute = 0;
    int second = 0;
};

// hour[:minute[:second]] with at most one AM/PM marker before or after it.
std::optional<TimeOfDay> TakeTimeOfDay(std::string_view& text) {
    std::string_view rest = text;
    Marker marker = TakeMarker(rest);
    const auto hour = TakeNumber(rest);
    if (!hour) return std::nullopt;

    TimeOfDay time{hour->value, 0, 0};
    if (TakeSeparator(rest, ':')) {
        const auto minute = TakeNumber(rest);
        if (!minute) return std::nullopt;
        time.minute = minute->value;
        if (TakeSeparator(rest, ':')) {
            const auto second = TakeNumber(rest);
            if (!second) return std::nullopt;
            time.second = second->value;
        }
    }
    if (marker == Marker::kNone) marker = TakeMarker(rest);

    if (marker != Marker::kNone) {
        // 12-hour clock: 12 AM is midnight, 12 PM noon.
        if (time.hour < 1 || time.hour > 12) return std::nullopt;
        time.hour = time.hour % 12 + (marker == Marker::kAfternoon ? 12 : 0);
    } else if (time.hour >= 24) {
        return std::nullopt;
    }
    if (time.minute >= 60 || time.second >= 60) return std::nullopt;
    text = rest;
    return time;
}

}  // namespace

bool IsValidDate(int year, int month, int day) {
    if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 || day > 31) return false;
    return chrono::year_month_day{chrono::year{year}, chrono::month{static_cast<unsigned>(month)},
                                  chrono::day{static_cast<unsigned>(day)}}
        .ok();
}

DateTime ToDateTime(const CivilTime& moment) {
    const int days = DaysFromCivil(moment.year, moment.month, moment.day);
    const long long ms =
        ((moment.hour * 60LL + moment.minute) * 60 + moment.second) * 1000 + moment.millisecond;
    const double fraction = static_cast<double>(ms) / kMsPerDay;
    // Before the epoch the time of day is kept as a magnitude: -1.25 is day -1 at 06:00.
    const double whole = static_cast<double>(days);
    return days < 0 ? whole - fraction : whole + fraction;
}

std::optional<CivilTime> SplitDateTime(DateTime value) {
    if (!std::isfinite(value) || std::fabs(value) > kMaxMagnitude) return std::nullopt;
    // Rounding the whole value first lets 23:59:59.9996 carry into the next day.
    const long long total = std::llround(value * kMsPerDay);
    // Toward zero, as the encoding counts; within int after the magnitude check.
    const int days = static_cast<int>(total / kMsPerDay);
    long long ms = std::llabs(total % kMsPerDay);

    const Date date = CivilFromDays(days);
    if (date.year < 1 || date.year > 9999) return std::nullopt;

    CivilTime moment;
    moment.year = date.year;
    moment.month = date.month;
    moment.day = date.day;
    moment.millisecond = static_cast<int>(ms % 1000);
    ms /= 1000;
    moment.second = static_cast<int>(ms % 60);
    ms /= 60;
    moment.minute = static_cast<int>(ms % 60);
    moment.hour = static_cast<int>(ms / 60);
    return moment;
}

std::optional<DateTime> ReadDateReply(std::string_view reply, int currentYear, bool* hasDate) {
    std::string_view rest = reply;
    if (hasDate != nullptr) *hasDate = true;
    if (const auto date = TakeDate(rest, currentYear)) {
        CivilTime moment;
        moment.year = date->year;
        moment.month = date->month;
        moment.day = date->day;
        if (const auto time = TakeTimeOfDay(rest)) {
            // Once a date and a time of day are read, the rest of the reply is
            // not looked at.
            moment.hour = time->hour;
            moment.minute = time->minute;
            moment.second = time->second;
            return ToDateTime(moment);
        }
        if (!OnlyBlanks(rest)) return std::nullopt;
        return ToDateTime(moment);
    }

    // A time of day alone falls on day 0, 1899-12-30.
    if (hasDate != nullptr) *hasDate = false;
    rest = reply;
    const auto time = TakeTimeOfDay(rest);
    if (!time || !OnlyBlanks(rest)) return std::nullopt;
    CivilTime moment;
    moment.hour = time->hour;
    moment.minute = time->minute;
    moment.second = time->second;
    return ToDateTime(moment);
}

}  // namespace board
