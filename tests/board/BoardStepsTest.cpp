// The three caller-facing steps, driven through channel objects on a fake
// host with a fixed clock, in a fresh working folder.
#include "board/BoardState.h"
#include "board/BoardSteps.h"
#include "board/DateTime.h"
#include "board/WaitingPostings.h"
#include "common/BoardError.h"
#include "log/LogError.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "board/Porresku.h"
#include "support/BoardSandbox.h"
#include "support/ExpectedTexts.h"
#include "support/FakeHost.h"
#include "support/TempDir.h"

namespace {

using testing_host::FakeHost;
using testing_host::ReadFileBytes;
using testing_host::WriteFileBytes;

using namespace expected;
using testing_host::BoardSandbox;

class BoardStepsTest : public ::testing::Test {
protected:
    static void ResetBoard() { BoardSandbox::ResetBoard(); }
    static Lines History() { return BoardSandbox::HistoryLines(); }

    // A caller on `channel`, logged in as id/handle/level.
    Porresku& LogOn(int channel, const std::string& id, const std::string& handle, int level) {
        host.Channel(channel).SetUser(id, handle, level);
        objects.push_back(std::make_unique<Porresku>(channel, host.CreationRecord(channel)));
        return *objects.back();
    }

    testing_host::FakeChannel& Host(int channel) { return host.Channel(channel); }

