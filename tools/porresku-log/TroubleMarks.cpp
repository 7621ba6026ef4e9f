#include "TroubleMarks.h"

#include <cstring>

#include "LineRules.h"
#include "log/LineEnds.h"
#include "log/LogFormat.h"
#include "platform/Processor.h"

#if defined(PORRESKU_X86)
#include <immintrin.h>
#endif

namespace porresku_log {

namespace {

// Which bytes are trail bytes follows from the runs of bytes that may lead
// (every one of which may also trail): a run that starts where a character
// starts pairs off from its first byte, and a byte after a run of odd
// length is the trail of the run's last byte. Any other byte starts a
// character. So the marks go where a trail after a run may not trail, and
// where a byte outside the runs may not start a character. A CR or LF ends
// any run, so the lines of a stretch are judged as they would be one by
// one, and a lead alone at a line's end marks its CR.

// For each flag, one bit per byte.
struct ByteFlags {
    std::uint32_t high;      // above ASCII
    std::uint32_t mayLead;   // 81-9F, E0-FC
    std::uint32_t mayTrail;  // 40-FC but 7F
    std::uint32_t oddHigh;   // 80, A0: above ASCII, yet they start nothing
    std::uint32_t lineFeed;
};

constexpr std::uint32_t kEvenBits = 0x55555555u;
constexpr std::uint32_t kOddBits = 0xAAAAAAAAu;

// The marks of 32 bytes (`valid` tells which are there) from their flags;
// `trailFirst` says whether the first is a trail, and becomes whether the
// byte after them is.
inline __attribute__((always_inline)) std::uint32_t MarksOf(const ByteFlags& f, std::uint32_t valid,
                                                          std::uint32_t& trailFirst) {
    const std::uint32_t lineFeeds = f.lineFeed & valid;
    if (trailFirst == 0 && (f.high & valid) == 0) return lineFeeds;  // ASCII only
    const std::uint32_t mayLead = f.mayLead & valid;
    const std::uint32_t noTrail = ~f.mayTrail & valid;
    const std::uint32_t noStart = f.oddHigh | (noTrail & f.high);  // 80, A0, FD-FF
    // Runs of possible leads that start where a character starts; the sum
    // carries each run's first bit to the byte after it. A run that starts
    // at an odd place and ends the 32 bytes odd in length carries out: the
    // next byte is its trail.
    const std::uint32_t runs = mayLead & ~trailFirst;
    const std::uint32_t starts = runs & ~(runs << 1);
    const std::uint32_t afterEvenStart = (runs + (starts & kEvenBits)) & ~runs;
    std::uint32_t oddStartSum = 0;
    const bool carriedOut = __builtin_add_overflow(runs, starts & kOddBits, &oddStartSum);
    const std::uint32_t afterOddStart = oddStartSum & ~runs;
    const std::uint32_t afterOddRun = (afterEvenStart & kOddBits) | (afterOddStart & kEvenBits);
    const std::uint32_t trails = afterOddRun | trailFirst;
    trailFirst = carriedOut ? 1 : 0;
    return lineFeeds | (((trails & noTrail) | (~trails & ~mayLead & noStart)) & valid);
}

// The flags of one byte at a time; `crBefore`: the byte before the first
// is a CR.
ByteFlags PlainFlags(const unsigned char* bytes, std::size_t count, bool crBefore) {
    ByteFlags f{};
    for (std::size_t i = 0; i < count; ++i) {
        const unsigned char c = bytes[i];
        const std::uint32_t bit = std::uint32_t{1} << i;
        if (c >= 0x80) f.high |= bit;
        if (IsLeadByte(c)) f.mayLead |= bit;
        if (IsTrailByte(c)) f.mayTrail |= bit;
        if (c == 0x80 || c == 0xA0) f.oddHigh |= bit;
        if (c == '\n' && !(i == 0 ? crBefore : bytes[i - 1] == '\r')) f.lineFeed |= bit;
    }
    return f;
}

#if defined(PORRESKU_X86)
// Where the Ctrl-Z lies in the 32 bytes at `at`, which hold one.
inline std::size_t CtrlZIn32(const unsigned char* bytes, std::size_t at) {
    const void* const found = std::memchr(bytes + at, messagelog::kCtrlZ, 32);
    return static_cast<std::size_t>(static_cast<const unsigned char*>(found) - bytes);
}

// x in [low, high], in two steps: moved so that the range starts at -128.
inline __attribute__((target("sse2"), always_inline)) __m128i InRange(__m128i v, unsigned char low, unsigned char high) {
    const __m128i moved = _mm_add_epi8(v, _mm_set1_epi8(static_cast<char>(0x80 - low)));
    return _mm_cmpgt_epi8(_mm_set1_epi8(static_cast<char>(high - low - 127)), moved);
}

inline __attribute__((target("sse2"), always_inline)) std::uint32_t Bits(__m128i flags) {
    return static_cast<std::uint32_t>(_mm_movemask_epi8(flags));
}

inline __attribute__((target("sse2"), always_inline)) ByteFlags Flags16(__m128i v) {
    return {Bits(v), Bits(_mm_or_si128(InRange(v, 0x81, 0x9F), InRange(v, 0xE0, 0xFC))),
            Bits(_mm_andnot_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8(0x7F)), InRange(v, 0x40, 0xFC))),
            Bits(_mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8(static_cast<char>(0x80))),
                              _mm_cmpeq_epi8(v, _mm_set1_epi8(static_cast<char>(0xA0))))),
            Bits(_mm_cmpeq_epi8(v, _mm_set1_epi8('\n')))};
}

