// Whole logoffs and menu calls on two channels, with whatever callers type
// and whatever the host answers when asked whether a channel stops. While
// one channel waits inside a host service, the input may run a step of the
// other channel, as a host that serves many callers does.
//
// Errors end a step as board::BoardError (the export's wrapper sends the
// text to the caller); any other exception, or a crash, is a finding.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "FuzzSupport.h"
#include "board/BoardState.h"
#include "board/BoardSteps.h"
#include "board/BoardTexts.h"
#include "board/HistoryLoad.h"
#include "board/Porresku.h"
#include "common/BoardError.h"
#include "support/ExpectedTexts.h"
#include "support/FakeHost.h"

namespace {

struct Caller {
    const char* id;
    const char* handle;
};
// Channel 0, channel 1, and the author of the posting an input may start with.
constexpr Caller kCallers[] = {{"ZERO", "ぜろ"}, {"ONE", "いち"}, {"SEED", "seed"}};
// PORRESKU_FUZZ_TRACE set: each step's lines and the log go to standard error.
const bool trace = std::getenv("PORRESKU_FUZZ_TRACE") != nullptr;

constexpr std::string_view kSeedPosting = "12/01 08:00 SEED\r\nseed          >hello\r\n";

class Session {
public:
    explicit Session(FuzzedDataProvider& input) : input_(input) {
        for (int channel = 0; channel < 2; ++channel) {
            testing_host::FakeChannel& fake = host_.Channel(channel);
            fake.SetUser(kCallers[channel].id, kCallers[channel].handle, input_.ConsumeIntegral<std::int32_t>());
            fake.member.lastLogin = board::ToDateTime({2025, input_.ConsumeIntegralInRange(1, 12), 1, 0, 0, 0, 0});
            fake.duringSend = [this, channel](int) { Service(channel, true); };
            fake.duringInput = [this, channel](int) {
                Service(channel, false);
                host_.Channel(channel).replies.push_back(input_.ConsumeRandomLengthString(400));
            };
            fake.duringStopQuery = [this, channel](int) {
                Service(channel, false);
                host_.Channel(channel).stopAnswers.push_back(input_.ConsumeBool() ? input_.ConsumeIntegral<std::uint32_t>()
                                                                                  : 0);
            };
            objects_[channel] = std::make_unique<Porresku>(channel, host_.CreationRecord(channel));
        }
    }

    // One step on `channel`, as the export runs it.
    void Step(int channel, bool menu) {
        const Porresku& object = *objects_[channel];
        testing_host::FakeChannel& fake = host_.Channel(channel);
        const std::size_t firstLine = fake.sent.size();
        snapshotDue_[channel] = !menu;
        snapshot_[channel].reset();
        try {
            if (menu) {
                object.MenuCall();
            } else {
                object.Goodbye();
            }
        } catch (const board::BoardError& error) {
            object.SendLine(error.what());
        }
        if (!menu) CheckRecentShown(channel, firstLine);
    }

    void CheckAfterStep() {
        const board::BoardState& state = board::Board();
        FUZZ_CHECK(!state.busy, "the busy flag is left set");
        for (int channel = 0; channel < 2; ++channel) fuzz::CheckSentLines(host_.Channel(channel));

        // Each posting as its caller wrote it, whole.
        std::vector<std::string> messages;
        auto take = [&](const std::vector<std::vector<std::string>>& postings) {
            for (const auto& posting : postings) {
                const std::string_view id = std::string_view(posting[0]).substr(posting[0].rfind(' ') + 1);
                const Caller* author = nullptr;
                for (const Caller& caller : kCallers) {
                    if (id == caller.id) author = &caller;
                }
                FUZZ_CHECK(author != nullptr, "a posting by \"%s\"", std::string(id).c_str());
                const std::string prefix = expected::Prefix(author->handle);
                for (std::size_t i = 1; i < posting.size(); ++i) {
                    FUZZ_CHECK(posting[i].starts_with(prefix), "%s's posting has the line \"%s\"", author->id,
                               posting[i].c_str());
                    messages.push_back(posting[i]);
                }
            }
        };
        take(fuzz::CheckWrittenLog(fuzz::ReadLog()));
        // The log can always be opened here, so no posting is left waiting
        // once the steps are over.
        FUZZ_CHECK(state.queued.empty(), "%zu postings still wait for the log", state.queued.size());

        // The recent history holds the newest message lines, in the order written.
        for (int entry = 0; entry < board::RecentHistory::kEntries; ++entry) {
            const std::string_view wanted =
                entry < static_cast<int>(messages.size()) ? std::string_view(messages[messages.size() - 1 - entry]) : "";
            FUZZ_CHECK(state.history.Entry(entry).view() == wanted, "history entry %d differs from the log", entry);
        }
    }

