// The message log, the recent history and the busy flag: the board's state,
// shared by every channel for as long as the library is loaded.
//
// The log "porresku.log" lies in the host's current folder. It holds
// postings one after another: a header line (time key, a blank, the user ID)
// and one or two message lines (the handle prefix, then the text), each
// ended by CR LF. Readers take a CR as the end of a line (one LF after it
// is skipped), a lone LF as an ordinary byte, and a Ctrl-Z as the end of the
// readable text, as the log's oldest writers left it.
#pragma once

#include <cstddef>
#include <cstring>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "board/DateTime.h"
#include "common/BoundedText.h"
#include "platform/Platform.h"

namespace board {

inline constexpr char kLogName[] = "porresku.log";

// An error that ends a board step; its text (Shift-JIS) goes to the
// channel's caller as one line.
class BoardError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// An input/output error on the open log.
class LogError : public BoardError {
public:
    enum Operation { kRead, kWrite, kSeek, kTruncate };
    LogError(Operation operation, platform::ErrorCode code);

    Operation operation() const { return operation_; }
    platform::ErrorCode code() const { return code_; }
    // The same in plain ASCII, for the developer's diagnostic output.
    std::string diagnostic() const;

private:
    Operation operation_;
    platform::ErrorCode code_;
};

// A message line: handle prefix and text, at most 80 bytes.
using MessageLine = BoundedText<80>;
// A header line: time key, blank and user ID, at most 96 bytes.
using HeaderLine = BoundedText<96>;
// "MM/DD hh:mm", or "MM/DD" for a moment in the first second of a day.
using TimeKeyText = BoundedText<11>;
// The handle padded or cut to 14 bytes, then ">".
using HandlePrefixText = BoundedText<15>;

// The rows and the notice every step shares; each goes out as one line.
extern const std::string_view kRuleRow;     // 15 blanks, 64 "_"
extern const std::string_view kHeadingRow;  // " Handle name   ", 64 "="
extern const std::string_view kClosingRow;  // 14 "-", a blank, 64 "="
extern const std::string_view kBusyNotice;  // a listing runs on another channel

TimeKeyText TimeKey(const CivilTime& moment);
HandlePrefixText HandlePrefix(std::string_view handleName);

// True when byte 15 of a line is ">": the mark of a message line.
inline bool HasMessageMark(std::string_view line) { return line.size() >= 15 && line[14] == '>'; }

// The last ten message lines, entry 0 the newest. A ring, so a push costs
// one copy of the new line however long the log that is being replayed.
class RecentHistory {
public:
    static constexpr int kEntries = 10;

    // Entry 0 takes the line (cut to 80 bytes); the oldest entry is lost.
    void Push(std::string_view line) {
        newest_ = (newest_ + kEntries - 1) % kEntries;
        entries_[newest_].assign(line);
    }
    const MessageLine& Entry(int index) const { return entries_[(newest_ + index) % kEntries]; }
    void Clear() {
        for (MessageLine& entry : entries_) entry.clear();
        newest_ = 0;
    }

private:
    MessageLine entries_[kEntries];
    int newest_ = 0;
};

// A posting waiting for the log: its header and message lines, CR LF ended.
using PendingPosting = std::string;

// Everything the channels share.
struct BoardState {
    RecentHistory history;
    // Set while a step reads or appends the log. A plain flag: the host runs
    // one export at a time, and other channels come in only while a step
    // waits inside a host service, so testing and setting it with no host
    // call between is enough.
    bool busy = false;
    // Postings that could not reach the log yet, oldest first.
    std::vector<PendingPosting> queued;
};

BoardState& Board();

// Sets the busy flag for one step and clears it when the step ends, however
// it ends. Never clears a flag that somebody else set.
class BusyHold {
public:
    BusyHold() { Board().busy = true; }
    ~BusyHold() { Board().busy = false; }
    BusyHold(const BusyHold&) = delete;
    BusyHold& operator=(const BusyHold&) = delete;
};

// Reads the log line by line through a large buffer, finding each line's
// end while it copies the line. Closes the file when it goes out of scope.
class LogReader {
public:
    LogReader();
    ~LogReader();
    LogReader(const LogReader&) = delete;
    LogReader& operator=(const LogReader&) = delete;

    // Opens the log for reading; false when it cannot be opened.
    bool Open();
    // The next line, its first Room bytes kept and the rest skipped. At the
    // end of the readable text the line is empty. Throws LogError.
    template <std::size_t Room>
    void ReadLine(BoundedText<Room>& line) {
        line.clear();
        ReadLineInto(line.bytes, Room, &line.length);
    }
    // True when no readable byte is left. Throws LogError.
    bool AtEnd();
    // A failure to close is of no consequence to a reader.
    void Close();

    // Where the next line begins, to come back to with SeekTo.
    struct Place {
        std::int64_t offset = 0;
        bool skipLineFeed = false;  // the line before ended in a CR that was the buffer's last byte
    };
    Place Tell() const { return {bufferStart_ + static_cast<std::int64_t>(position_), skipLineFeed_}; }
    // Reads on from a place Tell gave. Throws LogError.
    void SeekTo(const Place& place);

private:
    void ReadLineInto(char* bytes, std::size_t room, std::uint8_t* length);
    bool Refill();

    platform::FileHandle file_ = platform::kNoFile;
    std::vector<char> buffer_;
    std::size_t position_ = 0;
    std::size_t limit_ = 0;
    bool endOfText_ = false;
    bool skipLineFeed_ = false;
    std::int64_t bufferStart_ = 0;  // the file offset of buffer_[0]
    // The text the buffer holds from its last fill: it stays there after
    // the read that finds the end of the file.
    std::int64_t filledStart_ = 0;
    std::size_t filled_ = 0;
};

// Writes the queued postings at the end of the log, oldest first: opens it
// for appending (or creates it), cuts it at a Ctrl-Z near its end, ends an
// unfinished last line, writes, closes. Postings that reached the log leave
// the queue. False when the log could not be opened (the queue stays).
// Throws LogError on an input/output error after opening: the log is closed
// again and keeps no part of a posting that failed.
bool WriteQueuedPostings();

// At library load: clears the busy flag and rebuilds the recent history from
// the log. A read error keeps what was read so far and goes to the
// diagnostic output.
void LoadHistory();

// At library unload: writes postings still waiting for the log.
void WriteQueuedPostingsAtUnload();

// A log text with bytes that would break the log's lines (CR, LF, Ctrl-Z)
// replaced by blanks.
std::string_view ScrubLineBreaks(std::string_view text, std::string& storage);

}  // namespace board
