// The host's record of who is on the channel, byte for byte from the input
// (length bytes larger than their fields, any level, any bytes in the ID and
// the handle), and any double as the member's last login. A logoff with a
// posting, then a menu call answered with a bare Return, so the listing
// starts at the last login.
//
// Input: 63 bytes of the channel user record, 8 bytes of the last login,
// then the first line the caller types ("hello" when there is none).
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>

#include "FuzzSupport.h"
#include "board/BoardState.h"
#include "board/BoardSteps.h"
#include "board/DateTime.h"
#include "board/Porresku.h"
#include "common/BoardError.h"
#include "log/LogFormat.h"
#include "support/ExpectedTexts.h"
#include "support/FakeHost.h"

namespace {

constexpr platform::LocalTime kNow{2025, 12, 10, 9, 5, 0, 0};
constexpr std::string_view kNowKey = "12/10 09:05";

// A typed text as the log must get it: CR, LF and Ctrl-Z each a blank.
std::string Blanked(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c == '\r' || c == '\n' || c == '\x1A') c = ' ';
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::EnterScratchFolder();
    fuzz::SetClock(kNow);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::uint8_t fixed[sizeof(quarn::ChannelUserRecord) + sizeof(double)] = {};
    std::memcpy(fixed, data, std::min(size, sizeof fixed));
    const std::string typed = size > sizeof fixed ? std::string(reinterpret_cast<const char*>(data) + sizeof fixed,
                                                                size - sizeof fixed)
                                                  : std::string("hello");
    double lastLogin;
    std::memcpy(&lastLogin, fixed + sizeof(quarn::ChannelUserRecord), sizeof lastLogin);

    fuzz::ResetBoard();
    testing_host::FakeHost host;
    testing_host::FakeChannel& channel = host.Channel(7);
    std::memcpy(&channel.user, fixed, sizeof channel.user);
    channel.member.lastLogin = lastLogin;
    const Porresku object(7, host.CreationRecord(7));
    FUZZ_CHECK(std::memcmp(&object.user(), fixed, sizeof channel.user) == 0, "the user record is not the host's");

    // The logoff: a first line, then Return alone.
    channel.replies = {typed, ""};
    try {
        object.Goodbye();
    } catch (const board::BoardError& error) {
        FUZZ_CHECK(false, "the logoff failed: %s", error.what());
    }
    fuzz::CheckSentLines(channel);
    FUZZ_CHECK(!board::Board().busy && board::Board().queued.empty(), "the posting did not reach the log");

    const std::string id = Blanked(object.user().userId.view());
    const std::string prefix = expected::Prefix(Blanked(object.user().handleName.view()));
    const std::string line = Blanked(std::string_view(typed).substr(0, ::strnlen(typed.c_str(), 80)));
    const bool posts = object.user().level > 2 && !line.empty() && line != "@@" && line != "//";
    const std::string message = (prefix + line).substr(0, 80);
    const std::string header = std::string(kNowKey) + " " + id;
    if (posts) {
        FUZZ_CHECK(fuzz::ReadLog() == header + "\r\n" + message + "\r\n", "the log is not the posting");
        FUZZ_CHECK(board::Board().history.Entry(0).view() == message, "the posting is not the newest message");
    } else {
        FUZZ_CHECK(!fuzz::LogExists(), "level %d wrote the log", static_cast<int>(object.user().level));
    }

    // The menu call, answered with Return: the listing since the last login.
    channel.sent.clear();
    channel.replies = {""};
    const std::optional<board::CivilTime> since = board::SplitDateTime(lastLogin);
    try {
        object.MenuCall();
        FUZZ_CHECK(since.has_value(), "the last login %.17g was taken as a date", lastLogin);
    } catch (const board::BoardError&) {
        FUZZ_CHECK(!since.has_value(), "the listing since %.17g failed", lastLogin);
        return 0;
    }
    fuzz::CheckSentLines(channel);
    FUZZ_CHECK(!board::Board().busy, "the listing left the busy flag set");
    FUZZ_CHECK(!channel.foundIds.empty() && channel.foundIds.back() == fuzz::AsSent(object.user().userId.view()),
               "the member looked up is not the caller");
    if (!posts) {
        FUZZ_CHECK(channel.sent.empty(), "a listing without a log sent %zu lines", channel.sent.size());
        return 0;
    }
    // Known and left open: an ID with '>' as its third byte puts the mark of
    // a message line at byte 15 of its header, and the listing takes the
    // header for a message line. Only the frame is checked then.
    if (header.size() > 14 && header[14] == '>') {
        FUZZ_CHECK(channel.sent.size() >= 4, "the listing sent %zu lines", channel.sent.size());
        return 0;
    }
    // The lone posting is of this year, 2025-12-10 09:05: listed when the
    // last login, to the minute, is not later.
    const bool listed = std::tie(since->year, since->month, since->day, since->hour, since->minute) <=
                        std::make_tuple(kNow.year, kNow.month, kNow.day, kNow.hour, kNow.minute);
    FUZZ_CHECK(channel.sent.size() == (listed ? 5u : 4u), "the listing sent %zu lines", channel.sent.size());
    if (listed) FUZZ_CHECK(channel.sent[3] == fuzz::AsSent(message), "the listing shows another line");
    return 0;
}
