// Another program holds the log (or the side file) for a while: each step
// tries again after short, growing waits, and only a refusal of that kind is
// tried again; at unload the board keeps trying for seconds and then keeps
// the postings in the side file, which the next load adds to the log once.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <numeric>
#include <optional>
#include <string>
#include <vector>

#include "board/BoardState.h"
#include "board/BoardSteps.h"
#include "board/HistoryLoad.h"
#include "board/Porresku.h"
#include "board/WaitingPostings.h"
#include "support/BoardSandbox.h"
#include "support/ExpectedTexts.h"
#include "support/FakeHost.h"
#include "support/FaultInjector.h"
#include "support/TempDir.h"

namespace {

using testing_host::BoardSandbox;
using testing_host::FakeHost;
using testing_host::Fault;
using testing_host::FaultInjector;
using testing_host::FileCall;
using testing_host::HeldFor;
using testing_host::HeldFrom;
using testing_host::ReadFileBytes;
using testing_host::WriteFileBytes;
using namespace expected;

const std::string kLog = "porresku.log";
const std::string kPending = "porresku.pending";
const std::string kOld = "11/18 10:00 A\r\n" + Prefix("a") + "old\r\n";
const std::string kNew = "12/10 09:05 SYSOP\r\n" + Prefix("sysop") + "new\r\n";
const std::string kWaiting = "12/10 09:01 GUEST\r\n" + Prefix("guest") + "waiting\r\n";
const std::string kAlsoWaiting = "12/10 09:02 GUEST\r\n" + Prefix("guest") + "first\r\n" + Prefix("guest") + "second\r\n";

// A step's waits: 2, 4, 8, 16, 32 and 38 ms, a tenth of a second in all.
const std::vector<unsigned> kStepWaits = {2, 4, 8, 16, 32, 38};

Fault Failing(FileCall call, int nth = 1) { return {call, nth, false, 5}; }
Fault FailingFrom(FileCall call, std::string file) { return {call, 1, true, 5, std::move(file)}; }

std::optional<std::string> FileBytes(const std::string& name) {
    if (!std::filesystem::exists(name)) return std::nullopt;
    return ReadFileBytes(name);
}

unsigned Total(const std::vector<unsigned>& waits) { return std::accumulate(waits.begin(), waits.end(), 0u); }

std::string Diagnostics() { return testing_host::Joined(BoardSandbox::diagnostics); }

class HeldLogTest : public ::testing::Test {
protected:
    Porresku& Poster() {
        host.Channel(3).SetUser("SYSOP", "sysop", 5);
        host.Channel(3).replies = {"new", ""};
        poster = std::make_unique<Porresku>(3, host.CreationRecord(3));
        return *poster;
    }
    Porresku& Reader() {
        host.Channel(5).SetUser("READER", "reader", 2);
        host.Channel(5).replies = {"1/1"};
        reader = std::make_unique<Porresku>(5, host.CreationRecord(5));
        return *reader;
    }

