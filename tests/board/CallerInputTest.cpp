// Whatever a caller types: lines of every length around the cuts, two-byte
// characters split at each cut, and every byte value, in the posting and in
// the date reply. The board stores what it may, as typed, and its log reads
// back into the same history.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "board/BoardState.h"
#include "board/BoardSteps.h"
#include "board/HistoryLoad.h"
#include "board/Porresku.h"
#include "common/BoardError.h"
#include "support/BoardSandbox.h"
#include "support/ExpectedTexts.h"
#include "support/FakeHost.h"
#include "support/TempDir.h"

namespace {

using testing_host::ReadFileBytes;
using namespace expected;
using testing_host::BoardSandbox;

class CallerInputTest : public ::testing::Test {
protected:
    static void Reset() {
        BoardSandbox::ResetBoard();
        std::remove("porresku.log");
    }

    // Posts `first` and `second` as `handle`; returns the history, newest first.
    Lines Post(const std::string& first, const std::string& second, const std::string& handle = "sysop") {
        host.Channel(3).SetUser("SYSOP", handle, 5);
        host.Channel(3).replies = {first, second};
        Porresku poster(3, host.CreationRecord(3));
        board::PostMessage(poster);
        return History();
    }
    static Lines History() { return BoardSandbox::HistoryLines(); }
    // What a later load of the log makes of it.
    static Lines Reloaded() {
        board::LoadHistory();
        return History();
    }
    Lines List(const std::string& reply) {
        host.Channel(5).SetUser("READER", "reader", 2);
        host.Channel(5).replies = {reply};
        host.Channel(5).sent.clear();
        Porresku reader(5, host.CreationRecord(5));
        try {
            board::ListSince(reader);
        } catch (const board::BoardError& error) {
            host.Channel(5).sent.push_back(std::string("error: ") + error.what());
        }
        return host.Channel(5).sent;
    }

    BoardSandbox sandbox;
    testing_host::FakeHost host;
};

TEST_F(CallerInputTest, LinesOfEveryLengthAroundTheCuts) {
    for (std::size_t length : {0u, 1u, 79u, 80u, 81u, 254u, 255u, 4000u}) {
        SCOPED_TRACE(length);
        Reset();
        const std::string typed(length, 'm');
        const Lines history = Post(typed, "");
        if (length == 0) {
            EXPECT_TRUE(history.empty());
            EXPECT_EQ(ReadFileBytes("porresku.log"), "");
            continue;
        }
        const std::string line = Prefix("sysop") + typed.substr(0, 65);
        EXPECT_EQ(history, Lines{line});
        EXPECT_EQ(ReadFileBytes("porresku.log"), "12/10 09:05 SYSOP\r\n" + line + "\r\n");
        EXPECT_EQ(Reloaded(), history);
    }
}

TEST_F(CallerInputTest, TwoByteCharacterSplitAtEveryCut) {
    const std::string a = "\x82\xA0";  // あ
    struct Case {
        std::string name;
        std::string first, second, handle;
        Lines history;  // newest first
    };
    const Case cases[] = {
        // The reply is cut to 80 bytes, then the message text to 65.
        {"reply cut", "x" + std::string(78, 'y') + a, "", "sysop",
         {Prefix("sysop") + ("x" + std::string(78, 'y')).substr(0, 65)}},
        {"text cut", std::string(64, 't') + a + "zz", "", "sysop", {Prefix("sysop") + std::string(64, 't') + "\x82"}},
        {"joined line cut", std::string(40, 'j') + a + std::string(10, 'k'), std::string(10, 'l'), "sysop",
         {(Prefix("sysop") + std::string(40, 'j') + a + std::string(10, 'k') + "／" + std::string(10, 'l'))
              .substr(0, 80)}},
        {"handle cut", "hello", "", std::string(13, 'h') + a, {std::string(13, 'h') + "\x82>hello"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Reset();
        EXPECT_EQ(Post(c.first, c.second, c.handle), c.history);
        EXPECT_EQ(Reloaded(), c.history) << "the split byte stays, and the log reads back the same";
    }
}

TEST_F(CallerInputTest, EveryByteValueInAPostingReadsBackTheSame) {
    for (int value = 1; value < 256; ++value) {
        SCOPED_TRACE(value);
        Reset();
        const char byte = static_cast<char>(value);
        const bool breaksLines = byte == '\r' || byte == '\n' || byte == '\x1A';
        const Lines history = Post(std::string("a") + byte + "b", std::string(1, byte));
        const std::string stored = std::string("a") + (breaksLines ? ' ' : byte) + "b／" + (breaksLines ? ' ' : byte);
        EXPECT_EQ(history, Lines{Prefix("sysop") + stored});
        EXPECT_EQ(Reloaded(), history);
    }
}

TEST_F(CallerInputTest, EveryByteValueInTheDateReplyGivesAListingOrTheErrorLine) {
    testing_host::WriteFileBytes("porresku.log", "11/18 10:00 A\r\n" + Prefix("a") + "old\r\n");
    const std::string notADate = "' は日付または時刻ではありません";
    for (int value = 1; value < 256; ++value) {
        SCOPED_TRACE(value);
        const char byte = static_cast<char>(value);
        for (const std::string& reply : {std::string(1, byte), "11/18" + std::string(1, byte),
                                         "11/18 9" + std::string(1, byte), std::string(100, byte)}) {
            const Lines sent = List(reply);
            ASSERT_FALSE(sent.empty());
            if (sent.size() == 1) {
                EXPECT_EQ(sent[0], "error: '" + reply.substr(0, 80) + notADate);
            } else {
                EXPECT_TRUE(sent.back() == kClosing || sent.back() == kNoMessage)
                    << sent.back();
            }
            EXPECT_FALSE(board::Board().busy);
        }
    }
}

}  // namespace