    BoardSandbox sandbox;
    FakeHost host;
    std::vector<std::unique_ptr<Porresku>> objects;
};

// ---- recent-message display --------------------------------------------------

TEST_F(BoardStepsTest, DisplayWithEmptyHistoryShowsOnlyTheFrame) {
    Porresku& caller = LogOn(1, "GUEST", "guest", 2);
    board::ShowRecent(caller);
    EXPECT_EQ(Host(1).sent, (Lines{"", kRecentTitle, kHeading, kClosing, ""}));
}

TEST_F(BoardStepsTest, DisplayShowsTheHistoryOldestFirst) {
    board::Board().history.Push("first");
    board::Board().history.Push("second");
    board::Board().history.Push("third");
    Porresku& caller = LogOn(1, "GUEST", "guest", 2);
    board::ShowRecent(caller);
    EXPECT_EQ(Host(1).sent, (Lines{"", kRecentTitle, kHeading, "first", "second", "third", kClosing, ""}));
}

TEST_F(BoardStepsTest, DisplaySendsNothingWhenTheChannelStops) {
    board::Board().history.Push("first");
    Porresku& caller = LogOn(1, "GUEST", "guest", 2);
    Host(1).stopAnswers = {1};
    board::ShowRecent(caller);
    EXPECT_TRUE(Host(1).sent.empty());
}

TEST_F(BoardStepsTest, DisplayIsNotMovedByAPostingWhileALineIsOut) {
    for (const char* line : {"a", "b", "c"}) board::Board().history.Push(line);
    Porresku& viewer = LogOn(1, "GUEST", "guest", 2);
    Porresku& poster = LogOn(2, "SYSOP", "sysop", 5);
    Host(2).replies = {"meanwhile", ""};
    Host(1).duringSend = [&](int send) {
        if (send == 4) board::PostMessage(poster);  // while "a" is out
    };
    board::ShowRecent(viewer);
    EXPECT_EQ(Host(1).sent, (Lines{"", kRecentTitle, kHeading, "a", "b", "c", kClosing, ""}));
    EXPECT_EQ(History().front(), Prefix("sysop") + "meanwhile");
}

// ---- goodbye: the level test -------------------------------------------------

TEST_F(BoardStepsTest, GoodbyeInvitesOnlyLevelThreeAndAbove) {
    struct Case {
        int level;
        bool invited;
    };
    const Case cases[] = {{-1, false}, {0, false}, {2, false}, {3, true}, {5, true}, {0x7FFFFFFF, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.level);
        Porresku& caller = LogOn(10 + c.level % 50, "U", "u", c.level);
        caller.Goodbye();
        EXPECT_EQ(Host(caller.channel()).prompts.size(), c.invited ? 1u : 0u);
    }
}

TEST_F(BoardStepsTest, StoppedGoodbyeSkipsTheDisplayButStillInvites) {
    Porresku& caller = LogOn(1, "SYSOP", "sysop", 3);
    Host(1).stopAnswers = {1};
    caller.Goodbye();
    EXPECT_EQ(Host(1).sent, (Lines{"", kInvitation, kRule}));
    EXPECT_EQ(Host(1).prompts, Lines{Prefix("sysop")});
}

// ---- posting -----------------------------------------------------------------

TEST_F(BoardStepsTest, PostingOfOneLineGoesToHistoryAndLog) {
    Porresku& caller = LogOn(3, "SYSOP", "ぽれ", 5);
    Host(3).replies = {"こんにちは", ""};
    board::PostMessage(caller);
    EXPECT_EQ(Host(3).sent, (Lines{"", kInvitation, kRule, kRule}));
    EXPECT_EQ(Host(3).prompts, (Lines{Prefix("ぽれ"), Prefix("ぽれ")}));
    EXPECT_EQ(History(), Lines{Prefix("ぽれ") + "こんにちは"});
    EXPECT_EQ(ReadFileBytes("porresku.log"), "12/10 09:05 SYSOP\r\n" + Prefix("ぽれ") + "こんにちは\r\n");
    EXPECT_FALSE(board::Board().busy);
}

TEST_F(BoardStepsTest, PostingJoinsOrKeepsTwoLines) {
    struct Case {
        std::string name;
        std::string first, second;
        Lines logged;  // message texts behind the prefix
    };
    const std::string p = Prefix("sysop");
    const Case cases[] = {
        {"62 bytes together are joined", std::string(30, 'a'), std::string(32, 'b'),
         {std::string(30, 'a') + "／" + std::string(32, 'b')}},
        {"63 bytes together stay two lines", std::string(31, 'a'), std::string(32, 'b'),
         {std::string(31, 'a'), std::string(32, 'b')}},
        {"a joined line is cut to 80", std::string(40, 'a'), std::string(22, 'b'),
         {(std::string(40, 'a') + "／" + std::string(22, 'b')).substr(0, 65)}},
        {"text beyond 65 bytes is cut", std::string(80, 'x'), "", {std::string(65, 'x')}},
        {"second line of 80 bytes", "short", std::string(80, 'y'), {"short", std::string(65, 'y')}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ResetBoard();
        std::remove("porresku.log");
        Porresku& caller = LogOn(3, "SYSOP", "sysop", 5);
        Host(3).replies = {c.first, c.second};
        board::PostMessage(caller);
        std::string expected = "12/10 09:05 SYSOP\r\n";
        for (const auto& text : c.logged) expected += p + text + "\r\n";
        EXPECT_EQ(ReadFileBytes("porresku.log"), expected);
        Lines newestFirst;
        for (auto it = c.logged.rbegin(); it != c.logged.rend(); ++it) newestFirst.push_back(p + *it);
        EXPECT_EQ(History(), newestFirst);
    }
}

TEST_F(BoardStepsTest, AbortWordsAndAnEmptyFirstLineStoreNothing) {
    struct Case {
        Lines replies;
        bool stored;
    };
    const Case cases[] = {
        {{"@@"}, false},       {{"//"}, false},      {{""}, false},
        {{"hello", "@@"}, false}, {{"hello", "//"}, false},
        {{"@@ "}, true},       {{" //"}, true},      {{"hello", "@@x"}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.replies.front() + "|" + c.replies.back());
        ResetBoard();
        std::remove("porresku.log");
        Porresku& caller = LogOn(3, "SYSOP", "sysop", 5);
        Host(3).replies = {c.replies.begin(), c.replies.end()};
        board::PostMessage(caller);
        EXPECT_EQ(!History().empty(), c.stored);
        EXPECT_EQ(ReadFileBytes("porresku.log").empty(), !c.stored);
    }
}

TEST_F(BoardStepsTest, TypedLineBreaksAndCtrlZBecomeBlanks) {
    Porresku& caller = LogOn(3, "SYSOP", "sysop", 5);
    Host(3).replies = {"a\rb\nc\x1A" "d", "12/10 09:05 FORGED"};
    board::PostMessage(caller);
    const std::string p = Prefix("sysop");
    EXPECT_EQ(ReadFileBytes("porresku.log"),
              "12/10 09:05 SYSOP\r\n" + p + "a b c d／12/10 09:05 FORGED\r\n");
}

TEST_F(BoardStepsTest, PostingCompletesWhenTheChannelStopsAfterTheInput) {
    Porresku& caller = LogOn(3, "SYSOP", "sysop", 5);
    Host(3).replies = {std::string(40, 'a'), std::string(40, 'b')};
    Host(3).stopAfterwards = 1;
    board::PostMessage(caller);
    EXPECT_EQ(History().size(), 2u);
    EXPECT_EQ(ReadFileBytes("porresku.log"), "12/10 09:05 SYSOP\r\n" + Prefix("sysop") + std::string(40, 'a') +
                                                 "\r\n" + Prefix("sysop") + std::string(40, 'b') + "\r\n");
}

TEST_F(BoardStepsTest, HeaderOfAPostingInTheFirstSecondOfADayHasTheShortKey) {
    BoardSandbox::now = {2026, 1, 2, 0, 0, 0, 999};
    Porresku& caller = LogOn(3, "SYSOP", "sysop", 5);
    Host(3).replies = {"new year", ""};
    board::PostMessage(caller);
    EXPECT_EQ(ReadFileBytes("porresku.log"), "01/02 SYSOP\r\n" + Prefix("sysop") + "new year\r\n");
}

TEST_F(BoardStepsTest, PostingWhileBusyIsQueuedAndWrittenByTheNextPosting) {
    Porresku& first = LogOn(3, "FIRST", "first", 5);
    Porresku& second = LogOn(4, "SECOND", "second", 5);
    board::Board().busy = true;  // a listing on another channel
    Host(3).replies = {"queued", ""};
    board::PostMessage(first);
    EXPECT_EQ(Host(3).sent.back(), kBusy);
    EXPECT_TRUE(board::Board().busy) << "a posting never clears a flag it did not set";
    EXPECT_FALSE(std::ifstream("porresku.log").good()) << "the log is not opened while busy";

    board::Board().busy = false;
    BoardSandbox::now.minute = 6;
    Host(4).replies = {"next", ""};
    board::PostMessage(second);
    EXPECT_EQ(ReadFileBytes("porresku.log"), "12/10 09:05 FIRST\r\n" + Prefix("first") + "queued\r\n" +
                                                 "12/10 09:06 SECOND\r\n" + Prefix("second") + "next\r\n");
    EXPECT_TRUE(board::Board().queued.empty());
}

TEST_F(BoardStepsTest, PostingThatCannotOpenTheLogKeepsItForLater) {
    std::filesystem::create_directory("porresku.log");  // a folder in the log's place
    Porresku& caller = LogOn(3, "SYSOP", "sysop", 5);
    Host(3).replies = {"kept", ""};
    board::PostMessage(caller);
    EXPECT_EQ(board::Board().queued.size(), 1u);
    EXPECT_FALSE(board::Board().busy);

    std::filesystem::remove("porresku.log");
    Host(3).replies = {"later", ""};
    board::PostMessage(caller);
    EXPECT_EQ(ReadFileBytes("porresku.log"), "12/10 09:05 SYSOP\r\n" + Prefix("sysop") + "kept\r\n" +
                                                 "12/10 09:05 SYSOP\r\n" + Prefix("sysop") + "later\r\n");
}

TEST_F(BoardStepsTest, PostingInsideAnotherPostingsBusyNoticeKeepsOrder) {
    Porresku& first = LogOn(1, "FIRST", "first", 5);
    Porresku& second = LogOn(2, "SECOND", "second", 5);
    board::Board().busy = true;
    Host(1).replies = {"one", ""};
    Host(2).replies = {"two", ""};
    Host(1).duringSend = [&](int) {
        if (Host(1).sent.back() == kBusy) board::PostMessage(second);
    };
    board::PostMessage(first);
    EXPECT_EQ(History(), (Lines{Prefix("second") + "two", Prefix("first") + "one"}));
    board::Board().busy = false;
    ASSERT_TRUE(board::WriteQueuedPostings());
    EXPECT_EQ(ReadFileBytes("porresku.log"), "12/10 09:05 FIRST\r\n" + Prefix("first") + "one\r\n" +
                                                 "12/10 09:05 SECOND\r\n" + Prefix("second") + "two\r\n");
}

// ---- listing -----------------------------------------------------------------

// A log of postings: each a (stamp, id, lines) triple.
std::string LogOf(const std::vector<std::pair<std::string, Lines>>& postings) {
    std::string bytes;
    for (const auto& [header, lines] : postings) {
        bytes += header + "\r\n";
        for (const auto& line : lines) bytes += Prefix("h") + line + "\r\n";
    }
    return bytes;
}

class ListingTest : public BoardStepsTest {
protected:
    Lines List(const std::string& reply) {
        Porresku& caller = LogOn(5, "READER", "reader", 2);
        Host(5).sent.clear();
        Host(5).replies = {reply};
        caller.MenuCall();
        EXPECT_FALSE(board::Board().busy);
        return Host(5).sent;
    }
    static Lines Shown(const Lines& sent) {
        // Past the empty line, the title and the heading row.
        return sent.size() > 3 ? Lines(sent.begin() + 3, sent.end()) : Lines{};
    }
};

const std::string kFourPostings = LogOf({
    {"11/17 10:00 A", {"a1"}},
    {"11/18 09:00 B", {"b1", "b2"}},
    {"11/18 12:00 C", {"c1"}},
    {"11/19 08:00 D", {"d1"}},
});

TEST_F(ListingTest, ShowsTheMessagesSinceATypedDate) {
    struct Case {
        std::string reply;
        std::string key;
        Lines shown;
    };
    const std::string p = Prefix("h");
    const Case cases[] = {
        {"11/18", "11/18", {p + "b1", p + "b2", p + "c1", p + "d1", kClosing}},
        {"2026/11/18 10:00", "11/18 10:00", {p + "c1", p + "d1", kClosing}},
        {"11/18 12:00", "11/18 12:00", {p + "c1", p + "d1", kClosing}},
        {"11/19 9", "11/19 09:00", {kNoMessage}},
        {"11/17", "11/17", {p + "a1", p + "b1", p + "b2", p + "c1", p + "d1", kClosing}},
        {"9", "12/10 09:00", {kNoMessage}},  // a time alone: today, 12/10
        {"1/1", "01/01", {p + "a1", p + "b1", p + "b2", p + "c1", p + "d1", kClosing}},
    };
    WriteFileBytes("porresku.log", kFourPostings);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reply);
        const Lines sent = List(c.reply);
        ASSERT_GE(sent.size(), 3u);
        EXPECT_EQ(sent[0], "");
        EXPECT_EQ(sent[1], c.key + " 以降のぽれすく・・・");
        EXPECT_EQ(sent[2], kHeading);
        EXPECT_EQ(Shown(sent), c.shown);
    }
}

