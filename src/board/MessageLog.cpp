#include "board/MessageLog.h"

#include <emmintrin.h>  // used only where the processor has SSE2

#include <algorithm>
#include <bit>
#include <cstdio>
#include <string>


namespace board {

const std::string_view kRuleRow =
    "               ________________________________________________________________";
const std::string_view kHeadingRow =
    " Handle name   ================================================================";
const std::string_view kClosingRow =
    "-------------- ================================================================";
const std::string_view kBusyNotice = "他のチャンネルで閲覧中";

namespace {

constexpr char kCtrlZ = 0x1A;
// Bytes read from the log at a time: large enough that line ends are found
// at memchr speed, small enough that a log of any size costs the same memory.
constexpr std::size_t kReadBuffer = 128 * 1024;
// How far from the end of the log a Ctrl-Z is looked for before appending.
constexpr std::int64_t kCtrlZWindow = 128;

void Two(char* out, int value) {
    out[0] = static_cast<char>('0' + value / 10 % 10);
    out[1] = static_cast<char>('0' + value % 10);
}

}  // namespace

namespace {

const char* OperationWord(LogError::Operation operation) {
    switch (operation) {
        case LogError::kRead: return "read";
        case LogError::kWrite: return "write";
        case LogError::kSeek: return "seek";
        case LogError::kTruncate: return "truncate";
    }
    return "access";
}

const char* OperationWordJa(LogError::Operation operation) {
    switch (operation) {
        case LogError::kRead: return "読み込み";
        case LogError::kWrite: return "書き込み";
        case LogError::kSeek: return "位置合わせ";
        case LogError::kTruncate: return "切り詰め";
    }
    return "操作";
}

std::string CallerText(LogError::Operation operation, platform::ErrorCode code) {
    return std::string("入出力エラー: porresku.log の") + OperationWordJa(operation) + "に失敗しました (コード " +
           std::to_string(code) + ")";
}

}  // namespace

LogError::LogError(Operation operation, platform::ErrorCode code)
    : BoardError(CallerText(operation, code)), operation_(operation), code_(code) {}

std::string LogError::diagnostic() const {
    return std::string("porresku.log: ") + OperationWord(operation_) + " failed (error " + std::to_string(code_) + ")";
}

BoardState& Board() {
    static BoardState state;
    return state;
}

TimeKeyText TimeKey(const CivilTime& moment) {
    char text[11];
    Two(text, moment.month);
    text[2] = '/';
    Two(text + 3, moment.day);
    // The date-time text leaves the time out at exactly midnight (to the second).
    if (moment.hour == 0 && moment.minute == 0 && moment.second == 0) return TimeKeyText({text, 5});
    text[5] = ' ';
    Two(text + 6, moment.hour);
    text[8] = ':';
    Two(text + 9, moment.minute);
    return TimeKeyText({text, 11});
}

HandlePrefixText HandlePrefix(std::string_view handleName) {
    char text[15];
    std::memset(text, ' ', 14);
    std::memcpy(text, handleName.data(), std::min<std::size_t>(handleName.size(), 14));
    text[14] = '>';
    return HandlePrefixText({text, 15});
}

std::string_view ScrubLineBreaks(std::string_view text, std::string& storage) {
    auto breaksLine = [](char c) { return c == '\r' || c == '\n' || c == kCtrlZ; };
    if (std::none_of(text.begin(), text.end(), breaksLine)) return text;
    storage.assign(text);
    std::replace_if(storage.begin(), storage.end(), breaksLine, ' ');
    return storage;
}

// ---- reading ----------------------------------------------------------------

LogReader::LogReader() = default;

LogReader::~LogReader() { Close(); }

bool LogReader::Open() {
    Close();
    if (platform::Active().open(kLogName, platform::OpenMode::kRead, &file_) != 0) {
        file_ = platform::kNoFile;
        return false;
    }
    buffer_.resize(kReadBuffer);
    position_ = limit_ = 0;
    endOfText_ = skipLineFeed_ = false;
    bufferStart_ = filledStart_ = 0;
    filled_ = 0;
    return true;
}

void LogReader::Close() {
    if (file_ == platform::kNoFile) return;
    platform::Active().close(file_);
    file_ = platform::kNoFile;
}

namespace {

// The next stretch of readable text into `buffer`; 0 at the end of it.
// Throws LogError.
std::size_t ReadText(platform::FileHandle file, char* buffer, std::size_t size, bool& endOfText) {
    if (endOfText) return 0;
    std::size_t got = 0;
    if (const platform::ErrorCode error = platform::Active().read(file, buffer, size, &got)) {
        throw LogError(LogError::kRead, error);
    }
    if (got == 0) {
        endOfText = true;
        return 0;
    }
    // Nothing after a Ctrl-Z is text: the file ends there for every reader.
    if (const void* mark = std::memchr(buffer, kCtrlZ, got)) {
        got = static_cast<std::size_t>(static_cast<const char*>(mark) - buffer);
        endOfText = true;
    }
    return got;
}

static_assert(std::endian::native == std::endian::little, "the line scan reads bytes in words, lowest address first");

// Copying a line into a BoundedText and finding its end (the first CR) are
// done in one pass: lines are short, and a memchr and a memcpy call for each
// of them cost more than the bytes themselves. Whole words (or blocks) are
// copied even when the line ends inside one: what lies past the line's end
// in the room is no part of the line.

// The part of a line the block loop left: a word at a time, then bytes.
// Returns the CR's address (nullptr when none comes before the end of the
// buffer) and sets `copied`, at most `room` bytes.
inline const char* FinishLine(char* to, std::size_t room, const char* from, std::size_t available,
                              std::size_t done, std::size_t* copied) {
    constexpr std::uint32_t kOnes = 0x01010101u;
    constexpr std::uint32_t kHighs = 0x80808080u;
    constexpr std::uint32_t kCrs = 0x0D0D0D0Du;
    const std::size_t upTo = std::min(room, available);
    for (; done + 4 <= upTo; done += 4) {
        std::uint32_t word;
        std::memcpy(&word, from + done, 4);
        std::memcpy(to + done, &word, 4);
        // A high bit for each CR byte; the lowest one is the first CR.
        const std::uint32_t x = word ^ kCrs;
        if (const std::uint32_t crs = (x - kOnes) & ~x & kHighs) {
            *copied = done + static_cast<std::size_t>(std::countr_zero(crs)) / 8;
            return from + *copied;
        }
    }
    for (; done < upTo; ++done) {
        if (from[done] == '\r') {
            *copied = done;
            return from + done;
        }
        to[done] = from[done];
    }
    *copied = done;
    // The rest of a line longer than the room is only passed over.
    return done == available ? nullptr : static_cast<const char*>(std::memchr(from + done, '\r', available - done));
}

const char* CopyLineByWords(char* to, std::size_t room, const char* from, std::size_t available, std::size_t* copied) {
    return FinishLine(to, room, from, available, 0, copied);
}

// Sixteen bytes at a time where the processor has SSE2 (since the Pentium 4).
__attribute__((target("sse2"))) const char* CopyLineBySse2(char* to, std::size_t room, const char* from,
                                                          std::size_t available, std::size_t* copied) {
    const std::size_t upTo = std::min(room, available);
    const __m128i crs = _mm_set1_epi8('\r');
    std::size_t done = 0;
    for (; done + 16 <= upTo; done += 16) {
        const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + done));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(to + done), block);
        if (const unsigned found = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(block, crs)))) {
            *copied = done + static_cast<std::size_t>(std::countr_zero(found));
            return from + *copied;
        }
    }
    return FinishLine(to, room, from, available, done, copied);
}

