// What a line of the log is, judged as the board reads and writes it: a
// header ("MM/DD hh:mm ID", or "MM/DD ID" in the first second of a day), a
// message line (handle prefix with ">" at byte 15, then the text), or
// neither; and whether its bytes are Shift-JIS. Pure byte tests, shared by
// check, repair and the postings model.
#pragma once

#include <cstddef>
#include <string_view>

namespace porresku_log {

// The longest lines the board writes.
inline constexpr std::size_t kMessageLineRoom = 80;
inline constexpr std::size_t kHeaderLineRoom = 96;
inline constexpr std::size_t kHandlePrefixSize = 15;

enum class LineKind {
    kHeader,
    kMessage,
    // "MM/DD hh:mm ID" with ">" at byte 15 (the ID's third byte): the load
    // takes it for a header, the listing shows it as a message line.
    kHeaderWithMark,
    // ">" at byte 15 with "/" at byte 3 and ":" at byte 9: the load takes
    // it for a header and leaves it out of the recent ten.
    kMessageShapedLikeHeader,
    kEmpty,
    kTooLongMessage,
    kTooLongHeader,
    kOther,
};

// The shapes of a line's first bytes. Inline, as Classify is: they run for
// every line of the log.
namespace line_shape {
inline bool IsDigit(char c) { return c >= '0' && c <= '9'; }
inline bool TwoDigits(std::string_view line, std::size_t at) {
    return line.size() >= at + 2 && IsDigit(line[at]) && IsDigit(line[at + 1]);
}
// "MM/DD hh:mm " before the user ID: 12 bytes.
inline bool HasLongKey(std::string_view line) {
    return line.size() >= 12 && TwoDigits(line, 0) && line[2] == '/' && TwoDigits(line, 3) && line[5] == ' ' &&
           TwoDigits(line, 6) && line[8] == ':' && TwoDigits(line, 9) && line[11] == ' ';
}
// "MM/DD " before the user ID: 6 bytes.
inline bool HasShortKey(std::string_view line) {
    return line.size() >= 6 && TwoDigits(line, 0) && line[2] == '/' && TwoDigits(line, 3) && line[5] == ' ';
}
inline bool HasMark(std::string_view line) { return line.size() >= 15 && line[14] == '>'; }
inline bool LoadTakesForHeader(std::string_view line) { return line.size() >= 9 && line[2] == '/' && line[8] == ':'; }
}  // namespace line_shape

inline LineKind Classify(std::string_view line) {
    using namespace line_shape;
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

inline bool IsSoundKind(LineKind kind) { return kind == LineKind::kHeader || kind == LineKind::kMessage; }
// A few words on what is wrong with a line of this kind (ASCII).
const char* KindProblem(LineKind kind);

// Whether a line that Classify calls a header (or a header with the mark)
// has the long key: its first six bytes are "MM/DD " either way, so only
// the "hh:mm " after them is looked at.
inline bool HeaderHasLongKey(std::string_view line) {
    using namespace line_shape;
    return line.size() >= 12 && TwoDigits(line, 6) && line[8] == ':' && TwoDigits(line, 9) && line[11] == ' ';
}

// The header's time key ("MM/DD hh:mm" or "MM/DD") and user ID; only for a
// line that Classify calls a header (or a header with the mark).
struct HeaderFields {
    std::string_view key;
    std::string_view userId;
};
inline HeaderFields SplitHeader(std::string_view line) {
    const std::size_t keySize = HeaderHasLongKey(line) ? 11 : 5;
    return {line.substr(0, keySize), line.substr(keySize + 1)};
}

// Where the first byte lies that is no Shift-JIS (CP932), or npos. The
// board cuts a handle at 14 bytes and a line at its room without regard to
// characters, so the first byte of a two-byte character left alone at
// those places is no fault: `kind` tells which places those are.
std::size_t FirstBadShiftJis(std::string_view line, LineKind kind);

// What is wrong with a line's bytes, as indexes into it, or npos.
struct ByteFaults {
    std::size_t badByte = std::string_view::npos;  // as FirstBadShiftJis tells it
    std::size_t loneLf = std::string_view::npos;   // the first LF: the board ends a line at a CR only
};
ByteFaults FindByteFaults(std::string_view line, LineKind kind);

// The text of a message line (after the handle prefix) and the handle
// without its padding blanks.
inline std::string_view MessageText(std::string_view line) {
    return line.size() > kHandlePrefixSize ? line.substr(kHandlePrefixSize) : std::string_view();
}
std::string_view HandleName(std::string_view line);

// Lead and trail bytes of a two-byte CP932 character.
constexpr bool IsLeadByte(unsigned char c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }
constexpr bool IsTrailByte(unsigned char c) { return c >= 0x40 && c <= 0xFC && c != 0x7F; }

}  // namespace porresku_log