TEST_F(ListingTest, FirstPostingOfTheLogCanBeListed) {
    WriteFileBytes("porresku.log", LogOf({{"11/18 09:00 ONLY", {"only"}}}));
    EXPECT_EQ(Shown(List("11/18")), (Lines{Prefix("h") + "only", kClosing}));
}

TEST_F(ListingTest, HeaderThatEndsTheSeekAsLastLineShowsNothing) {
    WriteFileBytes("porresku.log", LogOf({{"11/17 10:00 A", {"a1"}}}) + "11/18 10:00 B\r\n");
    EXPECT_EQ(Shown(List("11/18")), Lines{kNoMessage});
}

TEST_F(ListingTest, PostingsOfTheNewYearComeAfterThoseOfDecember) {
    BoardSandbox::now = {2027, 1, 3, 10, 0, 0, 0};
    WriteFileBytes("porresku.log", LogOf({{"12/30 22:00 A", {"old"}}, {"01/02 10:00 B", {"new year"}}}));
    Host(5).member.lastLogin = board::ToDateTime({2026, 12, 30, 23, 0, 0, 0});
    const Lines sent = List("");
    EXPECT_EQ(sent[1], "12/30 23:00 以降のぽれすく・・・");
    EXPECT_EQ(Shown(sent), (Lines{Prefix("h") + "new year", kClosing}));
}

