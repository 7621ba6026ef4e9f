// Reads the log's lines in place: the file goes through one large buffer,
// and each line is handed over as a view into it, found with one memchr for
// its CR. Memory stays the same for a log of any size.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Platform.h"

namespace messagelog {

// The next stretch of the log's readable text into `buffer`; 0 at its end.
// Nothing after a Ctrl-Z is text: `endOfText` is set once the file or the
// text ends, and `ctrlZAt` (when given) tells where a Ctrl-Z lay in the
// stretch, or stays as it was. Throws LogError.
std::size_t ReadText(platform::FileHandle file, char* buffer, std::size_t size, bool& endOfText,
                     std::size_t* ctrlZAt = nullptr);

struct ScannedLine {
    // The line without its line end. Lies in the scanner's buffer until the
    // buffer is filled again, unless `copied`.
    std::string_view bytes;
    // The line crossed the buffer's edge or is the last one without a line
    // end: its bytes (the first kCopiedRoom of them) are a copy that lasts
    // only until the handler returns.
    bool copied;
    // False for a last line that has no CR.
    bool ended;
    std::int64_t offset;  // where the line begins in the file
    std::size_t length;   // its whole length; `bytes` may hold fewer when copied
};

class LogScanner {
public:
    // Large enough that line ends are found at memchr speed, small enough
    // that a log of any size costs the same memory.
    static constexpr std::size_t kBufferSize = 128 * 1024;
    // How much of a copied line is kept; no reader looks further into a line.
    static constexpr std::size_t kCopiedRoom = 1024;

    explicit LogScanner(platform::FileHandle file) : file_(file), buffer_(kBufferSize) {}

    // Hands each line, in order, to onLine(const ScannedLine&), which returns
    // false to stop; calls beforeRefill() each time the buffer is about to be
    // filled again (views of earlier lines end then). True when it reached
    // the end of the text. Throws LogError on a read error.
    template <typename OnLine, typename BeforeRefill>
    bool Scan(OnLine&& onLine, BeforeRefill&& beforeRefill);

    // Once the scan reached the end: where a Ctrl-Z ended the text, or -1.
    std::int64_t ctrlZOffset() const { return ctrlZOffset_; }

private:
    std::size_t Fill();
    void Carry(const char* from, const char* to) {
        const std::size_t size = static_cast<std::size_t>(to - from);
        carriedLength_ += size;
        if (carried_.size() < kCopiedRoom) carried_.append(from, std::min(size, kCopiedRoom - carried_.size()));
    }
    ScannedLine Carried(bool ended) const {
        return {carried_, true, ended, carriedOffset_, carriedLength_};
    }

    platform::FileHandle file_;
    std::vector<char> buffer_;
    std::int64_t bufferOffset_ = 0;  // where the buffer's first byte lies in the file
    std::int64_t nextOffset_ = 0;
    bool endOfText_ = false;
    std::int64_t ctrlZOffset_ = -1;
    std::string carried_;
    std::int64_t carriedOffset_ = 0;
    std::size_t carriedLength_ = 0;
};

template <typename OnLine, typename BeforeRefill>
bool LogScanner::Scan(OnLine&& onLine, BeforeRefill&& beforeRefill) {
    bool carrying = false;
    bool skipLineFeed = false;
    for (;;) {
        beforeRefill();
        const std::size_t got = Fill();
        if (got == 0) break;
        const char* const start = buffer_.data();
        const char* at = start;
        const char* const end = at + got;
        // The LF of a CR LF that the buffer's edge split.
        if (skipLineFeed) {
            skipLineFeed = false;
            if (*at == '\n') ++at;
        }
        while (at != end) {
            const char* lineEnd = static_cast<const char*>(std::memchr(at, '\r', static_cast<std::size_t>(end - at)));
            if (lineEnd == nullptr) {
                if (!carrying) {
                    carried_.clear();
                    carriedLength_ = 0;
                    carriedOffset_ = bufferOffset_ + (at - start);
                    carrying = true;
                }
                Carry(at, end);
                break;
            }
            bool going = true;
            if (carrying) {
                Carry(at, lineEnd);
                carrying = false;
                going = onLine(Carried(true));
            } else {
                const std::size_t length = static_cast<std::size_t>(lineEnd - at);
                going = onLine(ScannedLine{{at, length}, false, true, bufferOffset_ + (at - start), length});
            }
            if (!going) return false;
            at = lineEnd + 1;
            if (at == end) {
                skipLineFeed = true;
            } else if (*at == '\n') {
                ++at;
            }
        }
    }
    if (carrying) onLine(Carried(false));
    return true;
}

}  // namespace messagelog
