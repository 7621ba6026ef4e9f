// The board through the built library's exports: postings at logoff and
// listings from the menu, with a host that runs other channels while one
// waits inside a service, and with the log held by another program.
#include <gtest/gtest.h>

#include <ctime>
#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "support/ExpectedTexts.h"
#include "support/FakeHost.h"
#include "support/LocalDays.h"
#include "support/LogHolder.h"
#include "support/PluginLoader.h"
#include "support/TempDir.h"

namespace {

using testing_host::FakeHost;
using testing_host::LoadedPlugin;
using testing_host::ReadFileBytes;
using testing_host::WriteFileBytes;

using namespace expected;

// "MM/DD hh:mm" of the local clock now, as the library stamps a posting.
std::string KeyNow() {
    const std::time_t now = std::time(nullptr);
    const std::tm* local = std::localtime(&now);
    char key[16];
    std::strftime(key, sizeof key, local->tm_hour + local->tm_min + local->tm_sec == 0 ? "%m/%d" : "%m/%d %H:%M",
                  local);
    return key;
}

class AbiBoardTest : public ::testing::Test {
protected:
    void SetUp() override { Load(); }
    // A host frees what it created.
    void TearDown() override {
        if (plugin == nullptr) return;
        for (int channel : created) dll().Free(channel);
    }

    void Load() {
        plugin.reset();
        plugin = std::make_unique<LoadedPlugin>(testing_host::PluginPath());
        ASSERT_TRUE(plugin->loaded()) << plugin->error();
    }
    const testing_host::PluginExports& dll() const { return plugin->exports(); }
    testing_host::FakeChannel& Host(int channel) { return host.Channel(channel); }

    void LogOn(int channel, const std::string& id, const std::string& handle, int level) {
        Host(channel).SetUser(id, handle, level);
        dll().Create(channel, host.CreationRecord(channel));
        created.insert(channel);
    }

    // The log with every header's time key replaced by "KEY", after checking
    // that each key is the clock's key around the posting.
    std::string LogWithKeysMasked(const std::string& before, const std::string& after) {
        std::string log = ReadFileBytes("porresku.log");
        std::string masked;
        std::size_t at = 0;
        while (at < log.size()) {
            std::size_t end = log.find("\r\n", at);
            if (end == std::string::npos) end = log.size();
            std::string line = log.substr(at, end - at);
            const bool message = line.size() >= 15 && line[14] == '>';
            if (!message) {
                const std::string key = line.substr(0, line.size() > 5 && line[5] == ' ' ? 11 : 5);
                EXPECT_TRUE(key == before || key == after) << key;
                line = "KEY" + line.substr(key.size());
            }
            masked += line + (end < log.size() ? "\r\n" : "");
            at = end + 2;
        }
        return masked;
    }