    BoardSandbox sandbox;
    FakeHost host;
    std::unique_ptr<Porresku> poster;
    std::unique_ptr<Porresku> reader;
};

// ---- a step against a held log ----------------------------------------------

enum class Step { kPost, kList, kLoad };

struct StepCase {
    const char* name;
    Step step;
    std::vector<Fault> faults;
    std::vector<unsigned> waits;
    int opens;
    bool reachedTheLog;  // posting: written (else queued); listing: listed; load: history built
};

TEST_F(HeldLogTest, AStepTriesAgainOnlyWhileTheLogIsHeld) {
    const std::vector<StepCase> cases = {
        {"posting, held for three tries", Step::kPost, {HeldFor(3)}, {2, 4, 8}, 4, true},
        {"posting, held all along", Step::kPost, {HeldFrom(1)}, kStepWaits, 7, false},
        {"posting, refused for another reason", Step::kPost, {Failing(FileCall::kOpen)}, {}, 1, false},
        {"listing, held for two tries", Step::kList, {HeldFor(2)}, {2, 4}, 3, true},
        {"listing, held all along", Step::kList, {HeldFrom(1)}, kStepWaits, 7, false},
        {"listing, refused for another reason", Step::kList, {Failing(FileCall::kOpen)}, {}, 1, false},
        {"load, held once", Step::kLoad, {HeldFor(1)}, {2}, 2, true},
        {"load, held all along", Step::kLoad, {HeldFrom(1)}, kStepWaits, 7, false},
    };
    for (const StepCase& c : cases) {
        SCOPED_TRACE(c.name);
        BoardSandbox::ResetBoard();
        BoardSandbox::waits.clear();
        WriteFileBytes(kLog, kOld);
        host.Channel(5).sent.clear();
        Porresku& channel = c.step == Step::kList ? Reader() : Poster();
        int opens = 0;
        {
            FaultInjector faults(c.faults);
            switch (c.step) {
                case Step::kPost: board::PostMessage(channel); break;
                case Step::kList: board::ListSince(channel); break;
                case Step::kLoad: board::LoadHistory(); break;
            }
            opens = faults.Count(FileCall::kOpen);
        }
        EXPECT_EQ(BoardSandbox::waits, c.waits);
        EXPECT_EQ(opens, c.opens);
        EXPECT_FALSE(board::Board().busy);
        switch (c.step) {
            case Step::kPost:
                EXPECT_EQ(ReadFileBytes(kLog), c.reachedTheLog ? kOld + kNew : kOld);
                EXPECT_EQ(board::Board().queued.size(), c.reachedTheLog ? 0u : 1u);
                break;
            case Step::kList: {
                Lines expected = {"", ListTitle("01/01"), kHeading};
                if (c.reachedTheLog) expected.insert(expected.end(), {Prefix("a") + "old", kClosing});
                EXPECT_EQ(host.Channel(5).sent, expected);
                break;
            }
            case Step::kLoad:
                EXPECT_EQ(BoardSandbox::HistoryLines(), c.reachedTheLog ? Lines{Prefix("a") + "old"} : Lines{});
                break;
        }
    }
}

// ---- the unload ---------------------------------------------------------------

struct UnloadCase {
    const char* name;
    std::optional<std::string> pendingBefore;
    std::vector<Fault> faults;
    std::string logAfter;
    std::optional<std::string> pendingAfter;
    std::size_t queuedAfter;
    unsigned waited;         // milliseconds in all
    const char* diagnostic;  // a part of the diagnostic output; "" for none
};

TEST_F(HeldLogTest, TheUnloadWritesTheLogOrTheSideFile) {
    const std::vector<UnloadCase> cases = {
        {"the log free", std::nullopt, {}, kOld + kWaiting + kNew, std::nullopt, 0, 0, ""},
        // Longer waits than a step's, up to a quarter of a second each.
        {"the log held for a while", std::nullopt, {HeldFor(6, kLog)}, kOld + kWaiting + kNew, std::nullopt, 0,
         10 + 20 + 40 + 80 + 160 + 250, ""},
        {"the log held for seconds", std::nullopt, {HeldFrom(1, kLog)}, kOld, kWaiting + kNew, 0, 3000,
         "2 postings wait in porresku.pending"},
        {"the side file already there", kAlsoWaiting, {HeldFrom(1, kLog)}, kOld, kAlsoWaiting + kWaiting + kNew, 0,
         3000, "porresku.pending"},
        {"the side file held for a moment too", std::nullopt, {HeldFrom(1, kLog), HeldFor(2, kPending)}, kOld,
         kWaiting + kNew, 0, 3000 + 2 + 4, "porresku.pending"},
        {"the side file cannot be written either", std::nullopt,
         {HeldFrom(1, kLog), FailingFrom(FileCall::kOpen, kPending)}, kOld, std::nullopt, 2, 3000,
         "2 postings could reach neither"},
    };
    for (const UnloadCase& c : cases) {
        SCOPED_TRACE(c.name);
        BoardSandbox::ResetBoard();
        BoardSandbox::waits.clear();
        BoardSandbox::diagnostics.clear();
        std::filesystem::remove(kPending);
        WriteFileBytes(kLog, kOld);
        if (c.pendingBefore) WriteFileBytes(kPending, *c.pendingBefore);
        board::Board().queued = {kWaiting, kNew};
        {
            FaultInjector faults(c.faults);
            board::WriteQueuedPostingsAtUnload();
        }
        EXPECT_EQ(ReadFileBytes(kLog), c.logAfter);
        EXPECT_EQ(FileBytes(kPending), c.pendingAfter);
        EXPECT_EQ(board::Board().queued.size(), c.queuedAfter);
        EXPECT_EQ(Total(BoardSandbox::waits), c.waited);
        if (*c.diagnostic == '\0') {
            EXPECT_TRUE(BoardSandbox::diagnostics.empty()) << Diagnostics();
        } else {
            EXPECT_NE(Diagnostics().find(c.diagnostic), std::string::npos) << Diagnostics();
        }
    }
}

// ---- the next load --------------------------------------------------------------

struct RecoveryCase {
    const char* name;
    std::optional<std::string> logBefore;
    std::string pendingBefore;
    std::vector<Fault> faults;
    std::optional<std::string> logAfter;
    bool pendingStays;
    Lines history;  // newest first
    const char* diagnostic;
};

TEST_F(HeldLogTest, TheLoadAddsTheSideFileToTheLogOnce) {
    const std::string torn = "12/10 09:0";
    const Lines oldOnly = {Prefix("a") + "old"};
    const Lines recovered = {Prefix("sysop") + "new", Prefix("guest") + "waiting", Prefix("a") + "old"};
    const std::vector<RecoveryCase> cases = {
        {"added in order", kOld, kWaiting + kNew, {}, kOld + kWaiting + kNew, false, recovered, ""},
        {"no log yet", std::nullopt, kWaiting + kNew, {}, kWaiting + kNew, false,
         {Prefix("sysop") + "new", Prefix("guest") + "waiting"}, ""},
        // An earlier load added it and stopped before removing it.
        {"already at the log's end", kOld + kWaiting + kNew, kWaiting + kNew, {}, kOld + kWaiting + kNew, false,
         recovered, ""},
        {"the log's last line unfinished", kOld + torn, kWaiting, {}, kOld + torn + "\r\n" + kWaiting, false,
         {Prefix("guest") + "waiting", Prefix("a") + "old"}, ""},
        {"an empty side file", kOld, "", {}, kOld, false, oldOnly, ""},
        {"the log held for a moment", kOld, kWaiting + kNew, {HeldFor(3, kLog)}, kOld + kWaiting + kNew, false,
         recovered, ""},
        {"the side file unreadable", kOld, kWaiting + kNew, {Failing(FileCall::kRead)}, kOld, true, oldOnly,
         "porresku.pending"},
        {"the side file held", kOld, kWaiting + kNew, {HeldFrom(1, kPending)}, kOld, true, oldOnly,
         "porresku.pending could not be opened"},
        {"the log held all along", kOld, kWaiting + kNew, {HeldFrom(1, kLog)}, kOld, true, {},
         "porresku.pending stays"},
        {"the log's write fails", kOld, kWaiting + kNew, {Failing(FileCall::kWrite)}, kOld, true, oldOnly,
         "porresku.pending stays"},
    };
    for (const RecoveryCase& c : cases) {
        SCOPED_TRACE(c.name);
        BoardSandbox::ResetBoard();
        BoardSandbox::diagnostics.clear();
        std::filesystem::remove(kLog);
        if (c.logBefore) WriteFileBytes(kLog, *c.logBefore);
        WriteFileBytes(kPending, c.pendingBefore);
        {
            FaultInjector faults(c.faults);
            board::LoadHistory();
        }
        EXPECT_EQ(FileBytes(kLog), c.logAfter);
        EXPECT_EQ(FileBytes(kPending), c.pendingStays ? std::optional(c.pendingBefore) : std::nullopt);
        EXPECT_EQ(BoardSandbox::HistoryLines(), c.history);
        if (*c.diagnostic == '\0') {
            EXPECT_TRUE(BoardSandbox::diagnostics.empty()) << Diagnostics();
        } else {
            EXPECT_NE(Diagnostics().find(c.diagnostic), std::string::npos) << Diagnostics();
        }
        // Once nothing is in the way, the next load adds what stayed: every
        // posting of the side file is in the log exactly once.
        board::LoadHistory();
        EXPECT_FALSE(std::filesystem::exists(kPending));
        const std::string log = ReadFileBytes(kLog);
        for (const std::string& line : {Prefix("guest") + "waiting\r\n", Prefix("sysop") + "new\r\n"}) {
            if (c.pendingBefore.find(line) == std::string::npos) continue;
            const std::size_t at = log.find(line);
            EXPECT_NE(at, std::string::npos) << log;
            EXPECT_EQ(log.find(line, at + 1), std::string::npos) << "written twice: " << log;
        }
    }
}

}  // namespace