TEST_F(ListingTest, MessagesAfterTheStoppingHeaderAreAllShown) {
    WriteFileBytes("porresku.log", LogOf({{"11/17 10:00 A", {"a"}}, {"11/20 10:00 B", {"b"}},
                                          {"11/18 12:00 C", {"c"}}, {"\r\nnot a message", {}}}));
    EXPECT_EQ(Shown(List("11/19")), (Lines{Prefix("h") + "b", Prefix("h") + "c", kClosing}));
}

// ---- listing across years ------------------------------------------------------

// A log of postings stamped "MM/DD hh:mm" (or "MM/DD ID" in a day's first
// second); each message names the posting's real date, the year the board
// must tell from the log's order.
struct Dated {
    std::string header;
    std::string message;
};

std::string LogOfDated(const std::vector<Dated>& postings) {
    std::string bytes;
    for (const Dated& posting : postings) {
        bytes += posting.header + "\r\n";
        if (!posting.message.empty()) bytes += Prefix("h") + posting.message + "\r\n";
    }
    return bytes;
}

struct YearCase {
    std::string what;
    platform::LocalTime now;
    std::vector<Dated> log;
    std::string reply;           // "" for the previous login
    board::CivilTime lastLogin;  // with a bare Return
    std::string key;
    Lines shown;                 // message texts; none for "No message found..."
};

// 2024 (a leap year), 2025 and 2026, read on 2026-12-10 09:05.
const std::vector<Dated> kThreeYears = {
    {"02/29 10:00 A", "2024-02-29"},
    {"11/18 10:00 B", "2024-11-18"},
    {"01/05 12:00 C", "2025-01-05"},
    {"06/15 12:00 D", "2025-06-15"},
    {"11/18 E", "2025-11-18 00:00"},
    {"11/18 10:00 F", "2025-11-18"},
    {"01/02 09:00 G", "2026-01-02"},
    {"11/18 10:00 H", "2026-11-18"},
    {"12/09 20:00 I", "2026-12-09"},
    {"12/10 08:30 J", "2026-12-10"},
};
// Read on 2027-01-03 10:00: the turn of the year.
const std::vector<Dated> kNewYearTurn = {
    {"12/30 22:00 A", "2026-12-30"},
    {"12/31 23:59 B", "2026-12-31"},
    {"01/01 C", "2027-01-01 00:00"},
    {"01/02 10:00 D", "2027-01-02"},
    {"01/03 09:00 E", "2027-01-03"},
};
// All of 2026: read as today's listing reads it.
const std::vector<Dated> kOneYear = {
    {"11/17 10:00 A", "2026-11-17"},
    {"11/18 SYSOP", "2026-11-18 00:00"},
    {"11/18 10:00 B", "2026-11-18"},
    {"12/09 23:00 C", "2026-12-09"},
};

constexpr platform::LocalTime kDecember10{2026, 12, 10, 9, 5, 0, 0};
constexpr platform::LocalTime kJanuary3{2027, 1, 3, 10, 0, 0, 0};
const board::CivilTime kNoLogin{};

