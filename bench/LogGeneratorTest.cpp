// The benchmarks' log generator: the same log for the same seed and size,
// in the log's format and in Shift-JIS, and a log the board reads as the
// generator meant it.
#include "LogGenerator.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "board/BoardState.h"
#include "board/BoardSteps.h"
#include "board/BoardTexts.h"
#include "board/HistoryLoad.h"
#include "board/Porresku.h"
#include "log/LogFormat.h"
#include "support/FakeHost.h"
#include "support/TempDir.h"

namespace {

using testing_host::ReadFileBytes;
using testing_host::TempDir;
using testing_host::WriteFileBytes;

struct Posting {
    std::string header;
    std::vector<std::string> lines;
    // "MM/DD hh:mm", or "MM/DD" for the first second of a day.
    std::string_view stamp() const { return std::string_view(header).substr(0, header.size() > 8 && header[8] == ':' ? 11 : 5); }
};

// Splits a log into postings: a header, then the message lines (byte 15 is ">").
std::vector<Posting> Postings(const std::string& log) {
    std::vector<Posting> postings;
    std::size_t at = 0;
    while (at < log.size()) {
        const std::size_t end = log.find("\r\n", at);
        if (end == std::string::npos) {
            ADD_FAILURE() << "a line without CR LF at byte " << at;
            break;
        }
        std::string line = log.substr(at, end - at);
        at = end + 2;
        if (line.size() >= 15 && line[14] == '>') {
            if (postings.empty()) ADD_FAILURE() << "a message line before any header: " << line;
            else postings.back().lines.push_back(std::move(line));
        } else {
            postings.push_back({std::move(line), {}});
        }
    }
    return postings;
}

// The message lines from the first posting whose header, in its first 11
// bytes, is not below `sinceKey`: how the listing finds where to begin.
std::vector<std::string> MessageLines(const std::vector<Posting>& postings, std::string_view sinceKey = "") {
    std::vector<std::string> lines;
    bool showing = false;
    for (const Posting& posting : postings) {
        // A header of a day's first second ("MM/DD ID") is stamped 00:00 of that day.
        const std::string_view header = posting.header;
        const std::string_view stamp = header.substr(0, header.size() > 8 && header[8] == ':' ? 11 : 5);
        showing = showing || stamp >= sinceKey;
        if (showing) lines.insert(lines.end(), posting.lines.begin(), posting.lines.end());
    }
    return lines;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
int Number(std::string_view text) { return (text[0] - '0') * 10 + (text[1] - '0'); }
bool IsLead(unsigned char c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }
bool IsTrail(unsigned char c) { return c >= 0x40 && c <= 0xFC && c != 0x7F; }

// True when `text` is Shift-JIS throughout; a line cut at the board's 80
// bytes may end in the first byte of a character.
bool IsShiftJis(std::string_view text, bool mayEndCut) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (IsLead(c)) {
            if (i + 1 == text.size()) return mayEndCut;
            if (!IsTrail(static_cast<unsigned char>(text[++i]))) return false;
        } else if (c < 0x20 || c == 0x7F || c == 0x80 || c > 0xDF) {
            return false;
        }
    }
    return true;
}

struct LogCase {
    std::uint64_t seed;
    std::uint64_t size;
};

// From an empty log to one that spans more than the reader's 128 KiB buffer.
const LogCase kCases[] = {{1, 0}, {1, 40}, {2, 1000}, {7, 20000}, {42, 300000}};
// Logs with postings on every day of the year.
const LogCase kYearCases[] = {{7, 200000}, {42, 300000}};

TEST(LogGeneratorTest, SameSeedAndSizeGiveTheSameLog) {
    TempDir dir;
    for (const LogCase& c : kCases) {
        SCOPED_TRACE("seed " + std::to_string(c.seed) + ", size " + std::to_string(c.size));
        const std::string log = bench::GenerateLog(c.seed, c.size);
        EXPECT_EQ(bench::GenerateLog(c.seed, c.size), log);
        ASSERT_TRUE(bench::WriteLog(c.seed, c.size, "written.log"));
        EXPECT_EQ(ReadFileBytes("written.log"), log);
    }
}

