// The listing's reading of the log: line by line, each line copied into a
// bounded text of the length the listing keeps.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "common/BoundedText.h"
#include "log/LogFormat.h"
#include "platform/Platform.h"

namespace board {

// Reads the log line by line through a large buffer, finding each line's
// end while it copies the line. Closes the file when it goes out of scope.
class LogReader {
public:
    LogReader();
    ~LogReader();
    LogReader(const LogReader&) = delete;
    LogReader& operator=(const LogReader&) = delete;

    // Opens the log (or the file `name`) for reading, waiting a moment for
    // one that another program holds for writing; false when it cannot be
    // opened.
    bool Open(const char* name = messagelog::kLogName);
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

}  // namespace board