const YearCase kYearCases[] = {
    // Three years.
    {"a date of the first year", kDecember10, kThreeYears, "2024/11/18", kNoLogin, "11/18",
     {"2024-11-18", "2025-01-05", "2025-06-15", "2025-11-18 00:00", "2025-11-18", "2026-01-02", "2026-11-18",
      "2026-12-09", "2026-12-10"}},
    {"February 29 of a leap year", kDecember10, kThreeYears, "2024/2/29 10:00", kNoLogin, "02/29 10:00",
     {"2024-02-29", "2024-11-18", "2025-01-05", "2025-06-15", "2025-11-18 00:00", "2025-11-18", "2026-01-02",
      "2026-11-18", "2026-12-09", "2026-12-10"}},
    {"the day after February 29", kDecember10, kThreeYears, "2024/3/1", kNoLogin, "03/01",
     {"2024-11-18", "2025-01-05", "2025-06-15", "2025-11-18 00:00", "2025-11-18", "2026-01-02", "2026-11-18",
      "2026-12-09", "2026-12-10"}},
    {"a date of the middle year, at midnight", kDecember10, kThreeYears, "2025/11/18", kNoLogin, "11/18",
     {"2025-11-18 00:00", "2025-11-18", "2026-01-02", "2026-11-18", "2026-12-09", "2026-12-10"}},
    {"after a midnight header's day began", kDecember10, kThreeYears, "2025/11/18 10:00", kNoLogin, "11/18 10:00",
     {"2025-11-18", "2026-01-02", "2026-11-18", "2026-12-09", "2026-12-10"}},
    {"a date past the middle year's last posting", kDecember10, kThreeYears, "2025/12/1", kNoLogin, "12/01",
     {"2026-01-02", "2026-11-18", "2026-12-09", "2026-12-10"}},
    {"month and day: this year", kDecember10, kThreeYears, "11/18", kNoLogin, "11/18",
     {"2026-11-18", "2026-12-09", "2026-12-10"}},
    {"before the log's first year", kDecember10, kThreeYears, "2023/12/31 23:59", kNoLogin, "12/31 23:59",
     {"2024-02-29", "2024-11-18", "2025-01-05", "2025-06-15", "2025-11-18 00:00", "2025-11-18", "2026-01-02",
      "2026-11-18", "2026-12-09", "2026-12-10"}},
    {"after the last posting", kDecember10, kThreeYears, "12/10 8:31", kNoLogin, "12/10 08:31", {}},
    {"a later year", kDecember10, kThreeYears, "2027/1/1", kNoLogin, "01/01", {}},
    {"since the previous login yesterday", kDecember10, kThreeYears, "", {2026, 12, 9, 21, 0, 0, 0}, "12/09 21:00",
     {"2026-12-10"}},
    {"since the previous login a year ago", kDecember10, kThreeYears, "", {2025, 12, 9, 21, 0, 0, 0}, "12/09 21:00",
     {"2026-01-02", "2026-11-18", "2026-12-09", "2026-12-10"}},
    {"a time before now: today", kDecember10, kThreeYears, "8:00", kNoLogin, "12/10 08:00", {"2026-12-10"}},
    {"a time after now: yesterday", kDecember10, kThreeYears, "20:00", kNoLogin, "12/09 20:00",
     {"2026-12-09", "2026-12-10"}},
    {"a time after now, past yesterday's posting", kDecember10, kThreeYears, "9 PM", kNoLogin, "12/09 21:00",
     {"2026-12-10"}},
    {"now's minute itself: today", kDecember10, kThreeYears, "9:05", kNoLogin, "12/10 09:05", {}},
    {"midnight alone: today's", kDecember10, kThreeYears, "0:00", kNoLogin, "12/10", {"2026-12-10"}},

    // The turn of the year.
    {"since a login before the new year", kJanuary3, kNewYearTurn, "", {2026, 12, 30, 23, 0, 0, 0}, "12/30 23:00",
     {"2026-12-31", "2027-01-01 00:00", "2027-01-02", "2027-01-03"}},
    {"a December date of last year", kJanuary3, kNewYearTurn, "2026/12/31", kNoLogin, "12/31",
     {"2026-12-31", "2027-01-01 00:00", "2027-01-02", "2027-01-03"}},
    {"month and day of December: this year's, to come", kJanuary3, kNewYearTurn, "12/31", kNoLogin, "12/31", {}},
    {"January 1 of this year", kJanuary3, kNewYearTurn, "1/1", kNoLogin, "01/01",
     {"2027-01-01 00:00", "2027-01-02", "2027-01-03"}},
    {"after the midnight header", kJanuary3, kNewYearTurn, "1/1 0:01", kNoLogin, "01/01 00:01",
     {"2027-01-02", "2027-01-03"}},
    {"a time after now on January 3: January 2", kJanuary3, kNewYearTurn, "23:00", kNoLogin, "01/02 23:00",
     {"2027-01-03"}},
    {"a time before now on January 3", kJanuary3, kNewYearTurn, "9:30", kNoLogin, "01/03 09:30", {}},
    {"nothing posted yet this year", {2027, 1, 1, 0, 30, 0, 0}, {kNewYearTurn.begin(), kNewYearTurn.begin() + 2},
     "", {2026, 12, 31, 20, 0, 0, 0}, "12/31 20:00", {"2026-12-31"}},
    {"yesterday's time on January 1 is December 31", {2027, 1, 1, 0, 30, 0, 0},
     {kNewYearTurn.begin(), kNewYearTurn.begin() + 2}, "23:00", kNoLogin, "12/31 23:00", {"2026-12-31"}},

    // One year: as the listing always read it, but for the midnight header.
    {"one year, a typed date", kDecember10, kOneYear, "11/17", kNoLogin, "11/17",
     {"2026-11-17", "2026-11-18 00:00", "2026-11-18", "2026-12-09"}},
    {"one year, the midnight key", kDecember10, kOneYear, "11/18", kNoLogin, "11/18",
     {"2026-11-18 00:00", "2026-11-18", "2026-12-09"}},
    {"one year, not from the midnight header", kDecember10, kOneYear, "11/18 10:00", kNoLogin, "11/18 10:00",
     {"2026-11-18", "2026-12-09"}},
    {"one year, since the previous login", kDecember10, kOneYear, "", {2026, 11, 18, 9, 59, 0, 0}, "11/18 09:59",
     {"2026-11-18", "2026-12-09"}},
    {"one year, a date with a two-digit year", kDecember10, kOneYear, "26/12/9 22:00", kNoLogin, "12/09 22:00",
     {"2026-12-09"}},

    // The clock set back a few minutes: no new year.
    {"a stamp a few minutes below the one before", kDecember10,
     {{"12/10 08:00 A", "2026-12-10 08:00"}, {"12/10 07:57 B", "2026-12-10 07:57"}, {"12/10 08:02 C", "2026-12-10 08:02"}},
     "8:00", kNoLogin, "12/10 08:00", {"2026-12-10 08:00", "2026-12-10 07:57", "2026-12-10 08:02"}},
    {"the last stamp a few minutes ahead of now", kDecember10,
     {{"12/09 20:00 A", "2026-12-09"}, {"12/10 09:07 B", "2026-12-10 09:07"}}, "9:00", kNoLogin, "12/10 09:00",
     {"2026-12-10 09:07"}},
    {"a stamp three days below the one before", kDecember10,
     {{"12/04 10:00 A", "2026-12-04"}, {"12/07 10:00 B", "2026-12-07"}, {"12/04 10:00 C", "2026-12-04 again"}},
     "2026/12/5", kNoLogin, "12/05", {"2026-12-07", "2026-12-04 again"}},
    {"a stamp more than three days below: a new year", kDecember10,
     {{"12/04 10:00 A", "2025-12-04"}, {"12/07 10:01 B", "2025-12-07"}, {"12/04 10:00 C", "2026-12-04"}},
     "2026/12/5", kNoLogin, "12/05", {}},
};

