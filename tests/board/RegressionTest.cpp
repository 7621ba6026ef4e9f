// Faults the fuzzers found, each kept as the case that showed it.
#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "board/BoardState.h"
#include "board/BoardSteps.h"
#include "board/Porresku.h"
#include "support/BoardSandbox.h"
#include "support/ExpectedTexts.h"
#include "support/FakeHost.h"
#include "support/TempDir.h"

namespace {

using namespace expected;
using testing_host::FakeHost;
using testing_host::ReadFileBytes;
using testing_host::WriteFileBytes;

// A posting made on another channel while a listing holds the busy flag is
// queued with the busy notice; the listing must write it however it ends,
// even when the posting came during the listing's very last host call.
struct LastCallCase {
    const char* name;
    bool logExists;
    const char* reply;
    std::uint32_t stopAnswer;      // the listing's first stop query
    bool duringStopQuery;          // else during the listing's last line
};

void PrintTo(const LastCallCase& c, std::ostream* out) { *out << c.name; }

class PostingDuringTheListingsLastCallTest : public ::testing::TestWithParam<LastCallCase> {
protected:
    testing_host::BoardSandbox sandbox;
    FakeHost host;
};

TEST_P(PostingDuringTheListingsLastCallTest, ReachesTheLogWhenTheListingEnds) {
    const LastCallCase& c = GetParam();
    const std::string earlier = "11/18 09:00 A\r\n" + Prefix("a") + "earlier\r\n";
    if (c.logExists) WriteFileBytes("porresku.log", earlier);

    host.Channel(5).SetUser("READER", "reader", 2);
    host.Channel(5).replies = {c.reply};
    host.Channel(5).stopAnswers = {c.stopAnswer};
    host.Channel(6).SetUser("POSTER", "poster", 5);
    host.Channel(6).replies = {"meanwhile", ""};
    const Porresku reader(5, host.CreationRecord(5));
    const Porresku poster(6, host.CreationRecord(6));

    bool posted = false;
    auto post = [&] {
        if (posted) return;
        posted = true;
        board::PostMessage(poster);
    };
    if (c.duringStopQuery) {
        host.Channel(5).duringStopQuery = [&](int) { post(); };
    } else {
        host.Channel(5).duringSend = [&](int) {
            const std::string& line = host.Channel(5).sent.back();
            if (line == kClosing || line == kNoMessage) post();
        };
    }
    board::ListSince(reader);

    ASSERT_TRUE(posted);
    EXPECT_EQ(host.Channel(6).sent.back(), kBusy);
    EXPECT_TRUE(board::Board().queued.empty());
    EXPECT_FALSE(board::Board().busy);
    EXPECT_EQ(ReadFileBytes("porresku.log"), (c.logExists ? earlier : std::string()) + "12/10 09:05 POSTER\r\n" +
                                                 Prefix("poster") + "meanwhile\r\n");
}

INSTANTIATE_TEST_SUITE_P(
    Fuzzed, PostingDuringTheListingsLastCallTest,
    ::testing::Values(LastCallCase{"StopAfterTheFlagIsTaken", true, "11/18", 1, true},
                      LastCallCase{"NoLogYet", false, "11/18", 0, true},
                      LastCallCase{"ClosingRow", true, "11/18", 0, false},
                      LastCallCase{"NoMessageFound", true, "12/01", 0, false}),
    [](const ::testing::TestParamInfo<LastCallCase>& info) { return std::string(info.param.name); });

}  // namespace
