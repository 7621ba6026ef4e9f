// Reads the log's lines in place: the file goes through one large buffer,
// and each line is handed over as a view into it. The CRs of each filling
// are marked at once, and the scan goes from mark to mark. Nothing after a
// Ctrl-Z is text. Memory stays the same for a log of any size.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "log/LineEnds.h"
#include "platform/Platform.h"

namespace messagelog {

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

// Where a line begins, to scan on from later.
struct ScanPlace {
    std::int64_t offset = 0;
    // The line before ended in a CR that was the buffer's last byte: an LF
    // first is still part of that line end.
    bool skipLineFeed = false;
};

class LogScanner {
public:
    // Large enough that the file calls cost little beside the reading,
    // small enough that a log of any size costs the same memory.
    static constexpr std::size_t kBufferSize = 128 * 1024;
    // How much of a copied line is kept; no reader looks further into a line.
    static constexpr std::size_t kCopiedRoom = 1024;

    explicit LogScanner(platform::FileHandle file)
        : file_(file), buffer_(kBufferSize), lineEnds_(LineEndWords(kBufferSize)) {}

    // Hands each line, in order, to onLine(const ScannedLine&), which returns
    // false to stop; calls beforeRefill() each time the buffer is about to be
    // filled again (views of earlier lines end then). True when it reached
    // the end of the text. Throws LogError on a read error.
    template <typename OnLine, typename BeforeRefill>
    bool Scan(OnLine&& onLine, BeforeRefill&& beforeRefill);

    // Once the scan reached the end: where a Ctrl-Z ended the text, or -1.
    std::int64_t ctrlZOffset() const { return ctrlZOffset_; }

    // The next Scan goes on from `place` (the log's start at first). A place
    // within the text the buffer still holds needs no reading again, so a
    // listing that goes back a little costs no file call. Throws LogError.
    void StartAt(const ScanPlace& place);
    // Where the line after `line` begins, asked while onLine has it: just
    // past its line end, as far as the buffer shows it.
    ScanPlace PlaceAfter(const ScannedLine& line) const;
    // Where a scan that onLine stopped would go on: the next line's
    // beginning, or the text's end. Reads once more when the buffer ended
    // between a CR and what follows it. Throws LogError.
    std::int64_t NextLineAt();
    // Marks each filling's CRs in place of MarkLineEnds (same contract), so
    // that a reader that looks at every byte anyway does both in one pass.
    using FillMarker = std::size_t (*)(void* context, const char* bytes, std::size_t size, std::uint32_t* crBits);
    void MarkFillsWith(FillMarker marker, void* context) {
        marker_ = marker;
        markerContext_ = context;
    }
    // Once a scan reached the end: where the readable text ends.
    std::int64_t textEnd() const { return nextOffset_; }

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
    std::vector<std::uint32_t> lineEnds_;  // the CRs of the buffer's text
    FillMarker marker_ = nullptr;
    void* markerContext_ = nullptr;
    std::int64_t bufferOffset_ = 0;  // where the buffer's first byte lies in the file
    std::int64_t nextOffset_ = 0;    // where the next fill reads from
    std::size_t position_ = 0;       // where the scan goes on within the buffer
    std::size_t limit_ = 0;          // the text the buffer holds for this scan
    bool skipLineFeed_ = false;
    // The text of the last fill that found any: it stays in the buffer after
    // the read that finds the end.
    std::int64_t filledOffset_ = 0;
    std::size_t filled_ = 0;
    bool endOfText_ = false;
    std::int64_t ctrlZOffset_ = -1;
    std::string carried_;
    std::int64_t carriedOffset_ = 0;
    std::size_t carriedLength_ = 0;
};

template <typename OnLine, typename BeforeRefill>
bool LogScanner::Scan(OnLine&& onLine, BeforeRefill&& beforeRefill) {
    bool carrying = false;
    for (;;) {
        if (position_ == limit_) {
            beforeRefill();
            if (Fill() == 0) break;
        }
        const char* const start = buffer_.data();
        const char* at = start + position_;
        const char* const end = start + limit_;
        // The LF of a CR LF that the buffer's edge split.
        if (skipLineFeed_) {
            skipLineFeed_ = false;
            if (*at == '\n') ++at;
        }
        LineEndCursor lineEnds(lineEnds_.data(), static_cast<std::size_t>(at - start), limit_);
        while (at != end) {
            const char* lineEnd = start + lineEnds.Next();
            if (lineEnd == end) {
                if (!carrying) {
                    carried_.clear();
                    carriedLength_ = 0;
                    carriedOffset_ = bufferOffset_ + (at - start);
                    carrying = true;
                }
                Carry(at, end);
                at = end;
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
            at = lineEnd + 1;
            if (at == end) {
                skipLineFeed_ = true;
            } else if (*at == '\n') {
                ++at;
            }
            if (!going) {
                position_ = static_cast<std::size_t>(at - start);
                return false;
            }
        }
        position_ = limit_;
    }
    if (carrying) onLine(Carried(false));
    return true;
}

}  // namespace messagelog
