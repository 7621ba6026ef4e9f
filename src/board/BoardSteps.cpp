#include "board/BoardSteps.h"

#include <string>

#include "board/BoardState.h"
#include "board/BoardTexts.h"
#include "board/DateTime.h"
#include "board/ListingYears.h"
#include "board/Porresku.h"
#include "board/WaitingPostings.h"
#include "log/HeldFile.h"
#include "log/LogAppender.h"
#include "log/LogError.h"
#include "log/LogFormat.h"
#include "log/LogScanner.h"
#include "platform/Platform.h"

namespace board {

using messagelog::HandlePrefix;
using messagelog::HandlePrefixText;
using messagelog::HasMessageMark;
using messagelog::HeaderLine;
using messagelog::kLogName;
using messagelog::LogError;
using messagelog::ScrubLineBreaks;
using messagelog::TimeKey;
using messagelog::TimeKeyText;

namespace {

constexpr std::string_view kRecentTitle = "最近のアクセス者たち、落ちる前のぽれすく・・・";
constexpr std::string_view kInvitation = "2行以内でメッセージをどうぞ。[ret]のみで登録を終えます。";
constexpr std::string_view kJoiner = "／";
constexpr std::string_view kListPrompt = "PORR: 日付指定([Ret]:前回のLogin以降) >";
constexpr std::string_view kListTitleTail = " 以降のぽれすく・・・";
constexpr std::string_view kNoMessage = "               No message found...";
constexpr std::string_view kNotADate = "' は日付または時刻ではありません";
constexpr std::string_view kBadLastLogin = "前回のLogin日時が正しくないため、日付を指定してください";

// Two lines together shorter than this are joined into one.
constexpr std::size_t kJoinBelow = 63;

bool IsAbortWord(std::string_view line) { return line == "@@" || line == "//"; }

// A typed line as it goes into the log: CR, LF and Ctrl-Z would split its
// line or end the readable text, so each becomes a blank.
ReplyText Scrubbed(const ReplyText& typed) {
    std::string storage;
    return ReplyText(ScrubLineBreaks(typed.view(), storage));
}

MessageLine MakeMessageLine(const HandlePrefixText& prefix, std::string_view text) {
    MessageLine line(prefix.view());
    line.append(text);
    return line;
}

void AppendLogLine(std::string& posting, std::string_view line) {
    posting.append(line);
    posting.append("\r\n");
}

// The listing lets go of the log: postings that waited for it go in now,
// while the flag still keeps others out. A failure here is the waiting
// postings' own, not the listing caller's: they stay queued for the next try.
void WriteWaitingPostings() {
    try {
        WriteQueuedPostings();
    } catch (const LogError& error) {
        platform::Active().diagnostic(error.diagnostic().c_str());
    }
}

// Writes the postings that waited for the listing when it ends, however it
// ends: with its last line, a stop, a log it could not open or read.
class WaitingPostingsAtTheEnd {
public:
    WaitingPostingsAtTheEnd() = default;
    ~WaitingPostingsAtTheEnd() {
        try {
            WriteWaitingPostings();
        } catch (...) {
            // Out of memory: they stay queued for the next posting.
        }
    }
    WaitingPostingsAtTheEnd(const WaitingPostingsAtTheEnd&) = delete;
    WaitingPostingsAtTheEnd& operator=(const WaitingPostingsAtTheEnd&) = delete;
};

CivilTime Now() {
    const platform::LocalTime now = platform::Active().localTime();
    return {now.year, now.month, now.day, now.hour, now.minute, now.second, now.millisecond};
}

// The moment to list from: the typed date, or the caller's previous login.
CivilTime SinceMoment(const Porresku& channel, const ReplyText& reply) {
    if (reply.empty()) {
        const std::optional<CivilTime> login = SplitDateTime(channel.LookUpMember(channel.user().userId).lastLogin);
        if (!login) throw BoardError(std::string(kBadLastLogin));
        return *login;
    }
    const CivilTime now = Now();
    bool hasDate = true;
    const std::optional<DateTime> typed = ReadDateReply(reply, now.year, &hasDate);
    const std::optional<CivilTime> moment = typed ? SplitDateTime(*typed) : std::nullopt;
    if (!moment) throw BoardError("'" + std::string(reply.view()) + std::string(kNotADate));
    return hasDate ? *moment : LatestAtTimeOfDay(*moment, now);
}

}  // namespace

void ShowRecent(const Porresku& channel) {
    if (channel.IsStopping()) return;
    // A posting on another channel while a line is out must not move the
    // lines still to come.
    const RecentHistory recent = Board().history;
    channel.SendLine("");
    channel.SendLine(kRecentTitle);
    channel.SendLine(kHeadingRow);
    for (int entry = RecentHistory::kEntries - 1; entry >= 0; --entry) {
        if (!recent.Entry(entry).empty()) channel.SendLine(recent.Entry(entry));
    }
    channel.SendLine(kClosingRow);
    channel.SendLine("");
}

void PostMessage(const Porresku& channel) {
    channel.SendLine("");
    channel.SendLine(kInvitation);
    channel.SendLine(kRuleRow);

    std::string scrubbed;
    const HandlePrefixText prefix = HandlePrefix(ScrubLineBreaks(channel.user().handleName, scrubbed));
    ReplyText first = Scrubbed(channel.AskLine(prefix));
    if (IsAbortWord(first) || first.empty()) return;
    channel.SendLine(kRuleRow);
    ReplyText second = Scrubbed(channel.AskLine(prefix));
    if (IsAbortWord(second)) return;
    if (!second.empty() && first.size() + second.size() < kJoinBelow) {
        first.append(kJoiner);
        first.append(second);
        second.clear();
    }

    // The posting as it goes into the log, built from this caller's own
    // lines: the shared history may change while the host has control.
    HeaderLine header(TimeKey(Now()).view());
    header.append(" ");
    header.append(ScrubLineBreaks(channel.user().userId, scrubbed));
    const MessageLine firstLine = MakeMessageLine(prefix, first);
    PendingPosting posting;
    posting.reserve(HeaderLine::kRoom + 2 * (MessageLine::kRoom + 2) + 2);
    AppendLogLine(posting, header);
    AppendLogLine(posting, firstLine);
    BoardState& board = Board();
    board.history.Push(firstLine);
    if (!second.empty()) {
        const MessageLine secondLine = MakeMessageLine(prefix, second);
        AppendLogLine(posting, secondLine);
        board.history.Push(secondLine);
    }
    board.queued.push_back(std::move(posting));

    // A listing holds the log: the posting waits in the queue, and the
    // listing writes it when it lets go of the log.
    if (board.busy) {
        channel.SendLine(kBusyNotice);
        return;
    }
    BusyHold hold;
    WriteQueuedPostings();
}

void ListSince(const Porresku& channel) {
    const ReplyText reply = channel.AskLine(kListPrompt);
    const CivilTime since = SinceMoment(channel, reply);
    const TimeKeyText sinceKey = TimeKey(since);

    BoardState& board = Board();
    if (board.busy) {
        channel.SendLine(kBusyNotice);
        return;
    }
    // Taken before the host gets control again, so no second listing can
    // pass the test meanwhile.
    BusyHold hold;
    // Postings made while this listing runs wait for it; written while the
    // flag still keeps others out, once the log is closed.
    const WaitingPostingsAtTheEnd waiting;
    if (channel.IsStopping() || !platform::Active().fileExists(kLogName)) return;

    channel.SendLine("");
    channel.SendLine(std::string(sinceKey.view()) + std::string(kListTitleTail));
    channel.SendLine(kHeadingRow);

    int shown = 0;
    {
        platform::FileHandle handle = platform::kNoFile;
        if (messagelog::OpenPatiently(kLogName, platform::OpenMode::kRead, messagelog::kStepPatience, &handle) != 0) {
            return;
        }
        const messagelog::OpenFile log(handle);
        messagelog::LogScanner scanner(log.handle());
        bool stopped = false;
        const std::optional<messagelog::ScanPlace> from =
            FindListingStart(scanner, since, Now(), [&channel] { return channel.IsStopping(); }, &stopped);
        if (stopped) return;
        // Everything after the header that ends the seek is shown, whatever
        // the stamps of the postings after it.
        if (from) {
            scanner.StartAt(*from);
            scanner.Scan(
                [&](const messagelog::ScannedLine& read) {
                    const std::string_view line = ListedPart(read.bytes);
                    if (HasMessageMark(line)) {
                        channel.SendLine(line);
                        ++shown;
                    }
                    return true;
                },
                [] {});
        }
    }
    // A posting made while this last line is out waits for this listing too.
    channel.SendLine(shown > 0 ? kClosingRow : kNoMessage);
}

}  // namespace board
