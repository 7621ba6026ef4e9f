#include "Pieces.h"

#include <algorithm>

#include "LineRules.h"
#include "log/LineEnds.h"
#include "log/LogError.h"
#include "platform/Processor.h"

namespace porresku_log {

namespace {

constexpr std::size_t kNone = static_cast<std::size_t>(-1);

// The last CR before `end`, or kNone.
std::size_t LastCr(const char* bytes, std::size_t end) {
    while (end > 0) {
        if (bytes[--end] == '\r') return end;
    }
    return kNone;
}

bool IsSoundHeader(std::string_view line) {
    if (Classify(line) != LineKind::kHeader) return false;
    const ByteFaults faults = FindByteFaults(line, LineKind::kHeader);
    return faults.badByte == std::string_view::npos && faults.loneLf == std::string_view::npos;
}

std::int64_t CountBitsPlainly(const std::uint32_t* words, std::size_t count) {
    std::int64_t bits = 0;
    for (std::size_t i = 0; i < count; ++i) bits += __builtin_popcount(words[i]);
    return bits;
}

// The places of the bits set in `words` into `to`, which has room for two
// more than there are; returns the end of what it wrote. Each word's first
// two places are written whether it has them or not, and the next word's
// overwrite what it lacks: a word seldom holds more than two line ends, so
// the loop rarely branches on where they lie. Inline, so that the count
// is the processor's own where its caller may use it.
inline __attribute__((always_inline)) std::uint32_t* ListBits(const std::uint32_t* words, std::size_t count,
                                                              std::uint32_t* to) {
    for (std::size_t i = 0; i < count; ++i) {
        std::uint32_t bits = words[i];
        const auto base = static_cast<std::uint32_t>(i * messagelog::kBitsPerWord);
        const int set = __builtin_popcount(bits);
        // The top bit or'ed in: a place for a word with no more bits, and no ctz of 0.
        to[0] = base + static_cast<std::uint32_t>(__builtin_ctz(bits | 0x80000000u));
        bits &= bits - 1;
        to[1] = base + static_cast<std::uint32_t>(__builtin_ctz(bits | 0x80000000u));
        bits &= bits - 1;
        for (std::uint32_t* more = to + 2; bits != 0; bits &= bits - 1) {
            *more++ = base + static_cast<std::uint32_t>(__builtin_ctz(bits));
        }
        to += set;
    }
    return to;
}

#if defined(PORRESKU_X86)
__attribute__((target("popcnt"))) std::int64_t CountBitsPopcnt(const std::uint32_t* words, std::size_t count) {
    std::int64_t bits = 0;
    for (std::size_t i = 0; i < count; ++i) bits += __builtin_popcount(words[i]);
    return bits;
}
__attribute__((target("popcnt"))) std::uint32_t* ListBitsPopcnt(const std::uint32_t* words, std::size_t count,
                                                               std::uint32_t* to) {
    return ListBits(words, count, to);
}
#endif

// The processor's own count where it has one: the compiler's is a call.
std::int64_t CountBits(const std::uint32_t* words, std::size_t count) {
#if defined(PORRESKU_X86)
    if (platform::HasPopcnt()) return CountBitsPopcnt(words, count);
#endif
    return CountBitsPlainly(words, count);
}

std::uint32_t* ListBitsOf(const std::uint32_t* words, std::size_t count, std::uint32_t* to) {
#if defined(PORRESKU_X86)
    if (platform::HasPopcnt()) return ListBitsPopcnt(words, count, to);
#endif
    return ListBits(words, count, to);
}

}  // namespace

std::size_t PieceEnd(const char* bytes, std::size_t size) {
    // Line by line from the last CR back: a line runs from just after the
    // CR before it (and one LF) to its own CR.
    std::size_t lineEnd = LastCr(bytes, size);
    while (lineEnd != kNone) {
        const std::size_t crBefore = LastCr(bytes, lineEnd);
        if (crBefore == kNone) return 0;
        std::size_t start = crBefore + 1;
        if (start < lineEnd && bytes[start] == '\n') ++start;
        if (IsSoundHeader({bytes + start, lineEnd - start})) return start;
        lineEnd = crBefore;
    }
    return 0;
}

bool PieceSource::Next(Piece& piece) {
    if (done_) return false;
    piece.offset = offset_;
    piece.last = piece.rest = false;
    if (piece.bytes.size() < std::max(options_.pieceSize, 2 * carried_.size())) {
        piece.bytes.resize(std::max(options_.pieceSize, 2 * carried_.size()));
    }
    std::copy(carried_.begin(), carried_.end(), piece.bytes.begin());
    std::size_t have = carried_.size();
    carried_.clear();
    for (;;) {
        while (have < piece.bytes.size()) {
            std::size_t got = 0;
            if (const platform::ErrorCode error =
                    platform::Active().read(file_, piece.bytes.data() + have, piece.bytes.size() - have, &got)) {
                throw messagelog::LogError(messagelog::LogError::kRead, error);
            }
            if (got == 0) break;
            have += got;
        }
        if (have < piece.bytes.size()) {
            // The file ends here.
            done_ = true;
            piece.size = have;
            piece.last = true;
            return have != 0;
        }
        const std::size_t end = PieceEnd(piece.bytes.data(), have);
        if (end != 0) {
            piece.size = end;
            carried_.assign(piece.bytes.begin() + static_cast<std::ptrdiff_t>(end),
                            piece.bytes.begin() + static_cast<std::ptrdiff_t>(have));
            offset_ += static_cast<std::int64_t>(end);
            return true;
        }
        if (piece.bytes.size() >= options_.largestPiece) {
            done_ = true;
            piece.size = 0;
            piece.rest = true;
            return true;
        }
        piece.bytes.resize(std::min(2 * piece.bytes.size(), std::max(options_.largestPiece, piece.bytes.size())));
    }
}

void MarkedPiece::Mark(const Piece& piece) {
    const char* const bytes = piece.bytes.data();
    crBits.resize(messagelog::LineEndWords(piece.size));
    textEnd = marks.Mark(bytes, piece.size, crBits.data());
    ctrlZ = textEnd != piece.size;
    // The CRs before the text's end. A piece where the text ends is the
    // last one numbered, so a last line without a CR needs no count.
    const std::size_t wholeWords = textEnd / messagelog::kBitsPerWord;
    std::uint32_t tailBits = 0;
    if (const std::size_t tail = textEnd % messagelog::kBitsPerWord; tail != 0) {
        tailBits = crBits[wholeWords] & ((std::uint32_t{1} << tail) - 1);
    }
    lines = CountBits(crBits.data(), wholeWords) + __builtin_popcount(tailBits);
    lineEnds.resize(static_cast<std::size_t>(lines) + 2);
    std::uint32_t* listed = ListBitsOf(crBits.data(), wholeWords, lineEnds.data());
    const auto tailBase = static_cast<std::uint32_t>(wholeWords * messagelog::kBitsPerWord);
    for (; tailBits != 0; tailBits &= tailBits - 1) {
        *listed++ = tailBase + static_cast<std::uint32_t>(__builtin_ctz(tailBits));
    }
    lineEnds.resize(static_cast<std::size_t>(lines));
}

}  // namespace porresku_log
