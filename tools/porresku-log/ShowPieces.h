// The listing's and the export's reading, on two threads where the machine
// has two processors. The threads take the log's pieces in turn; each piece
// is read, numbered and written out in the log's order, while the work
// between (marking, grouping, converting) goes on on both threads at once.
// Memory stays that of a few pieces for a log of any size.
#pragma once

#include <atomic>
#include <cstdint>
#include <exception>
#include <optional>

#include "PieceTurns.h"
#include "Pieces.h"
#include "Postings.h"
#include "Terminal.h"
#include "Threads.h"
#include "platform/Platform.h"

namespace porresku_log {

// Reads the open file from its start as the board reads it, in pieces, and
// hands them to a reader that makeReader(Output&) makes for each thread,
// which writes what it shows to that Output:
// - reader.ReadPiece(piece, marked, linesBefore) takes a piece's lines;
// - reader.ReadRest(file, ReadFrom) reads the rest of the log from there, line by line;
// each returns how many it showed. What the readers write goes to `out` in
// the log's order. Returns how many were shown. Throws
// messagelog::LogError, or what a reader threw.
template <typename MakeReader>
std::int64_t ReadPieces(platform::FileHandle file, Output& out, MakeReader&& makeReader, const PieceOptions& options) {
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
            auto reader = makeReader(*pieceOut);
            std::int64_t shownHere = 0;
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
                    shownHere += reader.ReadPiece(piece, marked, first);
                }
                const auto next = at + static_cast<std::uint32_t>(threads);
                const bool more = wanted && !ends && read(next, pieces[current ^ 1]);
                if (!turns.Wait(PieceTurns::kWrite, at, thread)) break;
                pieceOut->Release();
                if (wanted && piece.rest) shownHere += reader.ReadRest(file, ReadFrom{piece.offset, first});
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

    std::optional<ProcessorsApart> apart;
    if (threads > 1) apart.emplace();
    Thread helper;
    auto helperWork = [&] {
        apart->KeepHelper();
        work(1);
    };
    using HelperWork = decltype(helperWork);
    const bool helped = threads > 1 && helper.Start([](void* context) { (*static_cast<HelperWork*>(context))(); },
                                                    &helperWork);
    if (threads > 1 && !helped) {
        apart.reset();
        return ReadPieces(file, out, makeReader, PieceOptions{options.pieceSize, options.largestPiece, 1});
    }
    work(0);
    helper.Join();
    turns.Rethrow();
    return shown;
}

// The units of each piece, to a unit handler.
template <typename Handler>
struct UnitReader {
    Handler handler;
    Output& out;
    std::int64_t shown = 0;

    void operator()(const LogUnit& unit) { shown += handler(unit, out) ? 1 : 0; }
    std::int64_t ReadPiece(const Piece& piece, const MarkedPiece& marked, std::int64_t linesBefore) {
        shown = 0;
        GroupPiece(piece, marked, linesBefore, *this);
        return shown;
    }
    std::int64_t ReadRest(platform::FileHandle file, const ReadFrom& from) {
        shown = 0;
        ReadUnits(file, *this, from);
        return shown;
    }
};

// The postings of each piece, to a posting sink. The rest of a log read
// line by line goes out as it is read, so only its postings are told.
template <typename Sink>
struct PostingReader {
    Sink sink;

    std::int64_t ReadPiece(const Piece& piece, const MarkedPiece& marked, std::int64_t linesBefore) {
        return StreamPiece(piece, marked, linesBefore, sink);
    }
    std::int64_t ReadRest(platform::FileHandle file, const ReadFrom& from) {
        std::int64_t postings = 0;
        ReadUnits(
            file,
            [&](const LogUnit& unit) {
                if (!unit.posting) return;
                sink.Header(unit.header());
                for (const LogLine& line : unit.lines.subspan(1)) sink.Message(line);
                sink.Close(true);
                ++postings;
            },
            from);
        return postings;
    }
};

// Reads the open file from its start as the board reads it and hands each
// unit to a handler made by makeHandler() for each thread:
// handler(const LogUnit&, Output&) writes what it shows of the unit, and
// returns whether it showed it. What the handlers write goes to `out` in
// the log's order. Returns how many units were shown. Throws
// messagelog::LogError, or what a handler threw.
template <typename MakeHandler>
std::int64_t ShowUnits(platform::FileHandle file, Output& out, MakeHandler&& makeHandler,
                       const PieceOptions& options = {}) {
    return ReadPieces(
        file, out, [&](Output& pieceOut) { return UnitReader<decltype(makeHandler())>{makeHandler(), pieceOut}; },
        options);
}

// Reads the open file the same and hands its postings, as PostingStream
// does, to a sink made by makeSink(Output&) for each thread, which writes
// what it shows to that Output. The sink may take back what it wrote of a
// header that no message line joins (Output::TakeBack): it hears
// Close(false) only within a piece, whose output is held until its turn.
// Returns how many postings there were.
template <typename MakeSink>
std::int64_t ShowPostings(platform::FileHandle file, Output& out, MakeSink&& makeSink,
                          const PieceOptions& options = {}) {
    return ReadPieces(
        file, out,
        [&](Output& pieceOut) { return PostingReader<decltype(makeSink(pieceOut))>{makeSink(pieceOut)}; },
        options);
}

}  // namespace porresku_log