class ListingAcrossYearsTest : public ListingTest, public ::testing::WithParamInterface<YearCase> {};

TEST_P(ListingAcrossYearsTest, ListsThePostingsSinceTheMoment) {
    const YearCase& c = GetParam();
    BoardSandbox::now = c.now;
    WriteFileBytes("porresku.log", LogOfDated(c.log));
    Host(5).member.lastLogin = board::ToDateTime(c.lastLogin);
    const Lines sent = List(c.reply);
    ASSERT_GE(sent.size(), 3u);
    EXPECT_EQ(sent[1], ListTitle(c.key));
    Lines expected;
    for (const std::string& text : c.shown) expected.push_back(Prefix("h") + text);
    expected.push_back(c.shown.empty() ? kNoMessage : kClosing);
    EXPECT_EQ(Shown(sent), expected);
}

INSTANTIATE_TEST_SUITE_P(Tables, ListingAcrossYearsTest, ::testing::ValuesIn(kYearCases),
                         [](const ::testing::TestParamInfo<YearCase>& info) {
                             std::string name;
                             for (char c : info.param.what) name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
                             return std::to_string(info.index) + "_" + name;
                         });

// A listing keeps where the log's years begin and reads on from the log's
// last line the next time, when the log still holds the lines it noted.
TEST_F(ListingTest, LaterListingsReadOnWhereTheLogGrewAndNoticeALogMadeAnew) {
    auto texts = [](const Lines& messages) {
        Lines lines;
        for (const std::string& text : messages) lines.push_back(Prefix("h") + text);
        lines.push_back(messages.empty() ? kNoMessage : kClosing);
        return lines;
    };
    const std::string threeYears = LogOfDated(kThreeYears);
    WriteFileBytes("porresku.log", threeYears);
    EXPECT_EQ(Shown(List("2025/11/18 10:00")),
              texts({"2025-11-18", "2026-01-02", "2026-11-18", "2026-12-09", "2026-12-10"}));

    SCOPED_TRACE("a posting appended");
    const std::string grown = threeYears + LogOfDated({{"12/10 09:04 K", "2026-12-10 09:04"}});
    WriteFileBytes("porresku.log", grown);
    EXPECT_EQ(Shown(List("11/18")), texts({"2026-11-18", "2026-12-09", "2026-12-10", "2026-12-10 09:04"}));
    EXPECT_EQ(Shown(List("2025/6/15")), texts({"2025-06-15", "2025-11-18 00:00", "2025-11-18", "2026-01-02",
                                               "2026-11-18", "2026-12-09", "2026-12-10", "2026-12-10 09:04"}));
    EXPECT_EQ(Shown(List("2024/1/1")).size(), 12u);

    SCOPED_TRACE("a new year appended");
    BoardSandbox::now = {2027, 1, 2, 12, 0, 0, 0};
    WriteFileBytes("porresku.log", grown + LogOfDated({{"01/02 10:00 L", "2027-01-02"}}));
    EXPECT_EQ(Shown(List("2026/12/10 9:00")), texts({"2026-12-10 09:04", "2027-01-02"}));
    EXPECT_EQ(Shown(List("2025/11/18 10:00")), texts({"2025-11-18", "2026-01-02", "2026-11-18", "2026-12-09",
                                                      "2026-12-10", "2026-12-10 09:04", "2027-01-02"}));

    SCOPED_TRACE("a posting taken out of the middle");
    BoardSandbox::now = kDecember10;
    std::vector<Dated> shorter = kThreeYears;
    shorter.erase(shorter.begin() + 3);  // 2025-06-15
    WriteFileBytes("porresku.log", LogOfDated(shorter));
    EXPECT_EQ(Shown(List("2025/1/1")), texts({"2025-01-05", "2025-11-18 00:00", "2025-11-18", "2026-01-02",
                                              "2026-11-18", "2026-12-09", "2026-12-10"}));
    EXPECT_EQ(Shown(List("2026/1/1")), texts({"2026-01-02", "2026-11-18", "2026-12-09", "2026-12-10"}));

    SCOPED_TRACE("another log");
    BoardSandbox::now = kJanuary3;
    WriteFileBytes("porresku.log", LogOfDated(kNewYearTurn));
    EXPECT_EQ(Shown(List("2026/12/31")), texts({"2026-12-31", "2027-01-01 00:00", "2027-01-02", "2027-01-03"}));

    SCOPED_TRACE("the log cut short");
    WriteFileBytes("porresku.log", LogOfDated({kNewYearTurn.begin(), kNewYearTurn.begin() + 2}));
    EXPECT_EQ(Shown(List("2026/12/31")), texts({"2026-12-31"}));
}