// Whole words only; returns how many bytes it marked. The CRs too, and the
// first Ctrl-Z into `ctrlZ`.
__attribute__((target("sse2"))) std::size_t MarkSse2(const unsigned char* bytes, std::size_t size,
                                                     std::uint32_t* words, std::uint32_t& trailFirstOut,
                                                     std::uint32_t* crBits, std::size_t* ctrlZ) {
    // In a register: the marks stored could otherwise be taken for it.
    std::uint32_t trailFirst = trailFirstOut;
    // The last byte of the 32 before was a CR: an LF first in these ends its line.
    std::uint32_t crCarried = 0;
    std::size_t at = 0;
    for (; at + 32 <= size; at += 32) {
        const __m128i lowBytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + at));
        const __m128i highBytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + at + 16));
        const ByteFlags low = Flags16(lowBytes);
        const ByteFlags high = Flags16(highBytes);
        const __m128i crByte = _mm_set1_epi8('\r');
        const std::uint32_t cr = Bits(_mm_cmpeq_epi8(lowBytes, crByte)) | Bits(_mm_cmpeq_epi8(highBytes, crByte)) << 16;
        const ByteFlags f{low.high | high.high << 16, low.mayLead | high.mayLead << 16,
                          low.mayTrail | high.mayTrail << 16, low.oddHigh | high.oddHigh << 16,
                          (low.lineFeed | high.lineFeed << 16) & ~(cr << 1 | crCarried)};
        words[at / 32] = MarksOf(f, ~std::uint32_t{0}, trailFirst);
        crBits[at / 32] = cr;
        crCarried = cr >> 31;
        const __m128i mark = _mm_set1_epi8(messagelog::kCtrlZ);
        if (*ctrlZ == size &&
            Bits(_mm_or_si128(_mm_cmpeq_epi8(lowBytes, mark), _mm_cmpeq_epi8(highBytes, mark))) != 0) {
            *ctrlZ = CtrlZIn32(bytes, at);
        }
    }
    trailFirstOut = trailFirst;
    return at;
}

// The same 32 bytes at a time in one register.
inline __attribute__((target("avx2"), always_inline)) __m256i InRange32(__m256i v, unsigned char low,
                                                                         unsigned char high) {
    const __m256i moved = _mm256_add_epi8(v, _mm256_set1_epi8(static_cast<char>(0x80 - low)));
    return _mm256_cmpgt_epi8(_mm256_set1_epi8(static_cast<char>(high - low - 127)), moved);
}

