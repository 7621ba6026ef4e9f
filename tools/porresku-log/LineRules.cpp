#include "LineRules.h"

#include <cstdint>
#include <cstring>

#if defined(__GNUC__) && defined(__i386__)
#include <emmintrin.h>
#define PORRESKU_LOG_SSE2 1
#endif

namespace porresku_log {

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool TwoDigits(std::string_view line, std::size_t at) {
    return line.size() >= at + 2 && IsDigit(line[at]) && IsDigit(line[at + 1]);
}

// "MM/DD hh:mm " before the user ID: 12 bytes.
bool HasLongKey(std::string_view line) {
    return line.size() >= 12 && TwoDigits(line, 0) && line[2] == '/' && TwoDigits(line, 3) && line[5] == ' ' &&
           TwoDigits(line, 6) && line[8] == ':' && TwoDigits(line, 9) && line[11] == ' ';
}
// "MM/DD " before the user ID: 6 bytes.
bool HasShortKey(std::string_view line) {
    return line.size() >= 6 && TwoDigits(line, 0) && line[2] == '/' && TwoDigits(line, 3) && line[5] == ' ';
}

bool HasMark(std::string_view line) { return line.size() >= 15 && line[14] == '>'; }
bool LoadTakesForHeader(std::string_view line) { return line.size() >= 9 && line[2] == '/' && line[8] == ':'; }

// What each byte is where a character starts.
enum ByteRole : unsigned char { kSingle, kLead, kBad };
struct ByteRoles {
    ByteRole role[256];
    bool trail[256];
    constexpr ByteRoles() : role(), trail() {
        for (int c = 0; c < 256; ++c) {
            const auto b = static_cast<unsigned char>(c);
            role[c] = c < 0x80 || (c >= 0xA1 && c <= 0xDF) ? kSingle : IsLeadByte(b) ? kLead : kBad;
            trail[c] = IsTrailByte(b);
        }
    }
};
constexpr ByteRoles kRoles;

// The bytes [from, to) as Shift-JIS, walked character by character; a lead
// byte alone at `to` is allowed when `cutAtEnd`. Returns the first bad
// byte's index or npos.
std::size_t BadIn(std::string_view line, std::size_t from, std::size_t to, bool cutAtEnd) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(line.data());
    for (std::size_t at = from; at < to; ++at) {
        const ByteRole role = kRoles.role[bytes[at]];
        if (role == kSingle) continue;
        if (role == kBad) return at;
        if (at + 1 == to) return cutAtEnd ? std::string_view::npos : at;
        if (!kRoles.trail[bytes[at + 1]]) return at;
        ++at;
    }
    return std::string_view::npos;
}

// The exact test, sixteen bytes at a time where the processor can. Which
// bytes are trail bytes follows from the runs of bytes that may lead (every
// one of which may also trail): a run that starts where a character starts
// pairs off from its first byte, and a byte after a run of odd length is
// the trail of the run's last byte. Any other byte starts a character. So
// a stretch is Shift-JIS when every trail after a run may trail, every
// other byte outside the runs may start a character, and no run of odd
// length ends the stretch. Faults found so go to the walk above, which
// tells where the first one lies.
#if defined(PORRESKU_LOG_SSE2)
inline __attribute__((target("sse2"), always_inline)) __m128i InRange(__m128i v, unsigned char low, unsigned char high) {
    const __m128i above = _mm_subs_epu8(_mm_sub_epi8(v, _mm_set1_epi8(static_cast<char>(low))),
                                        _mm_set1_epi8(static_cast<char>(high - low)));
    return _mm_cmpeq_epi8(above, _mm_setzero_si128());
}

constexpr std::uint32_t kEvenBits = 0x55555555u;
constexpr std::uint32_t kOddBits = 0xAAAAAAAAu;

// One bit per byte of the block that has the flag, for the bytes in hand.
inline __attribute__((target("sse2"), always_inline)) std::uint32_t Bits(unsigned shift, std::uint32_t valid,
                                                                        __m128i flags) {
    return (static_cast<std::uint32_t>(_mm_movemask_epi8(flags)) >> shift) & valid;
}

struct StretchTest {
    bool clean = true;      // no fault within the stretch
    bool endsInLead = false;  // its last byte leads a character the stretch cuts off
    bool lineFeed = false;
};

// The stretch [from, to) of a line at least 16 bytes long.
__attribute__((target("sse2"))) StretchTest TestStretch(const unsigned char* line, std::size_t size,
                                                         std::size_t from, std::size_t to) {
    std::uint32_t faults = 0;
    std::uint32_t lineFeeds = 0;
    std::uint32_t trailFirst = 0;  // the next block's first byte trails a lead
    for (std::size_t at = from; at < to; at += 16) {
        const std::size_t count = to - at < 16 ? to - at : 16;
        // The last block is read from the line's last sixteen bytes.
        const std::size_t loadAt = at + 16 <= size ? at : size - 16;
        const unsigned shift = static_cast<unsigned>(at - loadAt);
        const std::uint32_t valid = (1u << count) - 1;
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(line + loadAt));
        lineFeeds |= Bits(shift, valid, _mm_cmpeq_epi8(v, _mm_set1_epi8('\n')));
        if (trailFirst == 0 && Bits(shift, valid, v) == 0) continue;  // ASCII only
        const std::uint32_t mayLead = Bits(shift, valid, _mm_or_si128(InRange(v, 0x81, 0x9F), InRange(v, 0xE0, 0xFC)));
        const std::uint32_t noTrail = Bits(shift, valid, _mm_or_si128(_mm_cmpeq_epi8(InRange(v, 0x40, 0xFC), _mm_setzero_si128()),
                                                        _mm_cmpeq_epi8(v, _mm_set1_epi8(0x7F))));
        const std::uint32_t noStart = Bits(shift, valid, _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8(static_cast<char>(0x80))),
                                                                     _mm_cmpeq_epi8(v, _mm_set1_epi8(static_cast<char>(0xA0)))),
                                                        InRange(v, 0xFD, 0xFF)));
        // Runs of possible leads that start where a character starts; the
        // sum carries each run's first bit to the byte after it.
        const std::uint32_t runs = mayLead & ~trailFirst;
        const std::uint32_t starts = runs & ~(runs << 1);
        const std::uint32_t afterEvenStart = (runs + (starts & kEvenBits)) & ~runs;
        const std::uint32_t afterOddStart = (runs + (starts & kOddBits)) & ~runs;
        const std::uint32_t afterOddRun = (afterEvenStart & kOddBits) | (afterOddStart & kEvenBits);
        const std::uint32_t trails = afterOddRun | trailFirst;
        faults |= ((trails & noTrail) | (~trails & ~mayLead & noStart)) & valid;
        trailFirst = (afterOddRun >> count) & 1;
    }
    return {faults == 0, trailFirst != 0, lineFeeds != 0};
}

