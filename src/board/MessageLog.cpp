#include "board/MessageLog.h"

#include "board/PendingPostings.h"

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
    position_ = limit_ = 0;
    endOfText_ = skipLineFeed_ = false;
    if (OpenPatiently(kLogName, platform::OpenMode::kRead, kStepPatience, &file_) != 0) {
        file_ = platform::kNoFile;
        return false;
    }
    buffer_.resize(kReadBuffer);
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

bool LogReader::Refill() {
    position_ = limit_ = 0;
    if (file_ == platform::kNoFile) return false;
    limit_ = ReadText(file_, buffer_.data(), buffer_.size(), endOfText_);
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

bool WriteQueuedPostings() { return AppendPostings(kLogName, Board().queued, kStepPatience); }

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
    RecoverPendingPostings();
    platform::FileHandle handle = platform::kNoFile;
    if (OpenPatiently(kLogName, platform::OpenMode::kRead, kStepPatience, &handle) != 0) return;  // no log yet
    const OpenFile log(handle);
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