inline __attribute__((target("avx2"), always_inline)) std::uint32_t Bits32(__m256i flags) {
    return static_cast<std::uint32_t>(_mm256_movemask_epi8(flags));
}

__attribute__((target("avx2"))) std::size_t MarkAvx2(const unsigned char* bytes, std::size_t size,
                                                     std::uint32_t* words, std::uint32_t& trailFirstOut,
                                                     std::uint32_t* crBits, std::size_t* ctrlZ) {
    std::uint32_t trailFirst = trailFirstOut;
    std::uint32_t crCarried = 0;
    std::size_t at = 0;
    for (; at + 32 <= size; at += 32) {
        const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(bytes + at));
        const std::uint32_t cr = Bits32(_mm256_cmpeq_epi8(v, _mm256_set1_epi8('\r')));
        const ByteFlags f{
            Bits32(v), Bits32(_mm256_or_si256(InRange32(v, 0x81, 0x9F), InRange32(v, 0xE0, 0xFC))),
            Bits32(_mm256_andnot_si256(_mm256_cmpeq_epi8(v, _mm256_set1_epi8(0x7F)), InRange32(v, 0x40, 0xFC))),
            Bits32(_mm256_or_si256(_mm256_cmpeq_epi8(v, _mm256_set1_epi8(static_cast<char>(0x80))),
                                   _mm256_cmpeq_epi8(v, _mm256_set1_epi8(static_cast<char>(0xA0))))),
            Bits32(_mm256_cmpeq_epi8(v, _mm256_set1_epi8('\n'))) & ~(cr << 1 | crCarried)};
        words[at / 32] = MarksOf(f, ~std::uint32_t{0}, trailFirst);
        crBits[at / 32] = cr;
        crCarried = cr >> 31;
        if (*ctrlZ == size && Bits32(_mm256_cmpeq_epi8(v, _mm256_set1_epi8(messagelog::kCtrlZ))) != 0) {
            *ctrlZ = CtrlZIn32(bytes, at);
        }
    }
    trailFirstOut = trailFirst;
    return at;
}
#endif

VectorWidth widestAllowed = VectorWidth::kAvx2;

}  // namespace

void LimitMarkingTo(VectorWidth widest) { widestAllowed = widest; }

bool MachineHas(VectorWidth width) {
#if defined(PORRESKU_X86)
    if (width == VectorWidth::kAvx2) return platform::HasAvx2();
    if (width == VectorWidth::kSse2) return platform::HasSse2();
#endif
    return width == VectorWidth::kPlain;
}

std::size_t TroubleMarks::Mark(const char* text, std::size_t size, std::uint32_t* crBits) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(text);
    base_ = text;
    if (words_.size() < size / 32 + 1) words_.resize(size / 32 + 1);
    // What came before the stretch is not known; it only decides the bytes
    // before the stretch's first line end, which belong to a line read on
    // its own.
    std::uint32_t trailFirst = 0;
    std::size_t ctrlZ = size;
    std::size_t at = 0;
#if defined(PORRESKU_X86)
    if (widestAllowed >= VectorWidth::kAvx2 && platform::HasAvx2()) {
        at = MarkAvx2(bytes, size, words_.data(), trailFirst, crBits, &ctrlZ);
    } else if (widestAllowed >= VectorWidth::kSse2 && platform::HasSse2()) {
        at = MarkSse2(bytes, size, words_.data(), trailFirst, crBits, &ctrlZ);
    }
#endif
    const std::size_t whole = at;
    for (; at < size; at += 32) {
        const std::size_t count = size - at < 32 ? size - at : 32;
        const std::uint32_t valid = count == 32 ? ~std::uint32_t{0} : (std::uint32_t{1} << count) - 1;
        words_[at / 32] = MarksOf(PlainFlags(bytes + at, count, at != 0 && bytes[at - 1] == '\r'), valid, trailFirst);
    }
    // The rest of the CRs, as the scanner's own marker finds them.
    const std::size_t restCtrlZ = messagelog::MarkLineEnds(text + whole, size - whole, crBits + whole / 32);
    return ctrlZ != size ? ctrlZ : whole + restCtrlZ;
}

}  // namespace porresku_log