using CopyLineFn = const char* (*)(char*, std::size_t, const char*, std::size_t, std::size_t*);

// Chosen on first use, not at static initialisation: the library loads the
// history from a static object's constructor.
CopyLineFn ChooseCopyLine() {
    __builtin_cpu_init();  // may run before the runtime's own constructor
    return __builtin_cpu_supports("sse2") ? CopyLineBySse2 : CopyLineByWords;
}

}  // namespace

void LogReader::SeekTo(const Place& place) {
    // A place within the text the buffer still holds needs no reading again.
    if (place.offset >= filledStart_ && place.offset <= filledStart_ + static_cast<std::int64_t>(filled_)) {
        bufferStart_ = filledStart_;
        position_ = static_cast<std::size_t>(place.offset - filledStart_);
        limit_ = filled_;
        skipLineFeed_ = place.skipLineFeed;
        return;
    }
    std::int64_t at = 0;
    if (const platform::ErrorCode error = platform::Active().seek(file_, place.offset, platform::SeekFrom::kBegin, &at)) {
        throw LogError(LogError::kSeek, error);
    }
    bufferStart_ = filledStart_ = place.offset;
    position_ = limit_ = filled_ = 0;
    endOfText_ = false;
    skipLineFeed_ = place.skipLineFeed;
}