    testing_host::TempDir dir;
    FakeHost host;
    std::unique_ptr<LoadedPlugin> plugin;
    std::set<int> created;
};

TEST_F(AbiBoardTest, CallerLogsOffWithAPostingAndAnotherListsIt) {
    const std::string before = KeyNow();
    LogOn(3, "SYSOP", "\x82\xDB\x82\xEA\x82\xB7\x82\xAD", 5);  // ぽれすく
    Host(3).replies = {"\x82\xB1\x82\xF1\x82\xC9\x82\xBF\x82\xCD", ""};  // こんにちは
    dll().OnGoodbye(3);
    dll().Free(3);
    created.erase(3);
    const std::string after = KeyNow();

    const std::string line = Prefix("\x82\xDB\x82\xEA\x82\xB7\x82\xAD") + "\x82\xB1\x82\xF1\x82\xC9\x82\xBF\x82\xCD";
    EXPECT_EQ(Host(3).activities, Lines{"PORRESKU"});
    EXPECT_EQ(Host(3).sent, (Lines{"", kRecentTitle, kHeading, kClosing, "", "", kInvitation, kRule, kRule}));
    EXPECT_EQ(LogWithKeysMasked(before, after), "KEY SYSOP\r\n" + line + "\r\n");

    LogOn(7, "GUEST", "guest", 2);
    Host(7).replies = {"1/1"};
    dll().Call(7);
    EXPECT_EQ(Host(7).sent, (Lines{"", ListTitle("01/01"), kHeading, line, kClosing}));
    EXPECT_TRUE(Host(7).wrongContexts.empty()) << testing_host::Joined(Host(7).wrongContexts);

    // Another logoff shows it among the recent messages.
    dll().OnGoodbye(7);
    EXPECT_EQ(Lines(Host(7).sent.end() - 6, Host(7).sent.end()), (Lines{"", kRecentTitle, kHeading, line, kClosing, ""}));
}

using testing_host::DayBefore;

// A log of some two years, its stamps without a year: the library tells
// each posting's year from the log's order and its own clock.
TEST_F(AbiBoardTest, ListingTellsTheYearsOfALogThatSpansThem) {
    std::string log;
    for (int daysAgo : {700, 400, 100, 1}) {
        log += DayBefore(daysAgo, "%m/%d %H:%M") + " A\r\n" + Prefix("a") + std::to_string(daysAgo) + " days ago\r\n";
    }
    WriteFileBytes("porresku.log", log);
    LogOn(5, "READER", "reader", 2);
    struct Case {
        int sinceDaysAgo;
        Lines shown;
    };
    const Case cases[] = {
        {800, {Prefix("a") + "700 days ago", Prefix("a") + "400 days ago", Prefix("a") + "100 days ago",
               Prefix("a") + "1 days ago", kClosing}},
        {450, {Prefix("a") + "400 days ago", Prefix("a") + "100 days ago", Prefix("a") + "1 days ago", kClosing}},
        {2, {Prefix("a") + "1 days ago", kClosing}},
    };
    for (const Case& c : cases) {
        const std::string reply = DayBefore(c.sinceDaysAgo, "%Y/%m/%d");
        SCOPED_TRACE(reply);
        Host(5).sent.clear();
        Host(5).replies = {reply};
        dll().Call(5);
        Lines expected{"", ListTitle(DayBefore(c.sinceDaysAgo, "%m/%d")), kHeading};
        expected.insert(expected.end(), c.shown.begin(), c.shown.end());
        EXPECT_EQ(Host(5).sent, expected);
    }

    // A time of day alone is today's: midnight today is after every posting.
    const std::string before = DayBefore(0, "%m/%d");
    Host(5).sent.clear();
    Host(5).replies = {"0:00"};
    dll().Call(5);
    const std::string after = DayBefore(0, "%m/%d");
    ASSERT_EQ(Host(5).sent.size(), 4u);
    EXPECT_TRUE(Host(5).sent[1] == ListTitle(before) || Host(5).sent[1] == ListTitle(after)) << Host(5).sent[1];
    EXPECT_EQ(Host(5).sent[3], kNoMessage);
}

TEST_F(AbiBoardTest, LoadRebuildsTheHistoryFromTheLog) {
    WriteFileBytes("porresku.log", "11/18 10:00 A\r\n" + Prefix("a") + "old\r\n11/18 11:00 B\r\n" + Prefix("b") +
                                       "new\r\n");
    Load();
    LogOn(1, "GUEST", "guest", 2);
    dll().OnGoodbye(1);
    EXPECT_EQ(Host(1).sent, (Lines{"", kRecentTitle, kHeading, Prefix("a") + "old", Prefix("b") + "new", kClosing, ""}));
}

// The host's answer is a one-byte Boolean in a 32-bit register: only its low
// byte counts, whatever the rest of the register holds.
TEST_F(AbiBoardTest, OnlyTheLowByteOfTheStopAnswerCounts) {
    struct Case {
        std::uint32_t answer;
        bool stopping;
    };
    const Case cases[] = {{0, false}, {1, true}, {2, true}, {0x100, false}, {0xFFFFFF00u, false}, {0x1FF, true}};
    LogOn(1, "GUEST", "guest", 2);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.answer);
        Host(1).sent.clear();
        Host(1).stopAnswers = {c.answer};
        dll().OnGoodbye(1);
        // Told to stop, the display shows nothing; else its five lines.
        EXPECT_EQ(Host(1).sent.size(), c.stopping ? 0u : 5u);
    }
}

