#include "board/MessageLog.h"

#include <algorithm>
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
    if (text.find_first_of("\r\n\x1A") == std::string_view::npos) return text;
    storage.assign(text);
    for (char& c : storage) {
        if (c == '\r' || c == '\n' || c == kCtrlZ) c = ' ';
    }
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
    return true;
}

void LogReader::Close() {
    if (file_ == platform::kNoFile) return;
    platform::Active().close(file_);
    file_ = platform::kNoFile;
}

bool LogReader::Refill() {
    position_ = limit_ = 0;
    if (endOfText_ || file_ == platform::kNoFile) return false;
    std::size_t got = 0;
    if (const platform::ErrorCode error = platform::Active().read(file_, buffer_.data(), buffer_.size(), &got)) {
        throw LogError(LogError::kRead, error);
    }
    if (got == 0) {
        endOfText_ = true;
        return false;
    }
    // Nothing after a Ctrl-Z is text: the file ends there for every reader.
    if (const void* mark = std::memchr(buffer_.data(), kCtrlZ, got)) {
        got = static_cast<std::size_t>(static_cast<const char*>(mark) - buffer_.data());
        endOfText_ = true;
    }
    limit_ = got;
    return got != 0;
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
    if (AtEnd()) return;
    std::size_t kept = 0;
    for (;;) {
        const char* start = buffer_.data() + position_;
        const std::size_t available = limit_ - position_;
        const char* lineEnd = static_cast<const char*>(std::memchr(start, '\r', available));
        const std::size_t taken = lineEnd != nullptr ? static_cast<std::size_t>(lineEnd - start) : available;
        const std::size_t copied = std::min(taken, room - kept);
        std::memcpy(bytes + kept, start, copied);
        kept += copied;
        if (lineEnd != nullptr) {
            position_ += taken + 1;
            skipLineFeed_ = true;  // one LF after the CR belongs to this line end
            break;
        }
        position_ = limit_;
        if (!Refill()) break;  // the last line has no line end
    }
    *length = static_cast<std::uint8_t>(kept);
}

// ---- appending --------------------------------------------------------------

namespace {

// An open log that is closed on every way out of the step.
class AppendFile {
public:
    explicit AppendFile(platform::FileHandle file) : file_(file) {}
    ~AppendFile() { platform::Active().close(file_); }
    AppendFile(const AppendFile&) = delete;
    AppendFile& operator=(const AppendFile&) = delete;

    std::int64_t Seek(std::int64_t offset, platform::SeekFrom from) {
        std::int64_t at = 0;
        if (const platform::ErrorCode error = platform::Active().seek(file_, offset, from, &at)) {
            throw LogError(LogError::kSeek, error);
        }
        return at;
    }
    void ReadExactly(char* bytes, std::size_t size) {
        std::size_t have = 0;
        while (have < size) {
            std::size_t got = 0;
            const platform::ErrorCode error = platform::Active().read(file_, bytes + have, size - have, &got);
            if (error != 0) throw LogError(LogError::kRead, error);
            if (got == 0) throw LogError(LogError::kRead, 0);
            have += got;
        }
    }
    // Cuts the file at `size`.
    void CutAt(std::int64_t size) {
        Seek(size, platform::SeekFrom::kBegin);
        if (const platform::ErrorCode error = platform::Active().truncate(file_)) {
            throw LogError(LogError::kTruncate, error);
        }
    }
    platform::FileHandle handle() const { return file_; }

private:
    platform::FileHandle file_;
};

// The log's size once a Ctrl-Z near its end is cut off, and whether its
// last line is unfinished (ends neither in CR nor in CR LF).
struct LogEnd {
    std::int64_t size;
    bool unfinishedLine;
};

LogEnd PrepareEnd(AppendFile& file) {
    std::int64_t size = file.Seek(0, platform::SeekFrom::kEnd);
    if (size == 0) return {0, false};
    char tail[kCtrlZWindow];
    const std::int64_t tailSize = std::min(size, kCtrlZWindow);
    const std::int64_t tailStart = size - tailSize;
    file.Seek(tailStart, platform::SeekFrom::kBegin);
    file.ReadExactly(tail, static_cast<std::size_t>(tailSize));
    std::int64_t kept = tailSize;
    if (const void* mark = std::memchr(tail, kCtrlZ, static_cast<std::size_t>(tailSize))) {
        kept = static_cast<const char*>(mark) - tail;
        size = tailStart + kept;
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
    const bool exists = os.fileExists(kLogName);
    platform::FileHandle handle = platform::kNoFile;
    if (os.open(kLogName, exists ? platform::OpenMode::kAppend : platform::OpenMode::kCreate, &handle) != 0) {
        return false;
    }
    AppendFile file(handle);
    const LogEnd end = PrepareEnd(file);

    // One write for everything waiting, so a posting reaches the log whole.
    std::string bytes;
    if (end.unfinishedLine) bytes += "\r\n";
    std::vector<std::size_t> postingEnds;
    for (const PendingPosting& posting : board.queued) {
        bytes += posting;
        postingEnds.push_back(bytes.size());
    }
    file.Seek(end.size, platform::SeekFrom::kBegin);
    std::size_t written = 0;
    if (const platform::ErrorCode error = os.write(file.handle(), bytes.data(), bytes.size(), &written)) {
        // Take back what reached the file, so the postings can be written
        // whole later and nothing appears twice. If even that fails, the
        // postings that did reach the log leave the queue.
        try {
            file.CutAt(end.size);
        } catch (const LogError&) {
            const auto whole = std::upper_bound(postingEnds.begin(), postingEnds.end(), written) - postingEnds.begin();
            board.queued.erase(board.queued.begin(), board.queued.begin() + whole);
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

// "MM/DD hh:mm" has "/" at byte 3 and ":" at byte 9.
bool IsHeaderLine(const HeaderLine& line) {
    return line.size() >= 9 && line.bytes[2] == '/' && line.bytes[8] == ':';
}

}  // namespace

void LoadHistory() {
    BoardState& board = Board();
    board.busy = false;
    board.history.Clear();
    LogReader reader;
    if (!reader.Open()) return;  // no log yet: an empty history
    HeaderLine line;
    try {
        while (!reader.AtEnd()) {
            reader.ReadLine(line);
            if (!IsHeaderLine(line) && line.size() > 15 && HasMessageMark(line)) board.history.Push(line);
        }
    } catch (const LogError& error) {
        platform::Active().diagnostic(error.diagnostic().c_str());
    }
}

}  // namespace board
