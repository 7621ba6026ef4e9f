#include "board/ListingYears.h"

#include <algorithm>
#include <tuple>

namespace board {

namespace {

// A header stamped this far below the header before it begins a new year.
constexpr int kNewYearDrop = 3 * 24 * 60;

// Days before each month, and in each, of a leap year.
constexpr int kDaysBefore[12] = {0, 31, 60, 91, 121, 152, 182, 213, 244, 274, 305, 335};
constexpr int kDaysIn[12] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Two digits at `at`, or -1.
int TwoDigits(std::string_view text, std::size_t at) {
    if (!IsDigit(text[at]) || !IsDigit(text[at + 1])) return -1;
    return (text[at] - '0') * 10 + (text[at + 1] - '0');
}

// More stretches than years 1 to 9999 can tell apart are never needed.
constexpr std::int64_t kMostKept = 10'002;

}  // namespace

int MinutesIntoYear(int month, int day, int hour, int minute) {
    return ((kDaysBefore[month - 1] + day - 1) * 24 + hour) * 60 + minute;
}

std::optional<int> StampMinutes(std::string_view line) {
    if (line.size() < 5 || line[2] != '/') return std::nullopt;
    const int month = TwoDigits(line, 0);
    const int day = TwoDigits(line, 3);
    if (month < 1 || month > 12 || day < 1 || day > kDaysIn[month - 1]) return std::nullopt;
    if (line.size() == 5) return MinutesIntoYear(month, day, 0, 0);
    if (line[5] != ' ') return std::nullopt;
    if (line.size() >= 11 && line[8] == ':') {
        const int hour = TwoDigits(line, 6);
        const int minute = TwoDigits(line, 9);
        if (hour >= 0 && hour < 24 && minute >= 0 && minute < 60) return MinutesIntoYear(month, day, hour, minute);
    }
    return MinutesIntoYear(month, day, 0, 0);  // "MM/DD USERID"
}

CivilTime LatestAtTimeOfDay(const CivilTime& timeOfDay, const CivilTime& now) {
    CivilTime moment = now;
    moment.hour = timeOfDay.hour;
    moment.minute = timeOfDay.minute;
    moment.second = timeOfDay.second;
    moment.millisecond = timeOfDay.millisecond;
    if (std::tie(moment.hour, moment.minute, moment.second, moment.millisecond) >
        std::tie(now.hour, now.minute, now.second, now.millisecond)) {
        const CivilTime midnight{now.year, now.month, now.day, 0, 0, 0, 0};
        if (const std::optional<CivilTime> yesterday = SplitDateTime(ToDateTime(midnight) - 1)) {
            moment.year = yesterday->year;
            moment.month = yesterday->month;
            moment.day = yesterday->day;
        }
    }
    return moment;
}

ListingStart::ListingStart(const CivilTime& since, const CivilTime& now)
    : sinceYear_(since.year),
      sinceMinutes_(MinutesIntoYear(since.month, since.day, since.hour, since.minute)),
      nowYear_(now.year),
      nowMinutes_(MinutesIntoYear(now.month, now.day, now.hour, now.minute)),
      kept_(static_cast<std::size_t>(
          std::clamp<std::int64_t>(std::int64_t{now.year} - since.year + 2, 1, kMostKept))) {}

void ListingStart::NoteHeader(int minutes, const LogReader::Place& after) {
    if (stretchCount_ == 0 || lastMinutes_ - minutes > kNewYearDrop) {
        if (stretchCount_ == 0) logFirst_ = after;
        ++stretchCount_;
        if (stretches_.size() == kept_) stretches_.pop_front();
        stretches_.push_back({after, std::nullopt});
    }
    Stretch& current = stretches_.back();
    if (!current.reached && minutes >= sinceMinutes_) current.reached = after;
    lastMinutes_ = minutes;
}

std::optional<LogReader::Place> ListingStart::Start() const {
    if (stretchCount_ == 0) return std::nullopt;
    const std::int64_t lastYear = nowYear_ - (lastMinutes_ - nowMinutes_ > kNewYearDrop ? 1 : 0);
    // Stretches from the log's end to the since moment's year.
    const std::int64_t back = lastYear - sinceYear_;
    if (back < 0) return std::nullopt;
    // Before the log's first year, or so long before now that it cannot be
    // nearer (more years than any date spans): the whole log.
    if (back >= stretchCount_ || static_cast<std::uint64_t>(back) >= stretches_.size()) return logFirst_;
    const std::size_t index = stretches_.size() - 1 - static_cast<std::size_t>(back);
    if (stretches_[index].reached) return stretches_[index].reached;
    // Every posting of that year is earlier: the next year's first one is not.
    if (back > 0) return stretches_[index + 1].first;
    return std::nullopt;
}

}  // namespace board
