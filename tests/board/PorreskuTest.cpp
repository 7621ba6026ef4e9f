#include "board/Porresku.h"

#include <gtest/gtest.h>

#include <string>

#include "support/FakeHost.h"
#include "support/TempDir.h"

namespace {

using testing_host::FakeHost;

class PorreskuTest : public ::testing::Test {
protected:
    PorreskuTest() { host.Channel(7).SetUser("SYSOP", "\x82\xDB\x82\xEA", 5); }

    testing_host::TempDir dir;
    FakeHost host;
};

TEST_F(PorreskuTest, ConstructionAsksForTheChannelUserOnceThroughItsOwnTable) {
    quarn::HostCreationRecord record = host.CreationRecord(7);
    Porresku channel(7, record);
    // The object uses its own copy of the table, not the record it came from.
    std::memset(&record, 0, sizeof record);
    channel.SendLine("still reaches the host");

    const auto& seen = host.Channel(7);
    EXPECT_EQ(seen.userQueries, std::vector<std::int32_t>{7});
    EXPECT_EQ(seen.sent, std::vector<std::string>{"still reaches the host"});
    EXPECT_TRUE(seen.wrongContexts.empty()) << testing_host::Joined(seen.wrongContexts);
    EXPECT_EQ(channel.channel(), 7);
    EXPECT_EQ(channel.user().userId.view(), "SYSOP");
    EXPECT_EQ(std::int32_t{channel.user().level}, 5);  // a copy: the packed field is unaligned
}

TEST_F(PorreskuTest, KeepsTheUserRecordItTookAtConstruction) {
    Porresku channel(7, host.CreationRecord(7));
    host.Channel(7).SetUser("OTHER", "other", 1);
    EXPECT_EQ(channel.user().userId.view(), "SYSOP");
    EXPECT_EQ(std::int32_t{channel.user().level}, 5);  // a copy: the packed field is unaligned
}

TEST_F(PorreskuTest, SendLineHandsTheHostAtMost254Bytes) {
    Porresku channel(7, host.CreationRecord(7));
    for (std::size_t length : {0u, 1u, 253u, 254u, 255u, 256u, 300u}) {
        SCOPED_TRACE(length);
        const std::string text(length, 'x');
        channel.SendLine(text);
        EXPECT_EQ(host.Channel(7).sent.back(), text.substr(0, 254));
    }
}

TEST_F(PorreskuTest, AskLineCutsThePromptLikeALineAndTheReplyTo80Bytes) {
    struct Case {
        std::string typed;
        std::string kept;
    };
    const Case cases[] = {
        {"", ""},
        {"hello", "hello"},
        {std::string(80, 'a'), std::string(80, 'a')},
        {std::string(120, 'b'), std::string(80, 'b')},
        // The cut splits a two-byte character and keeps the lead byte.
        {std::string(79, 'c') + "\x82\xDB" + "tail", std::string(79, 'c') + "\x82"},
    };
    Porresku channel(7, host.CreationRecord(7));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed.size());
        host.Channel(7).replies.push_back(c.typed);
        const ReplyText reply = channel.AskLine(std::string(300, 'p'));
        EXPECT_EQ(reply.view(), c.kept);
        EXPECT_EQ(host.Channel(7).prompts.back(), std::string(254, 'p'));
    }
}

TEST_F(PorreskuTest, LooksUpTheMemberRecordByUserId) {
    host.Channel(7).member.lastLogin = 46000.5;
    host.Channel(7).memberNumber = 1234;
    Porresku channel(7, host.CreationRecord(7));
    const quarn::MemberRecord member = channel.LookUpMember("SYSOP");
    EXPECT_EQ(member.lastLogin, 46000.5);
    EXPECT_EQ(host.Channel(7).foundIds, std::vector<std::string>{"SYSOP"});
    EXPECT_EQ(host.Channel(7).askedMembers, std::vector<std::int32_t>{1234});
}

}  // namespace
