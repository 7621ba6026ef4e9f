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

// The first CR at or after `from` and before `limit`, or `limit`.
inline std::size_t NextLineEnd(const std::uint32_t* crBits, std::size_t from, std::size_t limit) {
    if (from >= limit) return limit;
    std::size_t word = from / kBitsPerWord;
    std::uint32_t bits = crBits[word] & (~std::uint32_t{0} << (from % kBitsPerWord));
    while (bits == 0) {
        if (++word * kBitsPerWord >= limit) return limit;
        bits = crBits[word];
    }
    const std::size_t at = word * kBitsPerWord + static_cast<std::size_t>(__builtin_ctz(bits));
    return at < limit ? at : limit;
}

}  // namespace messagelog