// A later listing reads less of the log, but a stop while it reads still
// ends it at once, and the one after it lists as before.
TEST_F(ListingTest, StopDuringALaterListingsSeekEndsIt) {
    WriteFileBytes("porresku.log", LogOfDated(kThreeYears));
    const Lines first = List("2025/11/18 10:00");
    ASSERT_EQ(Shown(first).size(), 6u);
    Porresku& caller = LogOn(5, "READER", "reader", 2);
    Host(5).sent.clear();
    Host(5).replies = {"2025/11/18 10:00"};
    Host(5).stopAnswers = {0, 0, 1};
    board::ListSince(caller);
    EXPECT_EQ(Host(5).sent, (Lines{"", ListTitle("11/18 10:00"), kHeading}));
    EXPECT_FALSE(board::Board().busy);
    EXPECT_EQ(List("2025/11/18 10:00"), first);
}

// A listing since yesterday on a log of many years reads no more than the
// appended part, the checked lines and the last year, once one listing read
// the whole log.
TEST_F(ListingTest, ALaterListingReadsOnlyWhatItNeeds) {
    std::string log;
    for (int year = 1990; year <= 2026; ++year) {
        for (int month = 1; month <= 12; ++month) {
            for (int day = 1; day <= 28 && (year < 2026 || month < 12 || day < 8); ++day) {
                char header[32];
                std::snprintf(header, sizeof header, "%02d/%02d 12:00 Y%d\r\n", month, day, year);
                log += header + Prefix("h") + "posting of " + std::to_string(year) + ", one of many of that year\r\n";
            }
        }
    }
    WriteFileBytes("porresku.log", log);
    static std::size_t bytesRead;
    bytesRead = 0;
    platform::Active().read = [](platform::FileHandle file, void* bytes, std::size_t size, std::size_t* got) {
        const platform::ErrorCode error = platform::SystemCalls().read(file, bytes, size, got);
        bytesRead += *got;
        return error;
    };
    const Lines first = List("2026/12/7");
    EXPECT_EQ(Shown(first), (Lines{Prefix("h") + "posting of 2026, one of many of that year", kClosing}));
    EXPECT_GE(bytesRead, log.size());
    bytesRead = 0;
    EXPECT_EQ(Shown(List("2026/12/7")), Shown(first));
    EXPECT_LT(bytesRead, log.size() / 2) << "of " << log.size();
}

// Lines that are neither message lines nor stamped, and empty lines, neither
// stop the seek nor begin a year.
TEST_F(ListingTest, LinesWithoutAStampArePassedOver) {
    WriteFileBytes("porresku.log", "11/17 10:00 A\r\nzz not a stamp\r\n" + Prefix("h") + "a\r\n\r\n" +
                                       "13/45 10:00 X\r\n02/30 10:00 Y\r\n11/18 10:00 B\r\n" + Prefix("h") + "b\r\n");
    EXPECT_EQ(Shown(List("11/18")), (Lines{Prefix("h") + "b", kClosing}));
}

TEST_F(ListingTest, DefaultsToThePreviousLogin) {
    WriteFileBytes("porresku.log", kFourPostings);
    Host(5).member.lastLogin = board::ToDateTime({2026, 11, 18, 11, 30, 0, 0});
    const Lines sent = List("");
    EXPECT_EQ(Host(5).foundIds, Lines{"READER"});
    EXPECT_EQ(Host(5).askedMembers, std::vector<std::int32_t>{Host(5).memberNumber});
    EXPECT_EQ(sent[1], "11/18 11:30 以降のぽれすく・・・");
    EXPECT_EQ(Shown(sent), (Lines{Prefix("h") + "c1", Prefix("h") + "d1", kClosing}));
}

TEST_F(ListingTest, UnreadableLastLoginGivesOneErrorLine) {
    WriteFileBytes("porresku.log", kFourPostings);
    for (double bad : {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(), -1e9,
                       3e6}) {
        SCOPED_TRACE(bad);
        Host(5).member.lastLogin = bad;
        Porresku& caller = LogOn(5, "READER", "reader", 2);
        Host(5).sent.clear();
        Host(5).replies = {""};
        EXPECT_THROW(board::ListSince(caller), board::BoardError);
        EXPECT_TRUE(Host(5).sent.empty());
        EXPECT_FALSE(board::Board().busy);
    }
}

