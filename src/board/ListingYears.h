// The years of the log's postings, for the listing since a moment.
//
// Stamps are "MM/DD hh:mm" and carry no year. The log is appended in time
// order, so a header stamped well below the header before it (by more than
// a few days; a clock set back by minutes is no new year) begins the next
// year, and the last stretch of the log is in the current year, or in the
// year before when its last stamp lies ahead of the current moment. A board
// idle for more than a year cannot be told from one busy all along.
#pragma once

#include <algorithm>
#include <functional>
#include <optional>
#include <string_view>

#include "board/DateTime.h"
#include "log/LogFormat.h"
#include "log/LogScanner.h"

namespace board {

// Minutes from January 1 00:00 to the moment's month, day, hour and minute
// (seconds left out, as in a time key), counted in a leap year so that
// 02/29 has its place.
int MinutesIntoYear(int month, int day, int hour, int minute);

// The minutes into the year of the stamp a line begins with: "MM/DD hh:mm",
// or "MM/DD" followed by a blank or the line's end (the key of a day's first
// second, read as 00:00 whatever the user ID after it), with a real month
// and day. Empty when the line begins with no stamp.
std::optional<int> StampMinutes(std::string_view line);

// The moment a time of day alone stands for: today at that time, or
// yesterday when today's is still to come.
CivilTime LatestAtTimeOfDay(const CivilTime& timeOfDay, const CivilTime& now);

// Where the listing since `since` shows from, on the log `scanner` reads:
// just after the first header at or after that moment (the log's first
// header when the moment lies before the log's first year); empty when no
// header is. Lines that are neither message lines nor stamped are passed
// over. `stopping` is asked after every line read, but the log's last; when
// it answers true the search ends and `*stopped` is set. Throws LogError.
//
// The whole log is read, as only the headers after a posting tell its year.
// What that taught (where each of the last years begins, the log's first
// and last headers and its last line) is kept for the next listing, which
// reads on from the last line when those lines are still where they were,
// and then reads only the since moment's year. It keeps a handful of
// places, however long the log.
std::optional<messagelog::ScanPlace> FindListingStart(messagelog::LogScanner& scanner, const CivilTime& since,
                                                     const CivilTime& now, const std::function<bool()>& stopping,
                                                     bool* stopped);

// The part of a line the listing reads and shows: its first 80 bytes.
inline std::string_view ListedPart(std::string_view line) {
    return {line.data(), std::min(line.size(), messagelog::MessageLine::kRoom)};
}

// Forgets what the listings learnt of the log.
void ForgetLogYears();

}  // namespace board
