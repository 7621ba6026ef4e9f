// The log as postings: each line as the board reads it (a CR ends a line,
// one LF after it belongs to the line end, a Ctrl-Z ends the text), with its
// line number, byte offset and line end, grouped into postings (a sound
// header and the sound message lines after it) and single lines that belong
// to no posting. Lines go by one at a time and are seen where the reading
// buffer holds them, copied only when the buffer is about to be filled
// again, so memory stays the same for a log of any size.
#pragma once

#include <cstdint>
#include <deque>
#include <span>
#include <string_view>
#include <utility>
#include <vector>

#include "LineRules.h"
#include "TroubleMarks.h"
#include "common/BoundedText.h"
#include "log/LogError.h"
#include "log/LogScanner.h"
#include "platform/Platform.h"

namespace porresku_log {

struct LogLine {
    std::int64_t number = 0;  // from 1
    std::int64_t offset = 0;  // of its first byte in the file
    std::size_t length = 0;   // without the line end
    int endLength = 0;        // 2 for CR LF, 1 for a CR alone, 0 for an unfinished last line
    LineKind kind = LineKind::kOther;
    std::size_t badByte = std::string_view::npos;  // the first byte that is no Shift-JIS
    std::size_t loneLf = std::string_view::npos;   // the first LF without a CR before it
    static constexpr std::size_t kKeptBytes = kHeaderLineRoom + 1;
    // Its bytes, the first kKeptBytes of them: more than any sound line
    // holds. They last while the line is handed on.
    std::string_view bytes;
    std::string_view text() const { return bytes; }
    bool sound() const { return IsSoundKind(kind) && badByte == std::string_view::npos && loneLf == std::string_view::npos; }
    std::int64_t end() const { return offset + static_cast<std::int64_t>(length) + endLength; }
};

// A posting (its header first), or a single line that belongs to none.
struct LogUnit {
    std::span<const LogLine> lines;
    bool posting = false;

    std::int64_t offset() const { return lines.front().offset; }
    std::int64_t end() const { return lines.back().end(); }
    const LogLine& header() const { return lines.front(); }
};

// How a line stands to the unit before it: a sound message line joins a
// unit that a sound header starts; a sound header starts a posting of its
// own; any other line is a unit of one line that nothing joins.
enum class LineRole { kJoinsPosting, kStartsPosting, kAlone };
inline LineRole RoleOf(const LogLine& line, bool headerOpen) {
    if (!line.sound()) return LineRole::kAlone;
    if (line.kind == LineKind::kMessage) return headerOpen ? LineRole::kJoinsPosting : LineRole::kAlone;
    return line.kind == LineKind::kHeader ? LineRole::kStartsPosting : LineRole::kAlone;
}

// Takes a log's lines in order and hands on its units to onUnit(const
// LogUnit&). Each line is made in place: Next() gives its record to fill,
// Place() puts it in its unit. A unit goes on when the line after it is
// placed (or at Finish()), so the last line's record can still be changed
// (its line end told) until then.
template <typename OnUnit>
class UnitGrouper {
public:
    explicit UnitGrouper(OnUnit onUnit) : onUnit_(std::forward<OnUnit>(onUnit)) {}

    LogLine& Next() { return open_.emplace_back(); }
    // The line last placed, or null.
    LogLine* Last() { return open_.empty() ? nullptr : &open_.back(); }
    // `lasting`: the line's bytes stay where they are until KeepLines();
    // otherwise they are copied now.
    void Place(bool lasting) {
        const LineRole role = RoleOf(open_.back(), headerLed_);
        if (role == LineRole::kJoinsPosting) {
            posting_ = true;
        } else {
            HandOn(open_.size() - 1);
            headerLed_ = role == LineRole::kStartsPosting;
        }
        if (!lasting) KeepLines();
    }
    void Add(const LogLine& line, bool lasting) {
        Next() = line;
        Place(lasting);
    }
    // The bytes of the lines placed as lasting are about to go: copies of
    // those of the units still open are kept.
    void KeepLines() {
        for (; kept_ < open_.size(); ++kept_) Keep(open_[kept_]);
    }
    void Finish() { HandOn(open_.size()); }

private:
    // Hands on the first `count` lines as a unit; the rest start the next.
    void HandOn(std::size_t count) {
        if (count == 0) return;
        onUnit_(static_cast<const LogUnit&>(LogUnit{{open_.data(), count}, posting_}));
        posting_ = false;
        const std::size_t left = open_.size() - count;
        // The copies are made afresh for the lines left (one, or none).
        BoundedText<LogLine::kKeptBytes> keptBytes;
        const bool wasKept = left != 0 && count < kept_;
        if (wasKept) keptBytes.assign(open_[count].bytes);
        for (std::size_t i = 0; i < left; ++i) open_[i] = open_[count + i];
        open_.resize(left);
        kept_ = 0;
        copiesUsed_ = 0;
        if (wasKept) {
            open_[0].bytes = keptBytes.view();
            KeepLines();
        }
    }
    void Keep(LogLine& line) {
        if (copiesUsed_ == copies_.size()) copies_.emplace_back();
        BoundedText<LogLine::kKeptBytes>& copy = copies_[copiesUsed_++];
        copy.assign(line.bytes);
        line.bytes = copy.view();
    }

