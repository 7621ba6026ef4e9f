#include "board/LogReader.h"

#include <emmintrin.h>  // used only where the processor has SSE2

#include <algorithm>
#include <bit>

#include "log/HeldFile.h"
#include "log/LogError.h"
#include "log/LogFormat.h"
#include "log/LogScanner.h"

namespace board {

using messagelog::kStepPatience;
using messagelog::ReadText;

LogReader::LogReader() = default;

LogReader::~LogReader() { Close(); }

bool LogReader::Open(const char* name) {
    Close();
    position_ = limit_ = 0;
    endOfText_ = skipLineFeed_ = false;
    bufferStart_ = filledStart_ = 0;
    filled_ = 0;
    if (messagelog::OpenPatiently(name, platform::OpenMode::kRead, kStepPatience, &file_) != 0) {
        file_ = platform::kNoFile;
        return false;
    }
    buffer_.resize(messagelog::LogScanner::kBufferSize);
    return true;
}

void LogReader::Close() {
    if (file_ == platform::kNoFile) return;
    platform::Active().close(file_);
    file_ = platform::kNoFile;
}

namespace {

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

// Chosen once, when the first line is read. The processor check needs
// __builtin_cpu_init, which the runtime runs from a constructor of its own;
// calling it here does not depend on the order of the constructors.
CopyLineFn ChooseCopyLine() {
    __builtin_cpu_init();
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
        throw messagelog::LogError(messagelog::LogError::kSeek, error);
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

}  // namespace board
