#include "board/ListingYears.h"

#include <algorithm>
#include <cstdint>
#include <deque>
#include <tuple>

namespace board {

using messagelog::HasMessageMark;
using messagelog::MessageLine;
using messagelog::ScannedLine;
using messagelog::ScanPlace;

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

// More years than 1 to 9999 are never needed.
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

namespace {

// A stretch of one year's postings.
struct Stretch {
    ScanPlace head;       // where its first header begins
    ScanPlace afterHead;  // where the line after it begins
    MessageLine headLine;        // the header's first 80 bytes
    // This listing read the stretch from its first header on, and found
    // where the postings at or after the since moment begin (if they do).
    bool readWhole = false;
    std::optional<ScanPlace> reached;
};

// What the listings know of the log up to its last line.
struct LogYears {
    bool known = false;
    std::int64_t stretchCount = 0;
    int lastMinutes = 0;  // the stamp of the last header
    ScanPlace lastHeaderAt;
    MessageLine lastHeader;
    Stretch first;
    std::deque<Stretch> recent;  // the newest last
    ScanPlace lastLineAt;
    MessageLine lastLine;
};

LogYears& Known() {
    static LogYears years;
    return years;
}

// Years kept between listings, the newest.
constexpr std::size_t kKeptYears = 16;

class Search {
public:
    Search(messagelog::LogScanner& scanner, const CivilTime& since, const CivilTime& now,
           const std::function<bool()>& stopping)
        : scanner_(scanner),
          stopping_(stopping),
          sinceYear_(since.year),
          sinceMinutes_(MinutesIntoYear(since.month, since.day, since.hour, since.minute)),
          nowYear_(now.year),
          nowMinutes_(MinutesIntoYear(now.month, now.day, now.hour, now.minute)),
          // Enough years to reach back to the since moment's.
          capacity_(static_cast<std::size_t>(std::clamp<std::int64_t>(
              std::int64_t{now.year} - since.year + 2, static_cast<std::int64_t>(kKeptYears), kMostKept))) {}

    std::optional<ScanPlace> Run(bool* stopped) {
        LogYears& years = Known();
        bool resume = years.known && StillHolds(years);
        for (;;) {
            if (!resume) years = LogYears{};
            if (!ReadToEnd(years, resume)) {
                *stopped = true;
                return std::nullopt;
            }
            const Decision decision = Decide(years, resume);
            if (decision.kind == Decision::kReadAgain) {
                // Further back than the years kept: the whole log once more.
                resume = false;
                continue;
            }
            while (years.recent.size() > kKeptYears) years.recent.pop_front();
            if (decision.kind == Decision::kFound) return decision.place;
            if (decision.kind == Decision::kNone) return std::nullopt;
            return SeekWithin(decision.place, stopped);
        }
    }

private:
    struct Decision {
        enum Kind { kFound, kNone, kWithin, kReadAgain } kind;
        ScanPlace place;
    };

    // The line that begins at `at` as the listing reads it (empty at the
    // text's end).
    MessageLine LineAt(const ScanPlace& at) {
        MessageLine line;
        scanner_.StartAt(at);
        scanner_.Scan(
            [&](const ScannedLine& read) {
                line.assign(ListedPart(read.bytes));
                return false;
            },
            [] {});
        return line;
    }

    // The log has only grown since: its first and last headers and its
    // last line are where they were. A line put in or taken out before them
    // moves them, and the stamps tell one log from another that begins alike.
    bool StillHolds(const LogYears& years) {
        return LineAt(years.first.head).view() == years.first.headLine.view() &&
               LineAt(years.lastHeaderAt).view() == years.lastHeader.view() &&
               LineAt(years.lastLineAt).view() == years.lastLine.view();
    }

    // Reads on to the log's end (from its last line when resuming), noting
    // each year's first header. False when the channel is to stop.
    bool ReadToEnd(LogYears& years, bool resume) {
        years.known = false;  // until the end is reached
        for (Stretch& stretch : years.recent) {
            stretch.readWhole = false;
            stretch.reached.reset();
        }
        // Noted before when resuming: read again only to go on after it.
        ScanPlace at = resume ? years.lastLineAt : ScanPlace{};
        bool first = true;
        bool stopped = false;
        // The last line read, copied before the buffer is filled again.
        std::string_view last;
        bool lastPending = false;
        MessageLine lastLine;
        scanner_.StartAt(at);
        scanner_.Scan(
            [&](const ScannedLine& read) {
                // Asked after every line but the log's last.
                if (!first && stopping_()) {
                    stopped = true;
                    return false;
                }
                const std::string_view line = ListedPart(read.bytes);
                at = {read.offset, false};
                if (!first || !resume) Note(years, line, read);
                first = false;
                // A copied line lasts only for this call.
                lastPending = !read.copied;
                if (read.copied) {
                    lastLine.assign(line);
                } else {
                    last = line;
                }
                return true;
            },
            [&] {
                if (lastPending) lastLine.assign(last);
                lastPending = false;
            });
        if (stopped) return false;
        years.lastLineAt = at;
        years.lastLine = lastLine;
        if (years.stretchCount > 0) {
            // Near the end: mostly still in the buffer.
            years.lastHeader = LineAt(years.lastHeaderAt);
        }
        years.known = true;
        return true;
    }

