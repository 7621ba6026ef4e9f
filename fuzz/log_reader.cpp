// The log as another program or an old version may have left it: arbitrary
// bytes as porresku.log, then the load, two listings over it, an append and
// a listing after it.
// Each result is compared with what the reader's rules make of the bytes.
//
// Input: one control byte, then the log.
//   bits 0-1  the listing's reply: "1/1", Return (the last login), "12/31 23:59", "6/15"
//             (the clock reads 2025-12-10 09:05)
//   bits 2-6  where the read buffer ends within the log (with bit 7)
//   bit 7     put a filler of almost one read buffer (128 KiB) in front, so
//             lines and Ctrl-Z bytes fall across the buffer's end
#include <array>
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "FuzzSupport.h"
#include "board/BoardState.h"
#include "board/BoardSteps.h"
#include "board/BoardTexts.h"
#include "board/HistoryLoad.h"
#include "board/Porresku.h"
#include "board/WaitingPostings.h"
#include "common/BoardError.h"
#include "support/FakeHost.h"

namespace {

constexpr std::size_t kReadBuffer = 128 * 1024;
constexpr std::size_t kKeptLine = 80;     // a listing keeps a line's first 80 bytes
constexpr std::size_t kLoadedLine = 96;   // the load examines a line's first 96 bytes
// The harness's clock (the fuzz support's): the listing's current year.
constexpr std::array<int, 5> kNow = {2025, 12, 10, 9, 5};

// One long line, so the filler costs the listings nothing to pass over.
std::string Filler(std::size_t size) { return std::string(size - 2, '.') + "\r\n"; }

bool IsLoadHeader(std::string_view line) { return line.size() >= 9 && line[2] == '/' && line[8] == ':'; }

bool HasMark(std::string_view line) { return line.size() >= 15 && line[14] == '>'; }

// The ten newest message lines the load keeps, newest first.
std::vector<std::string> ExpectedHistory(const std::vector<std::string>& lines) {
    std::vector<std::string> history;
    for (auto line = lines.rbegin(); line != lines.rend() && history.size() < 10; ++line) {
        const std::string_view seen = std::string_view(*line).substr(0, kLoadedLine);
        if (!IsLoadHeader(seen) && seen.size() > 15 && HasMark(seen)) history.push_back(line->substr(0, kKeptLine));
    }
    return history;
}

// A moment as the listing compares them: year, month, day, hour, minute.
using Moment = std::array<int, 5>;

// Month and day, hour and minute of a line's stamp: "MM/DD hh:mm", or
// "MM/DD" alone or before a blank (then 00:00), a day that some year has.
std::optional<std::array<int, 4>> StampOf(std::string_view line) {
    auto digits = [&](std::size_t at) {
        return std::isdigit(static_cast<unsigned char>(line[at])) && std::isdigit(static_cast<unsigned char>(line[at + 1]))
                   ? (line[at] - '0') * 10 + (line[at + 1] - '0')
                   : -1;
    };
    static const int kLongest[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (line.size() < 5 || line[2] != '/') return std::nullopt;
    const int month = digits(0), day = digits(3);
    if (month < 1 || month > 12 || day < 1 || day > kLongest[month - 1]) return std::nullopt;
    if (line.size() > 5 && line[5] != ' ') return std::nullopt;
    if (line.size() >= 11 && line[8] == ':') {
        const int hour = digits(6), minute = digits(9);
        if (hour >= 0 && hour < 24 && minute >= 0 && minute < 60) return std::array<int, 4>{month, day, hour, minute};
    }
    return std::array<int, 4>{month, day, 0, 0};
}

// Minutes since January 1 in a year that has February 29.
long MinutesOf(const std::array<int, 4>& stamp) {
    long days = stamp[1] - 1;
    for (int month = 1; month < stamp[0]; ++month) days += month == 2 ? 29 : (month == 4 || month == 6 || month == 9 || month == 11) ? 30 : 31;
    return (days * 24 + stamp[2]) * 60 + stamp[3];
}

// The message lines a listing since `since` shows: every header gets its
// year (counted back from now, one less at each stamp more than three days
// below the one before), and the show begins after the first header at or
// after the since moment.
std::vector<std::string> ExpectedListing(const std::vector<std::string>& lines, const Moment& since,
                                         const Moment& now) {
    constexpr long kThreeDays = 3 * 24 * 60;
    std::vector<std::pair<std::size_t, std::array<int, 4>>> headers;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string_view line = std::string_view(lines[i]).substr(0, kKeptLine);
        if (HasMark(line)) continue;
        if (const auto stamp = StampOf(line)) headers.emplace_back(i, *stamp);
    }
    std::vector<Moment> moments(headers.size());
    if (!headers.empty()) {
        int year = now[0];
        if (MinutesOf(headers.back().second) - MinutesOf({now[1], now[2], now[3], now[4]}) > kThreeDays) --year;
        for (std::size_t h = headers.size(); h-- > 0;) {
            const auto& stamp = headers[h].second;
            moments[h] = {year, stamp[0], stamp[1], stamp[2], stamp[3]};
            if (h > 0 && MinutesOf(headers[h - 1].second) - MinutesOf(stamp) > kThreeDays) --year;
        }
    }
    std::size_t from = lines.size();
    for (std::size_t h = 0; h < headers.size(); ++h) {
        if (moments[h] >= since) {
            from = headers[h].first + 1;
            break;
        }
    }
    std::vector<std::string> shown;
    for (std::size_t i = from; i < lines.size(); ++i) {
        const std::string line = lines[i].substr(0, kKeptLine);
        if (HasMark(line)) shown.push_back(fuzz::AsSent(line));
    }
    return shown;
}

// The log after an append of `posting`: a Ctrl-Z in the last 128 bytes cuts
// it, and an unfinished last line gets CR LF first.
std::string ExpectedAppend(std::string log, const std::string& posting) {
    const std::size_t windowStart = log.size() > 128 ? log.size() - 128 : 0;
    const std::size_t mark = log.find('\x1A', windowStart);
    if (mark != std::string::npos) log.resize(mark);
    if (!log.empty() && !log.ends_with('\r') && !log.ends_with("\r\n")) log += "\r\n";
    return log + posting;
}

void CheckListing(testing_host::FakeHost& host, const std::string& reply, const std::vector<std::string>& lines) {
    board::Board().queued.clear();
    testing_host::FakeChannel& channel = host.Channel(0);
    channel.sent.clear();
    channel.replies = {reply};
    const Porresku porresku(0, host.CreationRecord(0));
    board::ListSince(porresku);  // a BoardError here is a finding: every reply given reads as a date
    fuzz::CheckSentLines(channel);
    FUZZ_CHECK(!board::Board().busy, "the listing left the busy flag set");

    const std::string_view key = reply == "1/1" ? "01/01" : reply == "6/15" ? "06/15" : reply.empty() ? "12/12 12:00" : "12/31 23:59";
    const Moment since = reply == "1/1"    ? Moment{2025, 1, 1, 0, 0}
                         : reply == "6/15" ? Moment{2025, 6, 15, 0, 0}
                         : reply.empty()   ? Moment{2025, 12, 12, 12, 0}
                                           : Moment{2025, 12, 31, 23, 59};
    const std::vector<std::string> expected = ExpectedListing(lines, since, kNow);
    FUZZ_CHECK(channel.sent.size() == expected.size() + 4, "the listing since %s sent %zu lines for %zu messages",
               std::string(key).c_str(), channel.sent.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        FUZZ_CHECK(channel.sent[3 + i] == expected[i], "listed line %zu differs", i);
    }
    FUZZ_CHECK(channel.sent.back() == (expected.empty() ? "               No message found..." : std::string(board::kClosingRow)),
               "the listing's last line");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::EnterScratchFolder();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::uint8_t control = data[0];
    std::string log(reinterpret_cast<const char*>(data + 1), size - 1);
    if (control & 0x80) log = Filler(kReadBuffer - ((control >> 2) & 0x1F)) + log;

    fuzz::ResetBoard();
    fuzz::SetClock({kNow[0], kNow[1], kNow[2], kNow[3], kNow[4], 0, 0});
    fuzz::WriteLog(log);
    const std::vector<std::string> lines = fuzz::ReaderLines(log);

    // The load.
    board::LoadHistory();
    const std::vector<std::string> history = ExpectedHistory(lines);
    for (int entry = 0; entry < board::RecentHistory::kEntries; ++entry) {
        const std::string_view loaded = board::Board().history.Entry(entry).view();
        const std::string_view wanted = entry < static_cast<int>(history.size()) ? std::string_view(history[entry]) : "";
        FUZZ_CHECK(loaded == wanted, "history entry %d differs", entry);
    }

    // Listings since a typed date and since the last login.
    testing_host::FakeHost host;
    testing_host::FakeChannel& channel = host.Channel(0);
    channel.SetUser("FUZZ", "fuzz", 3);
    channel.member.lastLogin = board::ToDateTime({2025, 12, 12, 12, 0, 0, 0});  // key "12/12 12:00"
    static const char* const kReplies[] = {"1/1", "", "12/31 23:59", "6/15"};
    CheckListing(host, kReplies[control & 3], lines);
    CheckListing(host, "", lines);
    FUZZ_CHECK(fuzz::ReadLog() == log, "a listing changed the log");

    // An append at its end.
    const std::string posting = "12/10 09:05 FUZZ\r\nfuzz          >appended\r\n";
    board::Board().queued = {posting};
    FUZZ_CHECK(board::WriteQueuedPostings(), "the log could not be opened for appending");
    FUZZ_CHECK(board::Board().queued.empty(), "a written posting stayed queued");
    const std::string appended = ExpectedAppend(log, posting);
    FUZZ_CHECK(fuzz::ReadLog() == appended, "the appended log differs (%zu bytes, %zu expected)", fuzz::ReadLog().size(),
               appended.size());

    // A listing after the append reads on from where the last one left the log.
    CheckListing(host, kReplies[(control >> 1) & 3], fuzz::ReaderLines(appended));

    // Unless a Ctrl-Z before the end hides it, the posting is now the newest message.
    board::LoadHistory();
    if (appended.find('\x1A') == std::string::npos) {
        FUZZ_CHECK(board::Board().history.Entry(0).view() == "fuzz          >appended", "the appended posting is not the newest");
    }
    return 0;
}