    OnUnit onUnit_;
    std::vector<LogLine> open_;  // the unit still open, then the line just made
    bool headerLed_ = false;      // the open unit starts with a sound header
    bool posting_ = false;        // and a sound message line joined it
    std::size_t kept_ = 0;        // the open lines whose bytes are copies
    // Copies stay where they are while more are made.
    std::deque<BoundedText<LogLine::kKeptBytes>> copies_;
    std::size_t copiesUsed_ = 0;
};

// The postings of a log's lines as they go by, for what writes each line of
// a posting as it comes: the same grouping as UnitGrouper's, with no unit
// kept. The sink hears sink.Header(line) for each sound header,
// sink.Message(line) for each sound message line that joins it, and
// sink.Close(posting) when the header's unit ends (posting: a message line
// joined it). A line lasts only while the sink has it, and its line end is
// not told.
template <typename Sink>
class PostingStream {
public:
    explicit PostingStream(Sink& sink) : sink_(sink) {}

    void Place(const LogLine& line) {
        const LineRole role = RoleOf(line, headerLed_);
        if (role == LineRole::kJoinsPosting) {
            posting_ = true;
            sink_.Message(line);
            return;
        }
        if (headerLed_) Close();
        headerLed_ = role == LineRole::kStartsPosting;
        if (headerLed_) sink_.Header(line);
    }
    // The log (or a stretch that no later line joins) ends.
    void Finish() {
        if (headerLed_) Close();
        headerLed_ = false;
    }
    std::int64_t postings() const { return postings_; }

private:
    void Close() {
        sink_.Close(posting_);
        postings_ += posting_ ? 1 : 0;
        posting_ = false;
    }

    Sink& sink_;
    bool headerLed_ = false;
    bool posting_ = false;
    std::int64_t postings_ = 0;
};

// How the readable text ended.
struct TextEnd {
    std::int64_t fileSize = 0;
    std::int64_t ctrlZ = -1;  // where a Ctrl-Z ended the text, or -1
    std::int64_t lines = 0;
};

// The file's size, with the file read from its start next. Throws
// messagelog::LogError.
std::int64_t SizeAndRewind(platform::FileHandle file);

// Makes each line's record from the scanner's line: its number, place,
// line end as far as the scanner shows it (1 for a CR, told exactly once the
// next line begins), kind and faults.
class LineMaker {
public:
    // The scanner marks each filling with the tool's own marks as well.
    // Lines are numbered on from `linesBefore`.
    explicit LineMaker(messagelog::LogScanner& scanner, std::int64_t linesBefore = 0)
        : marks_(&ownMarks_), lines_(linesBefore) {
        scanner.MarkFillsWith(&TroubleMarks::MarkFilling, &ownMarks_);
    }
    // The lines of a stretch that `marks` marked from its first line on.
    LineMaker(const TroubleMarks& marks, std::int64_t linesBefore) : marks_(&marks), lines_(linesBefore) {}
    LineMaker(const LineMaker&) = delete;
    LineMaker& operator=(const LineMaker&) = delete;
    // Inline: it runs for every line, and where the compiler left it a call
    // (as it did once its callers grew), a check took a sixteenth longer.
    __attribute__((always_inline)) void Make(LogLine& line, const messagelog::ScannedLine& scanned) {
        Fill(line, scanned);
        if (!scanned.copied &&
            !Marked(static_cast<std::size_t>(scanned.bytes.data() - marks_->base()), scanned.length, line.kind)) {
            // Shift-JIS with no LF.
            line.badByte = line.loneLf = std::string_view::npos;
            return;
        }
        // A copied line is cut at the scanner's room when `length` is more:
        // it is far too long to be sound whatever its kind, and its first
        // bytes tell that.
        const bool cut = scanned.bytes.size() < line.length;
        if (cut && IsSoundKind(line.kind)) line.kind = LineKind::kOther;
        const ByteFaults faults = FindByteFaults(scanned.bytes, line.kind);
        line.badByte = faults.badByte;
        // Nor is a character that the copy's room cut in half.
        if (cut && line.badByte + 1 == scanned.bytes.size()) line.badByte = std::string_view::npos;
        line.loneLf = faults.loneLf;
    }
    // The same for a line in place (not copied) that the caller knows has
    // no mark up to its CR: Shift-JIS with no LF.
    __attribute__((always_inline)) void MakeUnmarked(LogLine& line, const messagelog::ScannedLine& scanned) {
        Fill(line, scanned);
        line.badByte = line.loneLf = std::string_view::npos;
    }
    std::int64_t lines() const { return lines_; }

private:
    __attribute__((always_inline)) void Fill(LogLine& line, const messagelog::ScannedLine& scanned) {
        line.number = ++lines_;
        line.offset = scanned.offset;
        line.length = scanned.length;
        line.endLength = scanned.ended ? 1 : 0;
        line.kind = Classify(scanned.bytes);
        line.bytes = scanned.bytes.substr(0, LogLine::kKeptBytes);
    }
    // Whether the line at `from` has a mark up to its CR that is a fault: a
    // lead byte the board left alone where it cuts (at a full line's end,
    // which marks the CR, or at a message line's 14-byte handle, which marks
    // the ">") is none.
    bool Marked(std::size_t from, std::size_t length, LineKind kind) const {
        const std::size_t crAt = from + length;
        if (!marks_->AnyIn(from, crAt + 1)) return false;
        const bool message = kind == LineKind::kMessage || kind == LineKind::kTooLongMessage;
        if (length != (message ? kMessageLineRoom : kHeaderLineRoom) && marks_->AnyIn(crAt, crAt + 1)) return true;
        if (!message) return marks_->AnyIn(from, crAt);
        return marks_->AnyIn(from, from + kHandlePrefixSize - 1) ||
               (length > kHandlePrefixSize && marks_->AnyIn(from + kHandlePrefixSize, crAt));
    }