TEST_F(ListingTest, BadReplyRaisesTheConversionErrorAndTouchesNothing) {
    WriteFileBytes("porresku.log", kFourPostings);
    for (const std::string reply : {"abc", "13/45", "12/25 xyz", "25:00"}) {
        SCOPED_TRACE(reply);
        for (bool busy : {false, true}) {
            board::Board().busy = busy;
            Porresku& caller = LogOn(5, "READER", "reader", 2);
            Host(5).sent.clear();
            Host(5).replies = {reply};
            try {
                board::ListSince(caller);
                ADD_FAILURE() << "no error";
            } catch (const board::BoardError& error) {
                EXPECT_EQ(std::string(error.what()), "'" + reply + "' は日付または時刻ではありません");
            }
            EXPECT_TRUE(Host(5).sent.empty());
            EXPECT_EQ(board::Board().busy, busy);
        }
    }
}

TEST_F(ListingTest, BusyFlagGivesOnlyTheNotice) {
    WriteFileBytes("porresku.log", kFourPostings);
    board::Board().busy = true;
    Porresku& caller = LogOn(5, "READER", "reader", 2);
    Host(5).replies = {"11/18"};
    board::ListSince(caller);
    EXPECT_EQ(Host(5).sent, Lines{kBusy});
    EXPECT_TRUE(board::Board().busy);
}

TEST_F(ListingTest, NoLogSendsNothing) {
    EXPECT_TRUE(List("11/18").empty());
}

TEST_F(ListingTest, StopBeforeReadingSendsNothing) {
    WriteFileBytes("porresku.log", kFourPostings);
    Porresku& caller = LogOn(5, "READER", "reader", 2);
    Host(5).replies = {"11/18"};
    Host(5).stopAnswers = {1};
    board::ListSince(caller);
    EXPECT_TRUE(Host(5).sent.empty());
    EXPECT_FALSE(board::Board().busy);
}

TEST_F(ListingTest, StopDuringTheSeekEndsTheListing) {
    WriteFileBytes("porresku.log", kFourPostings);
    Porresku& caller = LogOn(5, "READER", "reader", 2);
    Host(5).replies = {"11/19"};
    Host(5).stopAnswers = {0, 0, 1};
    board::ListSince(caller);
    EXPECT_EQ(Host(5).sent, (Lines{"", "11/19 以降のぽれすく・・・", kHeading}));
    EXPECT_FALSE(board::Board().busy);
    // The log is closed again: a posting gets in.
    Porresku& poster = LogOn(6, "P", "p", 5);
    Host(6).replies = {"after", ""};
    board::PostMessage(poster);
    EXPECT_NE(ReadFileBytes("porresku.log").find("after"), std::string::npos);
}

TEST_F(ListingTest, PostingDuringTheListingIsWrittenWhenItEnds) {
    WriteFileBytes("porresku.log", kFourPostings);
    Porresku& poster = LogOn(6, "POSTER", "poster", 5);
    Host(6).replies = {"meanwhile", ""};
    Porresku& reader = LogOn(5, "READER", "reader", 2);
    Host(5).replies = {"11/18"};
    bool posted = false;
    Host(5).duringSend = [&](int) {
        if (!posted && Host(5).sent.back() == Prefix("h") + "b1") {
            posted = true;
            board::PostMessage(poster);
            EXPECT_TRUE(board::Board().busy) << "the posting left the listing's flag alone";
        }
    };
    board::ListSince(reader);
    EXPECT_EQ(Host(6).sent.back(), kBusy);
    EXPECT_FALSE(board::Board().busy);
    EXPECT_EQ(ReadFileBytes("porresku.log"),
              kFourPostings + "12/10 09:05 POSTER\r\n" + Prefix("poster") + "meanwhile\r\n");
    EXPECT_TRUE(board::Board().queued.empty());
}

TEST_F(ListingTest, SecondListingStartedDuringTheStopQueryIsRefused) {
    WriteFileBytes("porresku.log", kFourPostings);
    Porresku& first = LogOn(5, "ONE", "one", 2);
    Porresku& second = LogOn(6, "TWO", "two", 2);
    Host(5).replies = {"11/19"};
    Host(6).replies = {"11/19"};
    Host(5).duringStopQuery = [&](int query) {
        if (query == 1) board::ListSince(second);
    };
    board::ListSince(first);
    EXPECT_EQ(Host(6).sent, Lines{kBusy});
    EXPECT_EQ(Shown(Host(5).sent), (Lines{Prefix("h") + "d1", kClosing}));
    EXPECT_FALSE(board::Board().busy);
}

TEST_F(ListingTest, ReadErrorEndsTheListingWithTheLogClosedAndTheFlagClear) {
    WriteFileBytes("porresku.log", kFourPostings);
    platform::Active().read = [](platform::FileHandle, void*, std::size_t, std::size_t*) { return 5; };
    Porresku& caller = LogOn(5, "READER", "reader", 2);
    Host(5).replies = {"11/18"};
    EXPECT_THROW(board::ListSince(caller), messagelog::LogError);
    EXPECT_FALSE(board::Board().busy);
    platform::Active().read = platform::SystemCalls().read;
    platform::FileHandle file;
    ASSERT_EQ(platform::Active().open("porresku.log", platform::OpenMode::kAppend, &file), 0) << "left open";
    platform::Active().close(file);
}

}  // namespace
