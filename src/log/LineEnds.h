// Where the CRs lie in a stretch of the log, found for the whole stretch at
// once: one bit per byte, 32 bytes to a word. The scanner then goes from
// line to line by the bits instead of searching each line for its end,
// which is what a listing of a large log spends most of its time on.
#pragma once

#include <cstddef>
#include <cstdint>

namespace messagelog {

inline constexpr std::size_t kBitsPerWord = 32;
constexpr std::size_t LineEndWords(std::size_t bytes) { return (bytes + kBitsPerWord - 1) / kBitsPerWord; }

// Sets bit i of `crBits` (LineEndWords(size) words) for each CR at
// bytes[i], and clears the others. Returns where the first Ctrl-Z lies, or
// `size`; bits at and after it are set as the bytes are, and are not to be used.
std::size_t MarkLineEnds(const char* bytes, std::size_t size, std::uint32_t* crBits);

// The CRs before `limit`, one after another from `from` on. Each comes
// from the bits left of the word in hand, not from the place asked, so
// going from line to line waits on no reading of the line.
class LineEndCursor {
public:
    LineEndCursor(const std::uint32_t* crBits, std::size_t from, std::size_t limit)
        : crBits_(crBits), word_(from / kBitsPerWord), limit_(limit) {
        bits_ = from < limit ? crBits[word_] & (~std::uint32_t{0} << (from % kBitsPerWord)) : 0;
    }
    // The next CR, or `limit` when there is none.
    std::size_t Next() {
        while (bits_ == 0) {
            if (++word_ * kBitsPerWord >= limit_) return limit_;
            bits_ = crBits_[word_];
        }
        const std::size_t at = word_ * kBitsPerWord + static_cast<std::size_t>(__builtin_ctz(bits_));
        bits_ &= bits_ - 1;
        return at < limit_ ? at : limit_;
    }

private:
    const std::uint32_t* crBits_;
    std::size_t word_;
    std::uint32_t bits_;
    std::size_t limit_;
};

}  // namespace messagelog