bool LogReader::Refill() {
    bufferStart_ += static_cast<std::int64_t>(limit_);
    position_ = limit_ = 0;
    if (file_ == platform::kNoFile) return false;
    limit_ = ReadText(file_, buffer_.data(), buffer_.size(), endOfText_);
    if (limit_ != 0) {
        filledStart_ = bufferStart_;
        filled_ = limit_;
    }
    return limit_ != 0;
}

bool LogReader::AtEnd() {
    if (skipLineFeed_) {
        skipLineFeed_ = false;
        if (position_ == limit_ && !Refill()) return true;
        if (buffer_[position_] == '\n') ++position_;
    }
    return position_ == limit_ && !Refill();
}

void LogReader::ReadLineInto(char* bytes, std::size_t room, std::uint8_t* length) {
    // A line that begins inside the buffer needs no end test.
    if ((skipLineFeed_ || position_ == limit_) && AtEnd()) return;
    static const CopyLineFn CopyToLineEnd = ChooseCopyLine();
    std::size_t kept = 0;
    for (;;) {
        std::size_t copied = 0;
        const char* lineEnd = CopyToLineEnd(bytes + kept, room - kept, buffer_.data() + position_, limit_ - position_,
                                            &copied);
        kept += copied;
        if (lineEnd != nullptr) {
            position_ = static_cast<std::size_t>(lineEnd - buffer_.data()) + 1;
            // One LF after the CR belongs to this line end: passed over now
            // when it is in the buffer, else once the buffer is filled again.
            if (position_ == limit_) {
                skipLineFeed_ = true;
            } else if (buffer_[position_] == '\n') {
                ++position_;
            }
            break;
        }
        position_ = limit_;
        if (!Refill()) break;  // the last line has no line end
    }
    *length = static_cast<std::uint8_t>(kept);
}

// ---- appending --------------------------------------------------------------

namespace {

// An open log that is closed on every way out of the step; a failure to
// close is of no consequence once the data is written.
class OpenLog {
public:
    explicit OpenLog(platform::FileHandle file) : file_(file) {}
    ~OpenLog() { platform::Active().close(file_); }
    OpenLog(const OpenLog&) = delete;
    OpenLog& operator=(const OpenLog&) = delete;
    platform::FileHandle handle() const { return file_; }

protected:
    platform::FileHandle file_;
};

// The log open for appending.
class AppendFile : public OpenLog {
public:
    using OpenLog::OpenLog;

