#include "LineRules.h"

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

// The bytes [from, to) as Shift-JIS; a lead byte alone at `to` is allowed
// when `cutAtEnd`. Returns the first bad byte's index or npos.
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

// A quick test of a whole stretch, sixteen bytes at a time where the
// processor can: no byte that never starts a character (0x80, 0xA0,
// 0xFD-0xFF) and no byte that may be a lead followed by one that is no
// trail. A stretch that passes is Shift-JIS up to its end, where the run of
// possible lead bytes tells by its length whether a lead stands alone.
// Whatever fails goes to the exact walk above.
enum : unsigned char { kMayLead = 1, kNoTrail = 2, kNoStart = 4 };
struct QuickFlags {
    unsigned char flag[256];
    constexpr QuickFlags() : flag() {
        for (int c = 0; c < 256; ++c) {
            const auto b = static_cast<unsigned char>(c);
            flag[c] = static_cast<unsigned char>((IsLeadByte(b) ? kMayLead : 0) | (IsTrailByte(b) ? 0 : kNoTrail) |
                                                 (c == 0x80 || c == 0xA0 || c >= 0xFD ? kNoStart : 0));
        }
    }
};
constexpr QuickFlags kQuick;

#if defined(PORRESKU_LOG_SSE2)
inline __attribute__((target("sse2"), always_inline)) __m128i InRange(__m128i v, unsigned char low, unsigned char high) {
    const __m128i above = _mm_subs_epu8(_mm_sub_epi8(v, _mm_set1_epi8(static_cast<char>(low))),
                                        _mm_set1_epi8(static_cast<char>(high - low)));
    return _mm_cmpeq_epi8(above, _mm_setzero_si128());
}

inline __attribute__((target("sse2"), always_inline)) __m128i Doubts(const unsigned char* at) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
    const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at + 1));
    const __m128i mayLead = _mm_or_si128(InRange(v, 0x81, 0x9F), InRange(v, 0xE0, 0xFC));
    const __m128i noTrail = _mm_or_si128(_mm_andnot_si128(InRange(next, 0x40, 0xFC), _mm_set1_epi8(-1)),
                                         _mm_cmpeq_epi8(next, _mm_set1_epi8(0x7F)));
    const __m128i noStart = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8(static_cast<char>(0x80))),
                                                      _mm_cmpeq_epi8(v, _mm_set1_epi8(static_cast<char>(0xA0)))),
                                         InRange(v, 0xFD, 0xFF));
    return _mm_or_si128(_mm_and_si128(mayLead, noTrail), noStart);
}

// The quick test of the n bytes, each with the byte after it; the last
// ones are tested in a copy padded with "@", which is a trail byte and a
// character of its own, so that the padding raises no doubt.
__attribute__((target("sse2"))) bool QuickBlocks(const unsigned char* bytes, std::size_t n) {
    __m128i doubt = _mm_setzero_si128();
    std::size_t at = 0;
    for (; at + 17 <= n; at += 16) doubt = _mm_or_si128(doubt, Doubts(bytes + at));
    if (at < n) {
        unsigned char last[32];
        std::memset(last, '@', sizeof last);
        std::memcpy(last, bytes + at, n - at);
        doubt = _mm_or_si128(doubt, Doubts(last));
    }
    return _mm_movemask_epi8(doubt) == 0;
}

bool HasSse2() {
    static const bool has = __builtin_cpu_supports("sse2");
    return has;
}
#endif

std::size_t QuickBadIn(std::string_view line, std::size_t from, std::size_t to, bool cutAtEnd) {
    if (from >= to) return std::string_view::npos;
    const auto* bytes = reinterpret_cast<const unsigned char*>(line.data());
    std::size_t at = from;
#if defined(PORRESKU_LOG_SSE2)
    if (HasSse2()) {
        if (!QuickBlocks(bytes + from, to - from)) return BadIn(line, from, to, cutAtEnd);
        at = to;
    }
#endif
    unsigned doubt = 0;
    unsigned before = 0;  // the flags of the byte before `at`, as far as they matter
    for (; at < to; ++at) {
        const unsigned flag = kQuick.flag[bytes[at]];
        doubt |= ((before << 1) | kNoStart) & flag;
        before = flag;
    }
    if (doubt != 0) return BadIn(line, from, to, cutAtEnd);
    std::size_t leads = 0;
    for (at = to; at > from && (kQuick.flag[bytes[at - 1]] & kMayLead) != 0; --at) ++leads;
    if (leads % 2 == 0 || cutAtEnd) return std::string_view::npos;
    return to - 1;
}

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

std::size_t FirstBadShiftJis(std::string_view line, LineKind kind) {
    if (kind == LineKind::kMessage || kind == LineKind::kTooLongMessage) {
        // The handle, cut at 14 bytes, then ">" and the text, cut with the line.
        const std::size_t handle = QuickBadIn(line, 0, kHandlePrefixSize - 1, true);
        if (handle != std::string_view::npos) return handle;
        return QuickBadIn(line, kHandlePrefixSize, line.size(), line.size() == kMessageLineRoom);
    }
    return QuickBadIn(line, 0, line.size(), line.size() == kHeaderLineRoom);
}

}  // namespace porresku_log
