#include "Check.h"

#include <atomic>

#include "Commands.h"
#include "LogFiles.h"
#include "ShowPieces.h"
#include "Terminal.h"

namespace porresku_log {

namespace {

template <typename Report>
void LineFindings(const LogLine& line, Report& report) {
    if (line.sound() && line.endLength == 2) return;
    auto at = [&](std::string what, bool show) { report({line.number, line.offset, std::move(what), show ? &line : nullptr}); };
    if (!IsSoundKind(line.kind)) at(KindProblem(line.kind), true);
    if (line.loneLf != std::string_view::npos) {
        at("an LF without a CR at byte " + std::to_string(line.loneLf + 1) +
               ": the board does not end a line there (a line end from another system)",
           false);
    }
    if (line.badByte != std::string_view::npos) {
        at("no Shift-JIS at byte " + std::to_string(line.badByte + 1), true);
    }
    if (line.endLength == 1) at("ended by a CR without an LF", false);
    if (line.endLength == 0) at("the last line is unfinished (no CR LF)", false);
}

// The check's rules over lines in order, from a place where a posting can
// begin: each line's own findings, and those of the units the grouping
// makes of them (a header that no message line joins, a message line with
// no header before it). The header that opened the unit still open is kept
// until a message line joins it; alone, it is a finding.
template <typename Report>
class LineChecker {
public:
    explicit LineChecker(Report& report) : report_(report) {}
    // `lasting`: the line's bytes stay where they are until Keep().
    void Line(const LogLine& line, bool lasting) {
        const LineRole role = RoleOf(line, headerOpen_);
        if (role == LineRole::kJoinsPosting) {
            if (headerAlone_) ++postings_;
            headerAlone_ = false;
        } else {
            CloseUnit();
            headerOpen_ = headerAlone_ = role == LineRole::kStartsPosting;
            if (headerOpen_) {
                // What a finding about it shows: a record's whole copy
                // would cost a library call for each header.
                header_.number = line.number;
                header_.offset = line.offset;
                header_.length = line.length;
                header_.bytes = line.bytes;
                if (!lasting) Keep();
            }
        }
        LineFindings(line, report_);
        if (role == LineRole::kAlone && line.sound()) {
            report_({line.number, line.offset, "a message line without a header before it", &line});
        }
    }
    // The bytes of the lines given as lasting are about to go.
    void Keep() {
        if (!headerAlone_) return;
        headerBytes_.assign(header_.bytes);
        header_.bytes = headerBytes_.view();
    }
    // No line after these joins the unit still open.
    void Finish() {
        CloseUnit();
        headerOpen_ = headerAlone_ = false;
    }
    std::int64_t postings() const { return postings_; }

private:
    void CloseUnit() {
        if (headerAlone_) report_({header_.number, header_.offset, "a header without a message line", &header_});
    }

    Report& report_;
    LogLine header_;
    BoundedText<LogLine::kKeptBytes> headerBytes_;
    bool headerOpen_ = false;
    bool headerAlone_ = false;
    std::int64_t postings_ = 0;
};

Finding CtrlZFinding(std::int64_t ctrlZ, std::int64_t fileSize) {
    const std::int64_t hidden = fileSize - ctrlZ - 1;
    return {0, ctrlZ,
            "a Ctrl-Z at byte " + std::to_string(ctrlZ + 1) + ": the board reads no further" +
                (hidden > 0 ? ", and it hides the " + std::to_string(hidden) + " bytes behind it" : ""),
            nullptr};
}

// What the threads of a check in pieces found together.
struct CheckTotals {
    std::atomic<std::int64_t> findings{0};
    std::atomic<std::int64_t> postings{0};
    std::atomic<std::int64_t> lines{0};
    std::atomic<std::int64_t> ctrlZ{-1};
};

// Checks each piece on its own (no unit crosses from one to the next),
// writing its findings to the thread's output.
class PieceChecker {
public:
    PieceChecker(Output& out, const WriteFinding& write, CheckTotals& totals)
        : out_(out), write_(write), totals_(totals) {}