TEST_F(AbiBoardTest, ErrorReachesTheCallerAsOneLineAndTheHostCarriesOn) {
    LogOn(2, "GUEST", "guest", 2);
    Host(2).replies = {"not a date"};
    dll().Call(2);
    EXPECT_EQ(Host(2).sent, Lines{"'not a date' は日付または時刻ではありません"});
    // The library still serves calls after the error.
    Host(2).replies = {"1/1"};
    dll().Call(2);
    EXPECT_EQ(dll().IsCalled(), 1);
}

TEST_F(AbiBoardTest, OverlongLengthBytesInTheUserRecordReadAsTheirRoom) {
    Host(4).SetUser("ABCDEFGH", std::string(40, 'h'), 5);
    Host(4).user.userId.length = 200;
    Host(4).user.handleName.length = 255;
    dll().Create(4, host.CreationRecord(4));
    created.insert(4);
    Host(4).replies = {"x", ""};
    dll().OnGoodbye(4);
    EXPECT_EQ(Host(4).prompts, (Lines{std::string(14, 'h') + ">", std::string(14, 'h') + ">"}));
    const std::string log = ReadFileBytes("porresku.log");
    EXPECT_NE(log.find(" ABCDEFGH\r\n" + std::string(14, 'h') + ">x\r\n"), std::string::npos) << log;
}

// The library reads the machine's clock, and a log's stamps carry no year:
// a listing of a log written here with fixed stamps asks since a date of a
// year before it, which lists it whole on any day.
TEST_F(AbiBoardTest, PostingDuringAListingReachesTheLogWhenTheListingEnds) {
    WriteFileBytes("porresku.log", "11/18 10:00 A\r\n" + Prefix("a") + "first\r\n11/19 10:00 B\r\n" + Prefix("b") +
                                       "second\r\n");
    Load();
    LogOn(1, "READER", "reader", 2);
    LogOn(2, "POSTER", "poster", 5);
    Host(1).replies = {"2000/11/18"};
    Host(2).replies = {"while listing", ""};
    bool posted = false;
    Host(1).duringSend = [&](int) {
        if (!posted && Host(1).sent.back() == Prefix("a") + "first") {
            posted = true;
            dll().OnGoodbye(2);
            EXPECT_EQ(ReadFileBytes("porresku.log").find("while listing"), std::string::npos);
        }
    };
    dll().Call(1);
    EXPECT_TRUE(posted);
    EXPECT_EQ(Host(2).sent.back(), kBusy);
    EXPECT_EQ(Lines(Host(1).sent.begin() + 3, Host(1).sent.end()),
              (Lines{Prefix("a") + "first", Prefix("b") + "second", kClosing}));
    const std::string log = ReadFileBytes("porresku.log");
    EXPECT_NE(log.find("second\r\n"), std::string::npos);
    const std::string posting = Prefix("poster") + "while listing\r\n";
    EXPECT_EQ(log.substr(log.size() - posting.size()), posting);

    // The flag is clear: the next listing runs.
    Host(1).sent.clear();
    Host(1).replies = {"2000/11/18"};
    Host(1).duringSend = nullptr;
    dll().Call(1);
    EXPECT_EQ(Host(1).sent.back(), kClosing);
}

