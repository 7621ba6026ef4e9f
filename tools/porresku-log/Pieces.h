// The log in pieces of whole lines, each ending just before a sound header:
// no line before that place joins a unit after it, so each piece's lines are
// grouped on their own, as the line-by-line reading groups them.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "Postings.h"
#include "TroubleMarks.h"
#include "platform/Platform.h"

namespace porresku_log {

struct PieceOptions {
    // What a piece reads at first: large enough that the turns cost little,
    // small enough that two pieces and their output stay within a megabyte.
    std::size_t pieceSize = 64 * 1024;
    // A piece with no sound header to end before grows up to this; beyond
    // it, the rest of the log is read line by line as ReadUnits reads it.
    std::size_t largestPiece = 4 * 1024 * 1024;
    // 0: one per processor, at most two.
    int threads = 0;
};

// A stretch of the log's text, whole lines that end where a posting can
// begin, or (in the last piece) where the file ends.
struct Piece {
    std::vector<char> bytes;
    std::size_t size = 0;
    std::int64_t offset = 0;  // of its first byte in the file
    bool last = false;        // the file ends with it
    // No place to end was found within largestPiece: the rest of the log,
    // from `offset` on, is read line by line.
    bool rest = false;
};

// Reads the file's pieces one after another (called by one thread at a time).
class PieceSource {
public:
    PieceSource(platform::FileHandle file, const PieceOptions& options) : file_(file), options_(options) {}
    // The next piece into `piece`; false when there is none. Throws
    // messagelog::LogError.
    bool Next(Piece& piece);
    // No more pieces are wanted (the text ended in one already read).
    void Stop() { done_ = true; }

private:
    platform::FileHandle file_;
    PieceOptions options_;
    std::vector<char> carried_;  // the bytes after the last piece's end
    std::int64_t offset_ = 0;    // where they lie in the file
    std::atomic<bool> done_{false};
};

// Where a piece may end: just before the last sound header whose line lies
// whole within `bytes` and does not begin it; 0 when there is none.
std::size_t PieceEnd(const char* bytes, std::size_t size);

// A piece's text as the board reads it (up to a Ctrl-Z), its CRs and trouble
// marks, and how many lines end in it.
struct MarkedPiece {
    TroubleMarks marks;
    std::vector<std::uint32_t> crBits;
    // The places of the CRs before the text's end, in order: walked as a
    // list, the lines' ends take no branch that depends on where they fall.
    std::vector<std::uint32_t> lineEnds;
    std::size_t textEnd = 0;  // a Ctrl-Z, or the piece's size
    bool ctrlZ = false;
    std::int64_t lines = 0;  // CRs: all its lines unless the text ends in it
    void Mark(const Piece& piece);
};

// Makes each line of a marked piece, numbered on from `linesBefore`, into
// the record that next(offset) gives, then calls placed(): the lines as the
// line-by-line reading makes them.
template <typename NextRecord, typename Placed>
void MakePieceLines(const Piece& piece, const MarkedPiece& marked, std::int64_t linesBefore, NextRecord&& next,
                    Placed&& placed) {
    LineMaker maker(marked.marks, linesBefore);
    const char* const bytes = piece.bytes.data();
    const std::size_t textEnd = marked.textEnd;
    // A line that ends before the next mark has none: most lines of a log
    // are told clean by this one compare.
    std::size_t nextMark = marked.marks.NextFrom(0, textEnd);
    std::size_t at = 0;
    for (const std::uint32_t lineEnd : marked.lineEnds) {
        const std::int64_t offset = piece.offset + static_cast<std::int64_t>(at);
        LogLine& line = next(offset);
        const std::size_t length = lineEnd - at;
        const messagelog::ScannedLine scanned{{bytes + at, length}, false, true, offset, length};
        if (lineEnd < nextMark) {
            maker.MakeUnmarked(line, scanned);
        } else {
            maker.Make(line, scanned);
            nextMark = marked.marks.NextFrom(lineEnd + 1, textEnd);
        }
        placed();
        at = lineEnd + 1;
        // One LF after the CR belongs to the line end.
        if (at < textEnd && bytes[at] == '\n') ++at;
    }
    if (at < textEnd) {
        // The last line, unfinished: as the scanner hands it, a copy of its
        // first bytes (which the exact test reads).
        const std::int64_t offset = piece.offset + static_cast<std::int64_t>(at);
        LogLine& line = next(offset);
        const std::size_t length = textEnd - at;
        const std::size_t kept = std::min(length, messagelog::LogScanner::kCopiedRoom);
        maker.Make(line, messagelog::ScannedLine{{bytes + at, kept}, true, false, offset, length});
        placed();
    }
}

// Hands each unit of a marked piece to onUnit(const LogUnit&), its lines
// numbered on from `linesBefore`.
template <typename OnUnit>
void GroupPiece(const Piece& piece, const MarkedPiece& marked, std::int64_t linesBefore, OnUnit& onUnit) {
    UnitGrouper<OnUnit&> grouper(onUnit);
    MakePieceLines(
        piece, marked, linesBefore,
        [&](std::int64_t offset) -> LogLine& {
            if (LogLine* last = grouper.Last()) EndLine(*last, offset);
            return grouper.Next();
        },
        [&] { grouper.Place(true); });
    if (LogLine* last = grouper.Last()) EndLine(*last, piece.offset + static_cast<std::int64_t>(marked.textEnd));
    grouper.Finish();
}

// Hands the postings of a marked piece to `sink` as PostingStream does, its
// lines numbered on from `linesBefore`; returns how many there were.
template <typename Sink>
std::int64_t StreamPiece(const Piece& piece, const MarkedPiece& marked, std::int64_t linesBefore, Sink& sink) {
    PostingStream<Sink> stream(sink);
    LogLine line;
    MakePieceLines(
        piece, marked, linesBefore, [&](std::int64_t) -> LogLine& { return line; }, [&] { stream.Place(line); });
    stream.Finish();
    return stream.postings();
}

}  // namespace porresku_log
