// The listing's and the export's reading, on two threads where the machine
// has two processors. The log is read in pieces of whole lines, each ending
// just before a sound header: no line before that place joins a unit after
// it, so each piece's units are grouped on their own. The threads take the
// pieces in turn; each piece is read, numbered and written out in the log's
// order, while the work between (marking, grouping, converting) goes on on
// both threads at once. Memory stays that of a few pieces for a log of any
// size.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "Postings.h"
#include "Terminal.h"
#include "Threads.h"
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
    std::size_t textEnd = 0;  // a Ctrl-Z, or the piece's size
    bool ctrlZ = false;
    std::int64_t lines = 0;  // CRs: all its lines unless the text ends in it
    void Mark(const Piece& piece);
};

// Hands each unit of a marked piece to onUnit(const LogUnit&), its lines
// numbered on from `linesBefore`.
template <typename OnUnit>
void GroupPiece(const Piece& piece, const MarkedPiece& marked, std::int64_t linesBefore, OnUnit& onUnit) {
    UnitGrouper<OnUnit&> grouper(onUnit);
    LineMaker maker(marked.marks, linesBefore);
    const char* const bytes = piece.bytes.data();
    const std::size_t textEnd = marked.textEnd;
    messagelog::LineEndCursor lineEnds(marked.crBits.data(), 0, textEnd);
    std::size_t at = 0;
    while (at < textEnd) {
        const std::size_t lineEnd = lineEnds.Next();
        const std::int64_t offset = piece.offset + static_cast<std::int64_t>(at);
        if (LogLine* last = grouper.Last()) EndLine(*last, offset);
        const std::size_t length = lineEnd - at;
        if (lineEnd == textEnd) {
            // The last line, unfinished: as the scanner hands it, a copy of
            // its first bytes (which the exact test reads).
            const std::size_t kept = std::min(length, messagelog::LogScanner::kCopiedRoom);
            maker.Make(grouper.Next(), messagelog::ScannedLine{{bytes + at, kept}, true, false, offset, length});
            grouper.Place(true);
            break;
        }
        maker.Make(grouper.Next(), messagelog::ScannedLine{{bytes + at, length}, false, true, offset, length});
        grouper.Place(true);
        at = lineEnd + 1;
        // One LF after the CR belongs to the line end.
        if (at < textEnd && bytes[at] == '\n') ++at;
    }
    if (LogLine* last = grouper.Last()) EndLine(*last, piece.offset + static_cast<std::int64_t>(textEnd));
    grouper.Finish();
}

// The turns of the pieces' stages, which go in the log's order.
class PieceTurns {
public:
    enum Stage { kRead, kNumber, kWrite, kStages };
    explicit PieceTurns(int threads);
    // Waits until it is piece's turn at `stage`; false when the reading
    // failed on another thread meanwhile.
    bool Wait(Stage stage, std::uint32_t piece, int thread);
    void Pass(Stage stage, std::uint32_t piece);
    // Ends every wait; the first failure is kept to be thrown by Rethrow().
    void Fail(std::exception_ptr failure);
    void Rethrow() const;

private:
    void RaiseAll();

    std::atomic<std::uint32_t> turns_[kStages] = {};
    std::atomic<bool> failed_{false};
    std::exception_ptr failure_;
    std::atomic_flag failureTaken_ = ATOMIC_FLAG_INIT;
    std::vector<std::unique_ptr<Signal>> signals_;  // one per thread
};

int PieceThreads(const PieceOptions& options);

// Reads the open file from its start as the board reads it and hands each
// unit to a handler made by makeHandler() for each thread:
// handler(const LogUnit&, Output&) writes what it shows of the unit, and
// returns whether it showed it. What the handlers write goes to `out` in
// the log's order. Returns how many units were shown. Throws
// messagelog::LogError, or what a handler threw.
template <typename MakeHandler>
std::int64_t ShowUnits(platform::FileHandle file, Output& out, MakeHandler&& makeHandler,
                       const PieceOptions& options = {}) {
    SizeAndRewind(file);
    const int threads = PieceThreads(options);
    PieceSource source(file, options);
    PieceTurns turns(threads);
    out.Flush();
    // Shared by the threads, each at its own turn.
    std::int64_t linesBefore = 0;
    bool textEnded = false;
    std::atomic<std::int64_t> shown{0};

    auto work = [&](int thread) {
        std::optional<Output> pieceOut;
        try {
            pieceOut.emplace(out.stream());
            // The next piece is read before this one's turn to be written:
            // the other thread reads its own meanwhile, so neither waits on
            // the other's file call.
            Piece pieces[2];
            int current = 0;
            MarkedPiece marked;
            auto handler = makeHandler();
            std::int64_t shownHere = 0;
            auto onUnit = [&](const LogUnit& unit) {
                if (handler(unit, *pieceOut)) ++shownHere;
            };
            // The piece `at` into `piece`, at its turn; false when there is none.
            auto read = [&](std::uint32_t at, Piece& piece) {
                if (!turns.Wait(PieceTurns::kRead, at, thread)) return false;
                const bool got = source.Next(piece);
                turns.Pass(PieceTurns::kRead, at);
                return got;
            };
            auto at = static_cast<std::uint32_t>(thread);
            for (bool got = read(at, pieces[current]); got;) {
                const Piece& piece = pieces[current];
                if (!piece.rest) marked.Mark(piece);

                if (!turns.Wait(PieceTurns::kNumber, at, thread)) break;
                const bool wanted = !textEnded;
                const bool ends = piece.last || piece.rest || marked.ctrlZ;
                const std::int64_t first = linesBefore;
                if (!piece.rest) linesBefore += marked.lines;
                if (ends) {
                    textEnded = true;
                    source.Stop();
                }
                turns.Pass(PieceTurns::kNumber, at);

                if (wanted && !piece.rest) {
                    pieceOut->Hold(2 * piece.size);
                    GroupPiece(piece, marked, first, onUnit);
                }
                const auto next = at + static_cast<std::uint32_t>(threads);
                const bool more = wanted && !ends && read(next, pieces[current ^ 1]);
                if (!turns.Wait(PieceTurns::kWrite, at, thread)) break;
                pieceOut->Release();
                if (wanted && piece.rest) ReadUnits(file, onUnit, ReadFrom{piece.offset, first});
                pieceOut->Flush();
                turns.Pass(PieceTurns::kWrite, at);
                at = next;
                current ^= 1;
                got = more;
            }
            shown += shownHere;
        } catch (...) {
            turns.Fail(std::current_exception());
        }
        // What is still held missed its turn (the reading failed): the pieces
        // before it did not all go out, so it never does.
        if (pieceOut) pieceOut->Drop();
    };

    Thread helper;
    auto helperWork = [&] { work(1); };
    using HelperWork = decltype(helperWork);
    const bool helped = threads > 1 && helper.Start([](void* context) { (*static_cast<HelperWork*>(context))(); },
                                                    &helperWork);
    if (threads > 1 && !helped) {
        return ShowUnits(file, out, makeHandler, PieceOptions{options.pieceSize, options.largestPiece, 1});
    }
    work(0);
    helper.Join();
    turns.Rethrow();
    return shown;
}

}  // namespace porresku_log