// Another process holds the log: a posting waits (and reaches the log with
// the next posting once the log is free); a listing reads alongside a reader
// but gets only its title and heading while a writer holds the log.
TEST_F(AbiBoardTest, AnotherProgramHoldingTheLog) {
    using testing_host::LogHolder;
    const std::string old = "11/18 10:00 A\r\n" + Prefix("a") + "old\r\n";
    struct Case {
        LogHolder::Mode mode;
        bool posting;
        Lines listed;  // for a listing: what follows the title and heading
    };
    const Case cases[] = {
        {LogHolder::kReading, true, {}},
        {LogHolder::kWriting, true, {}},
        {LogHolder::kReading, false, {Prefix("a") + "old", kClosing}},
        {LogHolder::kWriting, false, {}},
    };
    LogOn(3, "SYSOP", "sysop", 5);
    LogOn(5, "READER", "reader", 2);
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.mode == LogHolder::kReading ? "reader" : "writer") +
                     (c.posting ? " against a posting" : " against a listing"));
        WriteFileBytes("porresku.log", old);
        {
            LogHolder holder("porresku.log", c.mode);
            ASSERT_TRUE(holder.holding());
            if (c.posting) {
                Host(3).replies = {"held", ""};
                dll().OnGoodbye(3);
                EXPECT_EQ(ReadFileBytes("porresku.log"), old) << "nothing written while held";
            } else {
                Host(5).sent.clear();
                Host(5).replies = {"2000/1/1"};
                dll().Call(5);
                Lines expected{"", ListTitle("01/01"), kHeading};
                expected.insert(expected.end(), c.listed.begin(), c.listed.end());
                EXPECT_EQ(Host(5).sent, expected);
            }
        }
        if (!c.posting) continue;
        Host(3).replies = {"free", ""};
        dll().OnGoodbye(3);
        const std::string log = ReadFileBytes("porresku.log");
        const std::size_t held = log.find(Prefix("sysop") + "held\r\n");
        const std::size_t free = log.find(Prefix("sysop") + "free\r\n");
        EXPECT_NE(held, std::string::npos) << log;
        EXPECT_NE(free, std::string::npos) << log;
        EXPECT_LT(held, free);
        EXPECT_EQ(log.find("held", held + 20), std::string::npos) << "written once";
    }
}

TEST_F(AbiBoardTest, QueuedPostingIsWrittenWhenTheLibraryIsUnloaded) {
    WriteFileBytes("porresku.log", "");
    LogOn(3, "SYSOP", "sysop", 5);
    {
        testing_host::LogHolder holder("porresku.log", testing_host::LogHolder::kReading);
        ASSERT_TRUE(holder.holding());
        Host(3).replies = {"at unload", ""};
        dll().OnGoodbye(3);
    }
    EXPECT_EQ(ReadFileBytes("porresku.log"), "");
    dll().Free(3);
    created.clear();
    plugin.reset();
    EXPECT_NE(ReadFileBytes("porresku.log").find(Prefix("sysop") + "at unload\r\n"), std::string::npos);
}

// A log held through the unload: after a few seconds of tries the posting
// goes to the side file, and the next load adds it to the log and shows it.
TEST_F(AbiBoardTest, APostingTheLogCannotTakeAtUnloadWaitsInTheSideFile) {
    const std::string old = "11/18 10:00 A\r\n" + Prefix("a") + "old\r\n";
    const std::string posted = Prefix("sysop") + "side file\r\n";
    WriteFileBytes("porresku.log", old);
    {
        testing_host::LogHolder holder("porresku.log", testing_host::LogHolder::kWriting);
        ASSERT_TRUE(holder.holding());
        LogOn(3, "SYSOP", "sysop", 5);
        Host(3).replies = {"side file", ""};
        dll().OnGoodbye(3);
        dll().Free(3);
        created.clear();
        plugin.reset();
        const std::string pending = ReadFileBytes("porresku.pending");
        EXPECT_EQ(pending.find(" SYSOP\r\n" + posted), pending.size() - posted.size() - 8) << pending;
    }
    EXPECT_EQ(ReadFileBytes("porresku.log"), old);
    Load();
    EXPECT_FALSE(std::filesystem::exists("porresku.pending"));
    const std::string log = ReadFileBytes("porresku.log");
    EXPECT_EQ(log.rfind(old, 0), 0u);
    EXPECT_EQ(log.find(posted), log.size() - posted.size()) << log;
    LogOn(4, "GUEST", "guest", 1);
    dll().OnGoodbye(4);
    EXPECT_EQ(Host(4).sent, (Lines{"", kRecentTitle, kHeading, Prefix("a") + "old", Prefix("sysop") + "side file",
                                   kClosing, ""}));
}

}  // namespace