TEST(LogGeneratorTest, OtherSeedsGiveOtherLogs) {
    EXPECT_NE(bench::GenerateLog(1, 20000), bench::GenerateLog(2, 20000));
    EXPECT_NE(bench::GenerateLog(7, 20000).substr(0, 100), bench::GenerateLog(8, 20000).substr(0, 100));
}

TEST(LogGeneratorTest, LogFillsItsSizeWithWholePostings) {
    // A posting is at most a 22-byte header and two 82-byte message lines.
    constexpr std::uint64_t kLongestPosting = 22 + 2 * 82;
    for (const LogCase& c : kCases) {
        SCOPED_TRACE("seed " + std::to_string(c.seed) + ", size " + std::to_string(c.size));
        const std::string log = bench::GenerateLog(c.seed, c.size);
        EXPECT_LE(log.size(), c.size);
        EXPECT_LT(c.size - log.size(), kLongestPosting);
        if (!log.empty()) {
            EXPECT_EQ(log.substr(log.size() - 2), "\r\n");
        }
    }
}

TEST(LogGeneratorTest, EveryPostingHasTheLogFormat) {
    constexpr int kMonthDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    for (const LogCase& c : kCases) {
        SCOPED_TRACE("seed " + std::to_string(c.seed) + ", size " + std::to_string(c.size));
        std::string previousStamp;
        for (const Posting& posting : Postings(bench::GenerateLog(c.seed, c.size))) {
            SCOPED_TRACE(posting.header);
            const std::string& h = posting.header;
            // "MM/DD hh:mm USERID", or "MM/DD USERID" in the first second of a day.
            const bool shortForm = h.size() > 5 && h[5] == ' ' && !(h.size() > 8 && h[8] == ':');
            const std::size_t stampSize = shortForm ? 5 : 11;
            ASSERT_GT(h.size(), stampSize + 1);
            ASSERT_TRUE(IsDigit(h[0]) && IsDigit(h[1]) && h[2] == '/' && IsDigit(h[3]) && IsDigit(h[4]));
            const int month = Number(h.substr(0, 2));
            ASSERT_TRUE(month >= 1 && month <= 12);
            EXPECT_TRUE(Number(h.substr(3, 2)) >= 1 && Number(h.substr(3, 2)) <= kMonthDays[month - 1]);
            if (!shortForm) {
                ASSERT_TRUE(h[5] == ' ' && IsDigit(h[6]) && IsDigit(h[7]) && h[8] == ':' && IsDigit(h[9]) && IsDigit(h[10]));
                EXPECT_LT(Number(h.substr(6, 2)), 24);
                EXPECT_LT(Number(h.substr(9, 2)), 60);
            }
            EXPECT_EQ(h[stampSize], ' ');
            const std::string userId = h.substr(stampSize + 1);
            EXPECT_TRUE(userId.size() >= 1 && userId.size() <= 8) << userId;
            for (char ch : userId) EXPECT_TRUE((ch >= 'A' && ch <= 'Z') || IsDigit(ch)) << userId;
            // Stamps carry no year: within one log they never go back.
            EXPECT_GE(std::string(posting.stamp()), previousStamp);
            previousStamp = posting.stamp();

            ASSERT_TRUE(posting.lines.size() == 1 || posting.lines.size() == 2);
            for (const std::string& line : posting.lines) {
                EXPECT_LE(line.size(), 80u);
                EXPECT_GT(line.size(), 15u);
                EXPECT_EQ(line.substr(0, 14), posting.lines[0].substr(0, 14)) << "one handle per posting";
                EXPECT_TRUE(IsShiftJis(std::string_view(line).substr(15), line.size() == 80)) << line;
                EXPECT_EQ(line.find_first_of(std::string("\r\n\x1A", 3)), std::string::npos);
            }
        }
    }
}

