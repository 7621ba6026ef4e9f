#include "board/HistoryLoad.h"

#include <string_view>

#include "board/BoardState.h"
#include "board/WaitingPostings.h"
#include "log/HeldFile.h"
#include "log/LogError.h"
#include "log/LogFormat.h"
#include "log/LogScanner.h"

namespace board {

namespace {

// A message line that is no header: what the history keeps. Only the first
// 16 bytes count.
bool IsHistoryLine(std::string_view line) {
    return !messagelog::HasHeaderShape(line) && line.size() > 15 && messagelog::HasMessageMark(line);
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

void LoadHistory() {
    BoardState& board = Board();
    board.busy = false;
    board.history.Clear();
    RecoverPendingPostings();
    platform::FileHandle handle = platform::kNoFile;
    if (messagelog::OpenPatiently(messagelog::kLogName, platform::OpenMode::kRead, messagelog::kStepPatience,
                                  &handle) != 0) {
        return;  // no log yet
    }
    const messagelog::OpenFile log(handle);
    messagelog::LogScanner scanner(log.handle());
    BufferedHistoryLines noted(board.history);
    try {
        scanner.Scan(
            [&](const messagelog::ScannedLine& line) {
                // A copied line lasts only for this call; it is the first
                // line of its buffer, so nothing noted comes before it.
                if (!line.copied) {
                    noted.Note(line.bytes);
                } else if (IsHistoryLine(line.bytes)) {
                    board.history.Push(line.bytes);
                }
                return true;
            },
            [&] { noted.Flush(); });
    } catch (const messagelog::LogError& error) {
        platform::Active().diagnostic(error.diagnostic().c_str());
    }
}

}  // namespace board