    std::int64_t ReadPiece(const Piece& piece, const MarkedPiece& marked, std::int64_t linesBefore) {
        CheckLines([&](auto& checker) {
            std::int64_t lines = 0;
            // Each line is checked once the next one tells its line end.
            LogLine line;
            MakePieceLines(
                piece, marked, linesBefore,
                [&](std::int64_t offset) -> LogLine& {
                    if (lines != 0) {
                        EndLine(line, offset);
                        checker.Line(line, true);
                    }
                    return line;
                },
                [&] { ++lines; });
            if (lines != 0) {
                EndLine(line, piece.offset + static_cast<std::int64_t>(marked.textEnd));
                checker.Line(line, true);
            }
            return lines;
        });
        if (marked.ctrlZ) totals_.ctrlZ = piece.offset + static_cast<std::int64_t>(marked.textEnd);
        return 0;
    }
    std::int64_t ReadRest(platform::FileHandle file, const ReadFrom& from) {
        CheckLines([&](auto& checker) {
            std::int64_t lines = 0;
            const TextEnd end = ReadUnits(
                file,
                [&](const LogUnit& unit) {
                    for (const LogLine& line : unit.lines) checker.Line(line, false);
                    lines += static_cast<std::int64_t>(unit.lines.size());
                },
                from);
            if (end.ctrlZ >= 0) totals_.ctrlZ = end.ctrlZ;
            return lines;
        });
        return 0;
    }

private:
    // Checks the lines that feed(checker) gives the checker, from a place
    // where a posting can begin, and adds what it found to the totals;
    // feed returns how many lines it gave.
    template <typename Feed>
    void CheckLines(Feed&& feed) {
        std::int64_t findings = 0;
        auto report = [&](const Finding& finding) {
            ++findings;
            write_(finding, out_);
        };
        LineChecker<decltype(report)> checker(report);
        const std::int64_t lines = feed(checker);
        checker.Finish();
        totals_.findings += findings;
        totals_.postings += checker.postings();
        totals_.lines += lines;
    }

    Output& out_;
    const WriteFinding& write_;
    CheckTotals& totals_;
};

}  // namespace

CheckSummary CheckLog(platform::FileHandle file, const std::function<void(const Finding&)>& onFinding) {
    CheckSummary summary;
    auto report = [&](const Finding& finding) {
        ++summary.findings;
        onFinding(finding);
    };
    LineChecker<decltype(report)> checker(report);
    const TextEnd end = ReadLines(
        file, [&](const LogLine& line, bool lasting) { checker.Line(line, lasting); }, [&] { checker.Keep(); });
    checker.Finish();
    summary.lines = end.lines;
    summary.postings = checker.postings();
    if (end.ctrlZ >= 0) report(CtrlZFinding(end.ctrlZ, end.fileSize));
    return summary;
}

CheckSummary CheckLogInPieces(platform::FileHandle file, Output& out, const WriteFinding& write,
                              const PieceOptions& options) {
    const std::int64_t fileSize = SizeAndRewind(file);
    CheckTotals totals;
    ReadPieces(
        file, out, [&](Output& pieceOut) { return PieceChecker(pieceOut, write, totals); }, options);
    CheckSummary summary{totals.findings, totals.postings, totals.lines};
    if (totals.ctrlZ >= 0) {
        write(CtrlZFinding(totals.ctrlZ, fileSize), out);
        ++summary.findings;
    }
    return summary;
}

int RunCheck(const std::string& log, Terminal& terminal) {
    const ReadableLog file(log);
    Output& out = terminal.out();
    const bool raw = terminal.raw();
    const CheckSummary summary = CheckLogInPieces(file.handle(), out, [raw](const Finding& finding, Output& to) {
        if (finding.line > 0) to << "line " << static_cast<long long>(finding.line) << ": ";
        to << finding.what;
        if (finding.shown != nullptr) {
            to << ": ";
            Terminal(to, raw).Text(finding.shown->text());
            if (finding.shown->length > finding.shown->text().size()) to << "...";
        }
        to << '\n';
    });
    if (summary.findings == 0) {
        out << "clean: " << Counted(summary.postings, "posting", "postings") << " in "
            << Counted(summary.lines, "line", "lines") << '\n';
        return 0;
    }
    out << Counted(summary.findings, "finding", "findings") << " in " << Counted(summary.lines, "line", "lines") << " ("
        << Counted(summary.postings, "whole posting", "whole postings")
        << "); \"porresku-log repair\" mends the line ends and the Ctrl-Z\n";
    return 1;
}

}  // namespace porresku_log