    // The system's answer, for a seek that may be refused.
    platform::ErrorCode TrySeek(std::int64_t offset, platform::SeekFrom from, std::int64_t* at) {
        return platform::Active().seek(file_, offset, from, at);
    }
    std::int64_t Seek(std::int64_t offset, platform::SeekFrom from) {
        std::int64_t at = 0;
        if (const platform::ErrorCode error = TrySeek(offset, from, &at)) throw LogError(LogError::kSeek, error);
        return at;
    }
    // Up to `size` bytes, fewer only at the end of the file.
    std::size_t ReadUpTo(char* bytes, std::size_t size) {
        std::size_t have = 0;
        while (have < size) {
            std::size_t got = 0;
            const platform::ErrorCode error = platform::Active().read(file_, bytes + have, size - have, &got);
            if (error != 0) throw LogError(LogError::kRead, error);
            if (got == 0) break;
            have += got;
        }
        return have;
    }
    void ReadExactly(char* bytes, std::size_t size) {
        if (ReadUpTo(bytes, size) != size) throw LogError(LogError::kRead, 0);  // the file shrank meanwhile
    }
    // Cuts the file at `size`.
    void CutAt(std::int64_t size) {
        Seek(size, platform::SeekFrom::kBegin);
        if (const platform::ErrorCode error = platform::Active().truncate(file_)) {
            throw LogError(LogError::kTruncate, error);
        }
    }
};

// The log's size once a Ctrl-Z near its end is cut off, and whether its
// last line is unfinished (ends neither in CR nor in CR LF).
struct LogEnd {
    std::int64_t size;
    bool unfinishedLine;
};

// Leaves the file position at the returned size, where the postings go.
LogEnd PrepareEnd(AppendFile& file) {
    // One seek finds the tail of a log of 128 bytes or more. The system
    // refuses it for a shorter log, which is then read from its start; a log
    // that turns out long after all had a seek that really failed.
    char tail[kCtrlZWindow + 1];
    std::int64_t tailStart = 0;
    std::size_t tailSize = kCtrlZWindow;
    const platform::ErrorCode refused = file.TrySeek(-kCtrlZWindow, platform::SeekFrom::kEnd, &tailStart);
    if (refused == 0) {
        file.ReadExactly(tail, kCtrlZWindow);
    } else {
        file.Seek(0, platform::SeekFrom::kBegin);
        tailSize = file.ReadUpTo(tail, sizeof tail);
        if (tailSize >= kCtrlZWindow) throw LogError(LogError::kSeek, refused);
    }
    std::int64_t size = tailStart + static_cast<std::int64_t>(tailSize);
    std::size_t kept = tailSize;
    if (const void* mark = std::memchr(tail, kCtrlZ, tailSize)) {
        kept = static_cast<std::size_t>(static_cast<const char*>(mark) - tail);
        size = tailStart + static_cast<std::int64_t>(kept);
        file.CutAt(size);
    }
    if (size == 0) return {0, false};
    char last[2];
    if (kept >= 2) {
        std::memcpy(last, tail + kept - 2, 2);
    } else {
        // The cut left fewer than two bytes of the tail in hand.
        const std::int64_t from = std::max<std::int64_t>(size - 2, 0);
        file.Seek(from, platform::SeekFrom::kBegin);
        last[0] = '\0';
        file.ReadExactly(last + (size - from == 1 ? 1 : 0), static_cast<std::size_t>(size - from));
    }
    const bool endsWithCr = last[1] == '\r';
    const bool endsWithCrLf = last[0] == '\r' && last[1] == '\n';
    return {size, !(endsWithCr || endsWithCrLf)};
}

}  // namespace

bool WriteQueuedPostings() {
    BoardState& board = Board();
    if (board.queued.empty()) return true;
    platform::Calls& os = platform::Active();
    // The log is there but for the very first posting: the exists test,
    // which tells whether to create it, is needed only when it does not open.
    platform::FileHandle handle = platform::kNoFile;
    if (os.open(kLogName, platform::OpenMode::kAppend, &handle) != 0 &&
        (os.fileExists(kLogName) || os.open(kLogName, platform::OpenMode::kCreate, &handle) != 0)) {
        return false;
    }
    AppendFile file(handle);
    const LogEnd end = PrepareEnd(file);

    // One write for everything waiting, so a posting reaches the log whole;
    // the usual lone posting is written from where it waits.
    std::string joined;
    const std::string* bytes = &board.queued.front();
    if (end.unfinishedLine || board.queued.size() > 1) {
        if (end.unfinishedLine) joined += "\r\n";
        for (const PendingPosting& posting : board.queued) joined += posting;
        bytes = &joined;
    }
    std::size_t written = 0;
    if (const platform::ErrorCode error = os.write(file.handle(), bytes->data(), bytes->size(), &written)) {
        // Take back what reached the file, so the postings can be written
        // whole later and nothing appears twice. If even that fails, the
        // postings that did reach the log leave the queue.
        try {
            file.CutAt(end.size);
        } catch (const LogError&) {
            std::size_t reached = end.unfinishedLine ? 2 : 0;
            std::size_t whole = 0;
            while (whole < board.queued.size() && (reached += board.queued[whole].size()) <= written) ++whole;
            board.queued.erase(board.queued.begin(), board.queued.begin() + static_cast<std::ptrdiff_t>(whole));
        }
        throw LogError(LogError::kWrite, error);
    }
    board.queued.clear();
    return true;
}