TEST(LogGeneratorTest, YearLogHoldsWhatCallersLeave) {
    for (const LogCase& c : kYearCases) {
        SCOPED_TRACE("seed " + std::to_string(c.seed) + ", size " + std::to_string(c.size));
        const std::string log = bench::GenerateLog(c.seed, c.size);
        const std::vector<Posting> postings = Postings(log);
        ASSERT_FALSE(postings.empty());
        EXPECT_EQ(postings.front().stamp().substr(0, 5), "01/01");
        EXPECT_EQ(postings.back().stamp().substr(0, 5), "12/31");
        int twoLines = 0, joined = 0, shortStamps = 0, fullLines = 0;
        for (const Posting& posting : postings) {
            twoLines += posting.lines.size() == 2;
            joined += posting.lines[0].find("／") != std::string::npos;
            shortStamps += posting.stamp().size() == 5;
            for (const std::string& line : posting.lines) fullLines += line.size() == 80;
        }
        EXPECT_GT(twoLines, 0);
        EXPECT_GT(joined, 0);
        EXPECT_GT(shortStamps, 0);
        EXPECT_GT(fullLines, 0) << "texts cut at the line's 80 bytes";
        EXPECT_LT(twoLines, static_cast<int>(postings.size()) / 2) << "most postings are one line";
        EXPECT_NE(log.find("こんにちは"), std::string::npos) << "Japanese as Shift-JIS";
        EXPECT_NE(log.find("ｵﾔｽﾐ"), std::string::npos) << "half-width kana";
    }
}

// ---- read by the board ---------------------------------------------------------

class GeneratedLogOnBoardTest : public ::testing::Test {
protected:
    GeneratedLogOnBoardTest() {
        Reset();
        // The generated stamps run to December 31: the board's clock reads
        // the end of that year, so they are all of this year.
        platform::Active().localTime = [] { return platform::LocalTime{2026, 12, 31, 23, 59, 59, 0}; };
    }
    ~GeneratedLogOnBoardTest() override { Reset(); }
    static void Reset() {
        platform::Active() = platform::SystemCalls();
        board::Board().history.Clear();
        board::Board().busy = false;
        board::Board().queued.clear();
    }
    TempDir dir;
};

TEST_F(GeneratedLogOnBoardTest, LoadKeepsTheLastTenMessageLines) {
    for (const LogCase& c : kCases) {
        SCOPED_TRACE("seed " + std::to_string(c.seed) + ", size " + std::to_string(c.size));
        const std::string log = bench::GenerateLog(c.seed, c.size);
        WriteFileBytes(messagelog::kLogName, log);
        board::LoadHistory();
        const std::vector<std::string> lines = MessageLines(Postings(log));
        for (int entry = 0; entry < board::RecentHistory::kEntries; ++entry) {
            const std::string expected = entry < static_cast<int>(lines.size()) ? lines[lines.size() - 1 - entry] : "";
            EXPECT_EQ(board::Board().history.Entry(entry).view(), expected) << "entry " << entry;
        }
    }
}

TEST_F(GeneratedLogOnBoardTest, ListingShowsThePostingsSinceTheDate) {
    struct ListCase {
        const char* reply;
        const char* key;
    };
    const ListCase kLists[] = {{"01/01", "01/01"}, {"12/31", "12/31"}, {"7/1 12:00", "07/01 12:00"}};
    for (const LogCase& c : kYearCases) {
        const std::string log = bench::GenerateLog(c.seed, c.size);
        WriteFileBytes(messagelog::kLogName, log);
        const std::vector<Posting> postings = Postings(log);
        for (const ListCase& list : kLists) {
            SCOPED_TRACE("seed " + std::to_string(c.seed) + ", since " + list.reply);
            testing_host::FakeHost host;
            host.Channel(1).SetUser("SYSOP", "ぽれすく", 5);
            host.Channel(1).replies.push_back(list.reply);
            const Porresku caller(1, host.CreationRecord(1));
            board::ListSince(caller);

            const std::vector<std::string> expected = MessageLines(postings, list.key);
            ASSERT_FALSE(expected.empty());
            const std::vector<std::string>& sent = host.Channel(1).sent;
            // A blank line, the title and the heading come first; the closing row last.
            ASSERT_EQ(sent.size(), expected.size() + 4);
            EXPECT_EQ(sent[1].substr(0, std::string_view(list.key).size()), list.key);
            EXPECT_EQ(std::vector<std::string>(sent.begin() + 3, sent.end() - 1), expected);
            EXPECT_EQ(sent.back(), board::kClosingRow);
        }
    }
}

}  // namespace