    TroubleMarks ownMarks_;
    const TroubleMarks* marks_;
    std::int64_t lines_ = 0;
};

// A line's line end, once the next line shows where it stops.
inline void EndLine(LogLine& line, std::int64_t nextOffset) {
    if (line.endLength != 0) {
        line.endLength = static_cast<int>(nextOffset - line.offset - static_cast<std::int64_t>(line.length));
    }
}

// Reads the open file from its start as the board reads it and hands each
// line, its line end told, to onLine(const LogLine&, bool lasting). A line's
// bytes last until beforeRefill() is called, before the scanner's buffer is
// filled again, when `lasting`; otherwise only while onLine has the line.
// Throws messagelog::LogError.
template <typename OnLine, typename BeforeRefill>
TextEnd ReadLines(platform::FileHandle file, OnLine&& onLine, BeforeRefill&& beforeRefill) {
    TextEnd end;
    end.fileSize = SizeAndRewind(file);
    messagelog::LogScanner scanner(file);
    LineMaker maker(scanner);
    // A line waits for the next to tell its line end; its bytes are copied
    // when the buffer is filled again meanwhile, or when the scanner copied them.
    LogLine waiting;
    bool isWaiting = false;
    BoundedText<LogLine::kKeptBytes> waitingBytes;
    auto keepWaiting = [&] {
        waitingBytes.assign(waiting.bytes);
        waiting.bytes = waitingBytes.view();
    };
    scanner.Scan(
        [&](const messagelog::ScannedLine& scanned) {
            if (isWaiting) {
                EndLine(waiting, scanned.offset);
                onLine(static_cast<const LogLine&>(waiting), waiting.bytes.data() != waitingBytes.bytes);
            }
            maker.Make(waiting, scanned);
            if (scanned.copied) keepWaiting();
            isWaiting = true;
            return true;
        },
        [&] {
            if (isWaiting && waiting.bytes.data() != waitingBytes.bytes) keepWaiting();
            beforeRefill();
        });
    end.ctrlZ = scanner.ctrlZOffset();
    end.lines = maker.lines();
    if (isWaiting) {
        // The last line's line end runs to the end of the text.
        EndLine(waiting, scanner.textEnd());
        onLine(static_cast<const LogLine&>(waiting), waiting.bytes.data() != waitingBytes.bytes);
    }
    return end;
}

// Where a reading begins: the log's start, or a line where a posting can
// begin (none of the lines before it joins a unit after it).
struct ReadFrom {
    std::int64_t offset = 0;
    std::int64_t linesBefore = 0;
};

// Reads the open file as the board reads it, from its start or `from`, and
// hands each unit to onUnit(const LogUnit&). Throws messagelog::LogError.
template <typename OnUnit>
TextEnd ReadUnits(platform::FileHandle file, OnUnit&& onUnit, const ReadFrom& from = {}) {
    TextEnd end;
    end.fileSize = SizeAndRewind(file);
    UnitGrouper<OnUnit&> grouper(onUnit);
    auto endLastLine = [&](std::int64_t nextOffset) {
        if (LogLine* last = grouper.Last()) EndLine(*last, nextOffset);
    };
    messagelog::LogScanner scanner(file);
    scanner.StartAt({from.offset, false});
    LineMaker maker(scanner, from.linesBefore);
    scanner.Scan(
        [&](const messagelog::ScannedLine& scanned) {
            endLastLine(scanned.offset);
            maker.Make(grouper.Next(), scanned);
            grouper.Place(!scanned.copied);
            return true;
        },
        [&] { grouper.KeepLines(); });
    end.ctrlZ = scanner.ctrlZOffset();
    end.lines = maker.lines();
    // After the last line: its line end runs to the end of the text.
    endLastLine(scanner.textEnd());
    grouper.Finish();
    return end;
}

}  // namespace porresku_log
