// The years of the log's postings, for the listing since a moment.
//
// Stamps are "MM/DD hh:mm" and carry no year. The log is appended in time
// order, so a header stamped well below the header before it (by more than
// a few days; a clock set back by minutes is no new year) begins the next
// year, and the last stretch of the log is in the current year, or in the
// year before when its last stamp lies ahead of the current moment. A board
// idle for more than a year cannot be told from one busy all along.
#pragma once

#include <cstdint>
#include <deque>
#include <optional>
#include <string_view>

#include "board/DateTime.h"
#include "board/MessageLog.h"

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

// Where the listing since a moment begins, found in one pass over the
// log's headers. For each year's stretch it notes where the first header at
// or after the since moment's month, day and time lies; which stretch is
// the since moment's year is known once the log's end is. It keeps only the
// last few stretches, as many as lie between the since year and now.
class ListingStart {
public:
    ListingStart(const CivilTime& since, const CivilTime& now);

    // A header stamped `minutes` into its year; `after` is where the line
    // after it begins.
    void NoteHeader(int minutes, const LogReader::Place& after);

    // Just after the first header stamped at or after the since moment;
    // empty when no header is. The log's first header when the since moment
    // lies before the log's first year.
    std::optional<LogReader::Place> Start() const;

private:
    struct Stretch {
        LogReader::Place first;                   // after the stretch's first header
        std::optional<LogReader::Place> reached;  // after its first header at or after the since moment
    };

    int sinceYear_;
    int sinceMinutes_;
    int nowYear_;
    int nowMinutes_;
    std::size_t kept_;  // stretches kept, counted from the log's end
    std::deque<Stretch> stretches_;
    std::int64_t stretchCount_ = 0;
    LogReader::Place logFirst_;
    int lastMinutes_ = 0;
};

}  // namespace board
