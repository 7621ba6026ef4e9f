// Every step that touches the log, with each of its file calls failing in
// turn: the step ends (its caller told in one line, or the load's diagnostic
// written), the log is closed, the busy flag clear, the log holds whole
// postings (plus at most what reached it before the fault) and nothing twice,
// and the next posting and listing work.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "board/BoardState.h"
#include "board/BoardSteps.h"
#include "board/HistoryLoad.h"
#include "board/Porresku.h"
#include "log/LogError.h"
#include "support/BoardSandbox.h"
#include "support/ExpectedTexts.h"
#include "support/FakeHost.h"
#include "support/FaultInjector.h"
#include "support/TempDir.h"

namespace {

using testing_host::FakeHost;
using testing_host::Fault;
using testing_host::FaultInjector;
using testing_host::FileCall;
using testing_host::ReadFileBytes;
using testing_host::WriteFileBytes;
using testing_host::BoardSandbox;
using namespace expected;

const std::string kOld = "11/18 10:00 A\r\n" + Prefix("a") + "old\r\n";
const std::string kLong = kOld + kOld + kOld + kOld;  // 140 bytes
const std::string kQueued = "12/10 09:04 SYSOP\r\n" + Prefix("sysop") + "queued\r\n";
const std::string kNew = "12/10 09:05 SYSOP\r\n" + Prefix("sysop") + "new\r\n";
const std::string kNext = "12/10 09:06 SYSOP\r\n" + Prefix("sysop") + "next\r\n";
const std::string kTitle = ListTitle("01/01");
const std::string kHalfOfNew = kNew.substr(0, kNew.size() / 2);

enum class Step {
    kPost,          // a posting of "new" on the log as found
    kPostQueued,    // the same, with "queued" waiting from a busy time
    kList,          // a listing since 1/1
    kListQueued,    // the same, with "queued" waiting to go in after it
    kLoad,          // the history rebuilt from the log
};

enum class Outcome {
    kNormal,      // the step ends as without the fault
    kCallerLine,  // an input/output error for the caller
    kDiagnostic,  // a line on the diagnostic output, the caller is not bothered
};

struct Case {
    Step step;
    std::string logBefore;  // "" with noLog: no log at all
    bool noLog;
    std::vector<Fault> faults;
    Outcome outcome;
    std::string logAfter;
    std::size_t queuedAfter;
    Lines sentAfter;    // listings: every line the caller got
    Lines history;      // load: newest first
    std::string logFinal;  // after the fault is gone: a posting of "next"
};

class FaultInjectionTest : public ::testing::TestWithParam<Case> {
protected:
    Porresku& Poster(const std::string& reply) {
        host.Channel(3).SetUser("SYSOP", "sysop", 5);
        host.Channel(3).replies = {reply, ""};
        poster = std::make_unique<Porresku>(3, host.CreationRecord(3));
        return *poster;
    }
    Porresku& Reader() {
        host.Channel(5).SetUser("READER", "reader", 2);
        host.Channel(5).replies = {"1/1"};
        host.Channel(5).sent.clear();
        reader = std::make_unique<Porresku>(5, host.CreationRecord(5));
        return *reader;
    }
    // Queues "queued" as a posting made while a listing held the log.
    void QueueOne() {
        BoardSandbox::now.minute = 4;
        board::Board().busy = true;
        board::PostMessage(Poster("queued"));
        board::Board().busy = false;
        BoardSandbox::now.minute = 5;
    }

