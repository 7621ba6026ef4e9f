#include "LineRules.h"

#include <algorithm>

namespace porresku_log {

namespace {

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

}  // namespace

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

std::size_t FirstBadShiftJis(std::string_view line, LineKind kind) {
    if (kind == LineKind::kMessage || kind == LineKind::kTooLongMessage) {
        // The handle, cut at 14 bytes, then ">" and the text, cut with the line.
        const std::size_t handle = BadIn(line, 0, kHandlePrefixSize - 1, true);
        if (handle != std::string_view::npos) return handle;
        return BadIn(line, kHandlePrefixSize, line.size(), line.size() == kMessageLineRoom);
    }
    return BadIn(line, 0, line.size(), line.size() == kHeaderLineRoom);
}

std::string_view HandleName(std::string_view line) {
    std::string_view handle = line.substr(0, std::min(line.size(), kHandlePrefixSize - 1));
    while (!handle.empty() && handle.back() == ' ') handle.remove_suffix(1);
    return handle;
}

ByteFaults FindByteFaults(std::string_view line, LineKind kind) { return {FirstBadShiftJis(line, kind), line.find('\n')}; }

}  // namespace porresku_log
