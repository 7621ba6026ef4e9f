#include "Repair.h"

#include <vector>

#include "Commands.h"
#include "Terminal.h"
#include "log/LogError.h"
#include "log/LogFormat.h"

namespace porresku_log {

Repairer::Repairer(ByteWriter write, std::function<void(const LogUnit&)> onDropped)
    : write_(std::move(write)), onDropped_(std::move(onDropped)), grouper_([this](const LogUnit& unit) {
          if (unit.posting) {
              ++counts_.postings;
              for (const LogLine& line : unit.lines) {
                  write_(line.text());
                  write_("\r\n");
              }
          } else {
              counts_.droppedLines += static_cast<std::int64_t>(unit.lines.size());
              onDropped_(unit);
          }
      }) {}

void Repairer::Feed(std::string_view bytes) {
    for (const char c : bytes) {
        Byte(c);
        ++fed_;
    }
}

void Repairer::Byte(char c) {
    if (c == messagelog::kCtrlZ) {
        ++counts_.ctrlZ;
        return;
    }
    if (afterCr_) {
        afterCr_ = false;
        if (c == '\n') {
            EndLine(2);
            return;
        }
        ++counts_.crEnds;
        EndLine(1);
    }
    if (c == '\r') {
        afterCr_ = true;
        return;
    }
    if (c == '\n') {
        ++counts_.lfEnds;
        EndLine(1);
        return;
    }
    if (!lineStarted_) {
        lineStarted_ = true;
        line_.offset = fed_;
    }
    ++line_.length;
    if (lineBytes_.size() < LogLine::kKeptBytes) lineBytes_.append({&c, 1});
}

void Repairer::EndLine(int endLength) {
    if (!lineStarted_) line_.offset = fed_;
    line_.number = ++number_;
    line_.endLength = endLength;
    line_.bytes = lineBytes_.view();
    line_.kind = Classify(line_.text());
    line_.badByte = FirstBadShiftJis(line_.text(), line_.kind);
    grouper_.Add(line_, false);
    line_ = LogLine();
    lineBytes_.clear();
    lineStarted_ = false;
}

RepairCounts Repairer::Finish() {
    if (afterCr_) {
        afterCr_ = false;
        ++counts_.crEnds;
        EndLine(1);
    }
    if (lineStarted_) {
        ++counts_.unfinished;
        EndLine(0);
    }
    grouper_.Finish();
    return counts_;
}

namespace {

void ShowDropped(const LogUnit& unit, Terminal& terminal) {
    Output& out = terminal.out();
    for (const LogLine& line : unit.lines) {
        out << "  takes out line " << static_cast<long long>(line.number) << " (byte "
            << static_cast<long long>(line.offset + 1) << "): ";
        terminal.Text(line.text());
        if (line.length > line.text().size()) out << "...";
        out << '\n';
    }
}

void Count(Output& out, std::int64_t count, const char* one, const char* many, const char* what) {
    if (count != 0) out << "  " << Counted(count, one, many) << ' ' << what << '\n';
}

}  // namespace

int RunRepair(const std::string& log, bool dryRun, Terminal& terminal) {
    Output& out = terminal.out();
    HeldLog held(log);
    Repairer survey([](std::string_view) {}, [&](const LogUnit& unit) { ShowDropped(unit, terminal); });
    try {
        held.Seek(0, platform::SeekFrom::kBegin);
        std::vector<char> piece(128 * 1024);
        while (const std::size_t got = held.ReadUpTo(piece.data(), piece.size())) survey.Feed({piece.data(), got});
    } catch (const messagelog::LogError& error) {
        throw ToolError(log + ": " + error.diagnostic());
    }
    const RepairCounts counts = survey.Finish();
    if (!counts.changed()) {
        out << "nothing to repair: " << Counted(counts.postings, "posting", "postings")
            << ", every line ends in CR LF\n";
        return 0;
    }
    Count(out, counts.ctrlZ, "Ctrl-Z", "Ctrl-Z bytes", "taken out");
    Count(out, counts.lfEnds, "LF line end", "LF line ends", "made CR LF");
    Count(out, counts.crEnds, "CR line end", "CR line ends", "made CR LF");
    Count(out, counts.unfinished, "unfinished last line", "unfinished last lines", "ended");
    Count(out, counts.droppedLines, "line", "lines", "of no whole posting taken out");
    if (dryRun) {
        out << "dry run: the log is unchanged\n";
        return 0;
    }
    const std::string backup = log + ".bak";
    WriteBackup(held, backup);
    Rewrite(held, backup, [&](const ByteWriter& write) {
        Repairer repairer(write, [](const LogUnit&) {});
        ReadRanges(backup, {{0, -1}}, [&](std::string_view piece) { repairer.Feed(piece); });
        repairer.Finish();
    });
    held.Close();
    out << "repaired: " << Counted(counts.postings, "posting", "postings") << "; the old log is in " << backup << '\n';
    return 0;
}

}  // namespace porresku_log