bool HasSse2() {
    static const bool has = __builtin_cpu_supports("sse2");
    return has;
}
#endif

}  // namespace

LineKind Classify(std::string_view line) {
    if (line.empty()) return LineKind::kEmpty;
    // The listing takes every line with the mark for a message line, the
    // load every such line that has no "/" and ":" where a clock key has them.
    if (HasMark(line)) {
        if (HasLongKey(line)) return LineKind::kHeaderWithMark;
        if (LoadTakesForHeader(line)) return LineKind::kMessageShapedLikeHeader;
        return line.size() > kMessageLineRoom ? LineKind::kTooLongMessage : LineKind::kMessage;
    }
    if (HasLongKey(line) || HasShortKey(line)) {
        return line.size() > kHeaderLineRoom ? LineKind::kTooLongHeader : LineKind::kHeader;
    }
    return LineKind::kOther;
}

bool IsSoundKind(LineKind kind) { return kind == LineKind::kHeader || kind == LineKind::kMessage; }

const char* KindProblem(LineKind kind) {
    switch (kind) {
        case LineKind::kHeader:
        case LineKind::kMessage:
            return "";
        case LineKind::kHeaderWithMark:
            return "a header with \">\" at byte 15: the listing shows it as a message line";
        case LineKind::kMessageShapedLikeHeader:
            return "a message line shaped like a header (\"/\" at byte 3, \":\" at byte 9): the board's load takes it "
                   "for a header";
        case LineKind::kEmpty:
            return "an empty line";
        case LineKind::kTooLongMessage:
            return "a message line longer than 80 bytes: the board shows its first 80";
        case LineKind::kTooLongHeader:
            return "a header longer than 96 bytes";
        case LineKind::kOther:
            break;
    }
    return "neither a header nor a message line";
}

HeaderFields SplitHeader(std::string_view line) {
    const std::size_t keySize = HasLongKey(line) ? 11 : 5;
    return {line.substr(0, keySize), line.substr(keySize + 1)};
}

namespace {

// The stretches a line's kind asks to be Shift-JIS, each with whether a
// lead byte may stand alone at its end.
struct Stretch {
    std::size_t from;
    std::size_t to;
    bool cutAtEnd;
};
template <typename OnStretch>
std::size_t EachStretch(std::string_view line, LineKind kind, OnStretch&& onStretch) {
    if (kind == LineKind::kMessage || kind == LineKind::kTooLongMessage) {
        // The handle, cut at 14 bytes, then ">" and the text, cut with the line.
        const std::size_t handle = onStretch(Stretch{0, kHandlePrefixSize - 1, true});
        if (handle != std::string_view::npos) return handle;
        return onStretch(Stretch{kHandlePrefixSize, line.size(), line.size() == kMessageLineRoom});
    }
    return onStretch(Stretch{0, line.size(), line.size() == kHeaderLineRoom});
}

std::size_t ExactBadIn(std::string_view line, LineKind kind) {
    return EachStretch(line, kind, [&](const Stretch& s) {
        return s.from < s.to ? BadIn(line, s.from, s.to, s.cutAtEnd) : std::string_view::npos;
    });
}

}  // namespace

std::size_t FirstBadShiftJis(std::string_view line, LineKind kind) { return FindByteFaults(line, kind).badByte; }

ByteFaults FindByteFaults(std::string_view line, LineKind kind) {
#if defined(PORRESKU_LOG_SSE2)
    if (HasSse2()) {
        // A short line is tested in a copy: the blocks are read sixteen bytes at a time.
        unsigned char shortCopy[16] = {};
        const unsigned char* bytes = reinterpret_cast<const unsigned char*>(line.data());
        if (line.size() < 16) {
            if (!line.empty()) std::memcpy(shortCopy, line.data(), line.size());
            bytes = shortCopy;
        }
        const std::size_t size = line.size() < 16 ? 16 : line.size();
        bool clean = true;
        bool lineFeed = false;
        EachStretch(line, kind, [&](const Stretch& s) {
            if (s.from >= s.to) return std::string_view::npos;
            const StretchTest test = TestStretch(bytes, size, s.from, s.to);
            clean &= test.clean && (!test.endsInLead || s.cutAtEnd);
            lineFeed |= test.lineFeed;
            return std::string_view::npos;
        });
        ByteFaults faults;
        if (!clean) faults.badByte = ExactBadIn(line, kind);
        if (lineFeed) faults.loneLf = line.find('\n');
        return faults;
    }
#endif
    return {ExactBadIn(line, kind), line.find('\n')};
}

}  // namespace porresku_log