    BoardSandbox sandbox;
    FakeHost host;
    std::unique_ptr<Porresku> poster;
    std::unique_ptr<Porresku> reader;
};

// Runs the step; true when it raised an error for its caller.
bool RunStep(Step step, Porresku& channel) {
    try {
        switch (step) {
            case Step::kPost:
            case Step::kPostQueued: board::PostMessage(channel); break;
            case Step::kList:
            case Step::kListQueued: board::ListSince(channel); break;
            case Step::kLoad: board::LoadHistory(); break;
        }
    } catch (const messagelog::LogError& error) {
        EXPECT_EQ(std::string(error.what()).rfind("入出力エラー: porresku.log の", 0), 0u) << error.what();
        return true;
    }
    return false;
}

TEST_P(FaultInjectionTest, StepEndsCleanlyAndTheBoardGoesOn) {
    const Case& c = GetParam();
    if (!c.noLog) WriteFileBytes("porresku.log", c.logBefore);
    if (c.step == Step::kPostQueued || c.step == Step::kListQueued) {
        // Queued while the log could not be written.
        board::Board().busy = true;
        QueueOne();
    }
    const bool listing = c.step == Step::kList || c.step == Step::kListQueued;
    Porresku& channel = listing ? Reader() : Poster("new");

    bool raised = false;
    {
        FaultInjector faults(c.faults);
        raised = RunStep(c.step, channel);
        EXPECT_TRUE(faults.Fired()) << "the fault was never reached";
    }
    EXPECT_EQ(raised, c.outcome == Outcome::kCallerLine);
    EXPECT_EQ(!BoardSandbox::diagnostics.empty(), c.outcome == Outcome::kDiagnostic)
        << testing_host::Joined(BoardSandbox::diagnostics);
    EXPECT_FALSE(board::Board().busy);
    if (c.noLog && c.logAfter.empty()) {
        EXPECT_EQ(ReadFileBytes("porresku.log"), "");
    } else {
        EXPECT_EQ(ReadFileBytes("porresku.log"), c.logAfter);
        // Closed: a writer gets in.
        platform::FileHandle file;
        ASSERT_EQ(platform::Active().open("porresku.log", platform::OpenMode::kAppend, &file), 0);
        platform::Active().close(file);
    }
    EXPECT_EQ(board::Board().queued.size(), c.queuedAfter);
    if (listing) {
        EXPECT_EQ(host.Channel(5).sent, c.sentAfter);
    }
    if (c.step == Step::kLoad) {
        EXPECT_EQ(BoardSandbox::HistoryLines(), c.history);
    }

    // The next posting and listing work, and nothing appears twice.
    BoardSandbox::now.minute = 6;
    board::PostMessage(Poster("next"));
    EXPECT_EQ(ReadFileBytes("porresku.log"), c.logFinal);
    EXPECT_TRUE(board::Board().queued.empty());
    board::ListSince(Reader());
    EXPECT_EQ(host.Channel(5).sent.back(), kClosing);
    EXPECT_FALSE(board::Board().busy);
}

Fault Once(FileCall call, int nth) { return {call, nth, false, 5}; }
Fault FromThenOn(FileCall call, int nth) { return {call, nth, true, 28}; }

const std::string kOldMessage = Prefix("a") + "old";
const Lines kListed = {"", kTitle, kHeading, kOldMessage, kClosing};
const Lines kHeadingOnly = {"", kTitle, kHeading};

// A write that stops half-way through `postings` (written at once) and
// cannot be taken back: what reached the log stays, the postings that reached
// it whole leave the queue, the rest come whole with the next posting.
Case HalfWrittenAndKept(Step step, const std::vector<std::string>& postings) {
    std::string all;
    for (const auto& posting : postings) all += posting;
    const std::size_t written = all.size() / 2;
    std::size_t end = 0;
    std::string rest;
    for (const auto& posting : postings) {
        end += posting.size();
        if (end > written) rest += posting;
    }
    const std::string logAfter = kOld + all.substr(0, written);
    const bool lineEnded = logAfter.back() == '\n' || logAfter.back() == '\r';
    Case c{step, kOld, false, {Once(FileCall::kWrite, 1), Once(FileCall::kTruncate, 1)}, Outcome::kCallerLine,
           logAfter, 0, {}, {}, logAfter + (lineEnded ? "" : "\r\n") + rest + kNext};
    c.queuedAfter = 0;
    for (const auto& posting : postings) c.queuedAfter += rest.find(posting) != std::string::npos;
    return c;
}

// Postings call: open (for appending; a create after it when there is no
// log), seek (the tail; refused for a log under 128 bytes, then a seek to
// its start and a read to its end), read (the tail), [seek, truncate at a
// Ctrl-Z], write, close; a failed write: seek, truncate.
const std::vector<Case> kCases = {
    // A posting on an existing log.
    {Step::kPost, kOld, false, {Once(FileCall::kOpen, 1)}, Outcome::kNormal, kOld, 1, {}, {}, kOld + kNew + kNext},
    // A log shorter than 128 bytes refuses the seek to its tail anyway; it
    // is read from its start.
    {Step::kPost, kOld, false, {Once(FileCall::kSeek, 1)}, Outcome::kNormal, kOld + kNew, 0, {}, {},
     kOld + kNew + kNext},
    {Step::kPost, kOld, false, {Once(FileCall::kSeek, 2)}, Outcome::kCallerLine, kOld, 1, {}, {}, kOld + kNew + kNext},
    {Step::kPost, kOld, false, {Once(FileCall::kRead, 1)}, Outcome::kCallerLine, kOld, 1, {}, {}, kOld + kNew + kNext},
    {Step::kPost, kOld, false, {Once(FileCall::kRead, 2)}, Outcome::kCallerLine, kOld, 1, {}, {}, kOld + kNew + kNext},
    // A longer log: one seek to its tail, one read.
    {Step::kPost, kLong, false, {Once(FileCall::kSeek, 1)}, Outcome::kCallerLine, kLong, 1, {}, {},
     kLong + kNew + kNext},
    {Step::kPost, kLong, false, {Once(FileCall::kRead, 1)}, Outcome::kCallerLine, kLong, 1, {}, {},
     kLong + kNew + kNext},
    {Step::kPost, kLong, false, {Once(FileCall::kWrite, 1)}, Outcome::kCallerLine, kLong, 1, {}, {},
     kLong + kNew + kNext},
    {Step::kPost, kOld, false, {Once(FileCall::kWrite, 1)}, Outcome::kCallerLine, kOld, 1, {}, {}, kOld + kNew + kNext},
    {Step::kPost, kOld, false, {FromThenOn(FileCall::kWrite, 1)}, Outcome::kCallerLine, kOld, 1, {}, {},
     kOld + kNew + kNext},
    // The write fails half-way and the take-back fails too: the half stays,
    // ended by the next posting, and the posting itself comes whole once.
    HalfWrittenAndKept(Step::kPost, {kNew}),
    {Step::kPost, kOld, false, {Once(FileCall::kClose, 1)}, Outcome::kNormal, kOld + kNew, 0, {}, {},
     kOld + kNew + kNext},
    // A log with a Ctrl-Z near its end: the cut fails.
    {Step::kPost, kOld + "\x1Atrailing", false, {Once(FileCall::kTruncate, 1)}, Outcome::kCallerLine,
     kOld + "\x1Atrailing", 1, {}, {}, kOld + kNew + kNext},
    // No log yet: creating it fails, or writing the new log.
    {Step::kPost, "", true, {Once(FileCall::kOpen, 2)}, Outcome::kNormal, "", 1, {}, {}, kNew + kNext},
    {Step::kPost, "", true, {Once(FileCall::kWrite, 1)}, Outcome::kCallerLine, "", 1, {}, {}, kNew + kNext},
    // A posting that also writes what waited: neither is lost or doubled.
    {Step::kPostQueued, kOld, false, {Once(FileCall::kWrite, 1)}, Outcome::kCallerLine, kOld, 2, {}, {},
     kOld + kQueued + kNew + kNext},
    HalfWrittenAndKept(Step::kPostQueued, {kQueued, kNew}),
    // A listing: open, read, read (the end), close. The year of a posting is
    // known only at the log's end, so nothing is shown before it is read;
    // the show then goes back within the buffer.
    {Step::kList, kOld, false, {Once(FileCall::kOpen, 1)}, Outcome::kNormal, kOld, 0, kHeadingOnly, {},
     kOld + kNext},
    {Step::kList, kOld, false, {Once(FileCall::kRead, 1)}, Outcome::kCallerLine, kOld, 0, kHeadingOnly, {},
     kOld + kNext},
    {Step::kList, kOld, false, {Once(FileCall::kRead, 2)}, Outcome::kCallerLine, kOld, 0, kHeadingOnly, {},
     kOld + kNext},
    {Step::kList, kOld, false, {Once(FileCall::kClose, 1)}, Outcome::kNormal, kOld, 0, kListed, {}, kOld + kNext},
    // The listing writes what waited once it lets go of the log.
    {Step::kListQueued, kOld, false, {Once(FileCall::kOpen, 2)}, Outcome::kNormal, kOld, 1, kListed, {},
     kOld + kQueued + kNext},
    {Step::kListQueued, kOld, false, {Once(FileCall::kWrite, 1)}, Outcome::kDiagnostic, kOld, 1, kListed, {},
     kOld + kQueued + kNext},
    // However it ends: the log that cannot be opened, a read that fails.
    {Step::kListQueued, kOld, false, {Once(FileCall::kOpen, 1)}, Outcome::kNormal, kOld + kQueued, 0, kHeadingOnly,
     {}, kOld + kQueued + kNext},
    {Step::kListQueued, kOld, false, {Once(FileCall::kRead, 2)}, Outcome::kCallerLine, kOld + kQueued, 0,
     kHeadingOnly, {}, kOld + kQueued + kNext},
    // The load: open, read, read (the end), close.
    {Step::kLoad, kOld, false, {Once(FileCall::kOpen, 1)}, Outcome::kNormal, kOld, 0, {}, {}, kOld + kNext},
    {Step::kLoad, kOld, false, {Once(FileCall::kRead, 1)}, Outcome::kDiagnostic, kOld, 0, {}, {}, kOld + kNext},
    {Step::kLoad, kOld, false, {Once(FileCall::kRead, 2)}, Outcome::kDiagnostic, kOld, 0, {}, {kOldMessage},
     kOld + kNext},
    {Step::kLoad, kOld, false, {Once(FileCall::kClose, 1)}, Outcome::kNormal, kOld, 0, {}, {kOldMessage},
     kOld + kNext},
};

std::string CaseName(const ::testing::TestParamInfo<Case>& info) {
    static const char* const kSteps[] = {"Post", "PostQueued", "List", "ListQueued", "Load"};
    std::string name = std::string(kSteps[static_cast<int>(info.param.step)]) + "_" + std::to_string(info.index);
    for (const Fault& fault : info.param.faults) {
        name += std::string("_") + testing_host::FileCallName(fault.call) + std::to_string(fault.nth) +
                (fault.fromThenOn ? "On" : "");
    }
    return name;
}

INSTANTIATE_TEST_SUITE_P(EveryStepAndFaultPoint, FaultInjectionTest, ::testing::ValuesIn(kCases), CaseName);

}  // namespace
