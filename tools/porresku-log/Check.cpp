#include "Check.h"

#include "LogFiles.h"
#include "Commands.h"
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

}  // namespace

CheckSummary CheckLog(platform::FileHandle file, const std::function<void(const Finding&)>& onFinding) {
    CheckSummary summary;
    auto report = [&](const Finding& finding) {
        ++summary.findings;
        onFinding(finding);
    };
    // Line by line, the postings told by the same rule that groups them for
    // the other commands. The header that opened the unit still open is
    // kept until a message line joins it; alone, it is a finding.
    LogLine header;
    BoundedText<LogLine::kKeptBytes> headerBytes;
    bool headerOpen = false;
    bool headerAlone = false;
    auto keepHeader = [&] {
        headerBytes.assign(header.bytes);
        header.bytes = headerBytes.view();
    };
    auto closeUnit = [&] {
        if (headerAlone) report({header.number, header.offset, "a header without a message line", &header});
    };
    const TextEnd end = ReadLines(
        file,
        [&](const LogLine& line, bool lasting) {
            const LineRole role = RoleOf(line, headerOpen);
            if (role == LineRole::kJoinsPosting) {
                if (headerAlone) ++summary.postings;
                headerAlone = false;
            } else {
                closeUnit();
                headerOpen = headerAlone = role == LineRole::kStartsPosting;
                if (headerOpen) {
                    // What a finding about it shows: a record's whole copy
                    // would cost a library call for each header.
                    header.number = line.number;
                    header.offset = line.offset;
                    header.length = line.length;
                    header.bytes = line.bytes;
                    if (!lasting) keepHeader();
                }
            }
            LineFindings(line, report);
            if (role == LineRole::kAlone && line.sound()) {
                report({line.number, line.offset, "a message line without a header before it", &line});
            }
        },
        [&] {
            if (headerAlone) keepHeader();
        });
    closeUnit();
    summary.lines = end.lines;
    if (end.ctrlZ >= 0) {
        const std::int64_t hidden = end.fileSize - end.ctrlZ - 1;
        report({0, end.ctrlZ,
                "a Ctrl-Z at byte " + std::to_string(end.ctrlZ + 1) + ": the board reads no further" +
                    (hidden > 0 ? ", and it hides the " + std::to_string(hidden) + " bytes behind it" : ""),
                nullptr});
    }
    return summary;
}

int RunCheck(const std::string& log, Terminal& terminal) {
    const ReadableLog file(log);
    Output& out = terminal.out();
    const CheckSummary summary = CheckLog(file.handle(), [&](const Finding& finding) {
        if (finding.line > 0) out << "line " << static_cast<long long>(finding.line) << ": ";
        out << finding.what;
        if (finding.shown != nullptr) {
            out << ": ";
            terminal.Text(finding.shown->text());
            if (finding.shown->length > finding.shown->text().size()) out << "...";
        }
        out << '\n';
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