void WriteQueuedPostingsAtUnload() {
    try {
        WriteQueuedPostings();
    } catch (const LogError& error) {
        platform::Active().diagnostic(error.diagnostic().c_str());
    }
    if (!Board().queued.empty()) {
        platform::Active().diagnostic("postings that could not reach porresku.log are lost at unload");
    }
}

// ---- the load ---------------------------------------------------------------

namespace {

// A message line that is no header ("MM/DD hh:mm" has "/" at byte 3 and ":"
// at byte 9): what the history keeps. Only the first 16 bytes count.
bool IsHistoryLine(std::string_view line) {
    const bool header = line.size() >= 9 && line[2] == '/' && line[8] == ':';
    return !header && line.size() > 15 && HasMessageMark(line);
}

// The message lines of one buffer's worth of the log. Only the last ten
// reach the history, so they are noted where they lie and copied once,
// before the buffer is filled again, rather than line by line.
class BufferedHistoryLines {
public:
    explicit BufferedHistoryLines(RecentHistory& history) : history_(history) {}

    void Note(std::string_view line) {
        if (!IsHistoryLine(line)) return;
        lines_[next_] = line;
        next_ = next_ + 1 == RecentHistory::kEntries ? 0 : next_ + 1;
        if (count_ < RecentHistory::kEntries) ++count_;
    }
    // Oldest first, as the log has them.
    void Flush() {
        for (int back = count_; back > 0; --back) {
            history_.Push(lines_[(next_ + RecentHistory::kEntries - back) % RecentHistory::kEntries]);
        }
        count_ = 0;
    }

private:
    RecentHistory& history_;
    std::string_view lines_[RecentHistory::kEntries];
    int next_ = 0;
    int count_ = 0;
};


}  // namespace

// Reads lines as LogReader does (CR ends a line, one LF after it is skipped,
// a Ctrl-Z ends the text), through the same buffer size, without copying
// each line out of the buffer.
void LoadHistory() {
    BoardState& board = Board();
    board.busy = false;
    board.history.Clear();
    platform::FileHandle handle = platform::kNoFile;
    if (platform::Active().open(kLogName, platform::OpenMode::kRead, &handle) != 0) return;  // no log yet
    const OpenLog log(handle);
    std::vector<char> buffer(kReadBuffer);
    BufferedHistoryLines noted(board.history);
    HeaderLine carried;  // the first bytes of a line that began in an earlier buffer
    bool carrying = false;
    bool skipLineFeed = false;
    bool endOfText = false;
    try {
        for (;;) {
            noted.Flush();  // the buffer is about to be overwritten
            const std::size_t got = ReadText(log.handle(), buffer.data(), buffer.size(), endOfText);
            if (got == 0) break;
            const char* at = buffer.data();
            const char* const end = at + got;
            if (skipLineFeed) {
                skipLineFeed = false;
                if (*at == '\n') ++at;
            }
            while (at != end) {
                const char* lineEnd = static_cast<const char*>(std::memchr(at, '\r', static_cast<std::size_t>(end - at)));
                if (lineEnd == nullptr) {
                    if (!carrying) carried.clear();
                    carried.append({at, static_cast<std::size_t>(end - at)});
                    carrying = true;
                    break;
                }
                const std::string_view line(at, static_cast<std::size_t>(lineEnd - at));
                if (carrying) {
                    // The first line of this buffer: nothing is noted before it yet.
                    carried.append(line);
                    if (IsHistoryLine(carried)) board.history.Push(carried);
                    carrying = false;
                } else {
                    noted.Note(line);
                }
                at = lineEnd + 1;
                if (at == end) {
                    skipLineFeed = true;
                } else if (*at == '\n') {
                    ++at;
                }
            }
        }
        // The last line has no line end.
        if (carrying && IsHistoryLine(carried)) board.history.Push(carried);
    } catch (const LogError& error) {
        platform::Active().diagnostic(error.diagnostic().c_str());
    }
}

}  // namespace board