    void Note(LogYears& years, std::string_view line, const ScannedLine& read) {
        if (HasMessageMark(line)) return;
        const std::optional<int> minutes = StampMinutes(line);
        if (!minutes) return;
        if (years.stretchCount == 0 || years.lastMinutes - *minutes > kNewYearDrop) {
            Stretch stretch{{read.offset, false}, scanner_.PlaceAfter(read), MessageLine(line), true, std::nullopt};
            if (years.stretchCount == 0) years.first = stretch;
            ++years.stretchCount;
            if (years.recent.size() >= capacity_) years.recent.pop_front();
            years.recent.push_back(stretch);
        }
        Stretch& current = years.recent.back();
        if (current.readWhole && !current.reached && *minutes >= sinceMinutes_) current.reached = scanner_.PlaceAfter(read);
        years.lastMinutes = *minutes;
        years.lastHeaderAt = {read.offset, false};  // its text is taken once the end is reached
    }

    Decision Decide(const LogYears& years, bool resumed) const {
        if (years.stretchCount == 0) return {Decision::kNone, {}};
        const std::int64_t lastYear = nowYear_ - (years.lastMinutes - nowMinutes_ > kNewYearDrop ? 1 : 0);
        // Stretches from the log's end back to the since moment's year.
        const std::int64_t back = lastYear - sinceYear_;
        if (back < 0) return {Decision::kNone, {}};
        if (back >= years.stretchCount) return {Decision::kFound, years.first.afterHead};
        if (static_cast<std::uint64_t>(back) >= years.recent.size()) {
            // Further back than the years kept from before; after a whole
            // reading only more years than any date spans are.
            return resumed ? Decision{Decision::kReadAgain, {}} : Decision{Decision::kFound, years.first.afterHead};
        }
        const std::size_t index = years.recent.size() - 1 - static_cast<std::size_t>(back);
        const Stretch& stretch = years.recent[index];
        if (!stretch.readWhole) return {Decision::kWithin, stretch.head};
        if (stretch.reached) return {Decision::kFound, *stretch.reached};
        // Every posting of that year is earlier: the next year's first one is not.
        if (back > 0) return {Decision::kFound, years.recent[index + 1].afterHead};
        return {Decision::kNone, {}};
    }

    // The since moment's year, read from its first header: the first header
    // at or after the since moment, or of a later year.
    std::optional<ScanPlace> SeekWithin(const ScanPlace& head, bool* stopped) {
        std::optional<int> previous;
        bool first = true;
        bool found = false;
        scanner_.StartAt(head);
        scanner_.Scan(
            [&](const ScannedLine& read) {
                // Asked after every line but the log's last.
                if (!first && stopping_()) {
                    *stopped = true;
                    return false;
                }
                first = false;
                const std::string_view line = ListedPart(read.bytes);
                if (!HasMessageMark(line)) {
                    if (const std::optional<int> minutes = StampMinutes(line)) {
                        const bool laterYear = previous && *previous - *minutes > kNewYearDrop;
                        if (*minutes >= sinceMinutes_ || laterYear) {
                            found = true;
                            return false;
                        }
                        previous = minutes;
                    }
                }
                return true;
            },
            [] {});
        if (!found) return std::nullopt;
        return ScanPlace{scanner_.NextLineAt(), false};
    }

    messagelog::LogScanner& scanner_;
    const std::function<bool()>& stopping_;
    int sinceYear_;
    int sinceMinutes_;
    int nowYear_;
    int nowMinutes_;
    std::size_t capacity_;
};

}  // namespace

std::optional<ScanPlace> FindListingStart(messagelog::LogScanner& scanner, const CivilTime& since, const CivilTime& now,
                                          const std::function<bool()>& stopping, bool* stopped) {
    *stopped = false;
    return Search(scanner, since, now, stopping).Run(stopped);
}

void ForgetLogYears() { Known() = LogYears{}; }

}  // namespace board