    // What the callers saw and the log holds, to see what an input does.
    void Trace() {
        for (int channel = 0; channel < 2; ++channel) {
            const testing_host::FakeChannel& fake = host_.Channel(channel);
            std::fprintf(stderr, "== channel %d: level %d, %zu prompts, %d stop queries\n", channel,
                         static_cast<int>(fake.user.level), fake.prompts.size(), fake.stopQueries);
            for (const std::string& line : fake.sent) std::fprintf(stderr, "  |%s\n", line.c_str());
        }
        std::fprintf(stderr, "== log\n%s", fuzz::ReadLog().c_str());
    }

private:
    // Runs inside every host service the board calls on `channel`.
    void Service(int channel, bool send) {
        if (send && snapshotDue_[channel]) {
            // The first line of a logoff: the recent messages shown are those of now.
            snapshotDue_[channel] = false;
            std::vector<std::string> lines;
            for (int entry = board::RecentHistory::kEntries - 1; entry >= 0; --entry) {
                const std::string_view line = board::Board().history.Entry(entry).view();
                if (!line.empty()) lines.push_back(fuzz::AsSent(line));
            }
            snapshot_[channel] = std::move(lines);
        }
        if (nested_ || input_.ConsumeIntegralInRange(0, 7) != 7) return;
        const bool busy = board::Board().busy;
        const bool menu = input_.ConsumeBool();
        if (trace) {
            std::fprintf(stderr, "#### meanwhile: %s on channel %d (busy %d, %zu waiting)\n", menu ? "menu call" : "logoff",
                         1 - channel, busy, board::Board().queued.size());
        }
        nested_ = true;
        Step(1 - channel, menu);
        nested_ = false;
        FUZZ_CHECK(board::Board().busy == busy, "another channel's step changed the busy flag");
    }

    // The recent messages, if shown, are those of the moment the display began.
    void CheckRecentShown(int channel, std::size_t firstLine) {
        const std::vector<std::string>& sent = host_.Channel(channel).sent;
        if (sent.size() < firstLine + 3 || sent[firstLine + 2] != board::kHeadingRow || !snapshot_[channel]) return;
        const std::vector<std::string>& shown = *snapshot_[channel];
        FUZZ_CHECK(sent.size() >= firstLine + 3 + shown.size() + 2, "the recent messages are cut short");
        for (std::size_t i = 0; i < shown.size(); ++i) {
            FUZZ_CHECK(sent[firstLine + 3 + i] == shown[i], "recent message %zu differs from the history of its start", i);
        }
        FUZZ_CHECK(sent[firstLine + 3 + shown.size()] == board::kClosingRow, "no closing row after the recent messages");
    }

    FuzzedDataProvider& input_;
    testing_host::FakeHost host_;
    std::unique_ptr<Porresku> objects_[2];
    bool nested_ = false;
    bool snapshotDue_[2] = {false, false};
    std::optional<std::vector<std::string>> snapshot_[2];
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::EnterScratchFolder();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    fuzz::ResetBoard();
    fuzz::SetClock({input.ConsumeIntegralInRange(1990, 2099), input.ConsumeIntegralInRange(1, 12),
                    input.ConsumeIntegralInRange(1, 28), input.ConsumeIntegralInRange(0, 23),
                    input.ConsumeIntegralInRange(0, 59), input.ConsumeIntegralInRange(0, 59), 0});
    if (input.ConsumeBool()) {
        fuzz::WriteLog(kSeedPosting);
        board::LoadHistory();
    }

    Session session(input);
    for (int step = 0; step < 6 && input.remaining_bytes() > 0; ++step) {
        const int channel = input.ConsumeBool() ? 1 : 0;
        const bool menu = input.ConsumeBool();
        if (trace) std::fprintf(stderr, "#### step %d: %s on channel %d\n", step, menu ? "menu call" : "logoff", channel);
        session.Step(channel, menu);
        if (trace) session.Trace();
        session.CheckAfterStep();
    }
    return 0;
}
