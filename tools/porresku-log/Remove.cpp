#include "Remove.h"

#include "Commands.h"
#include "Terminal.h"
#include "log/LogError.h"

namespace porresku_log {

std::vector<KeptRange> PlanRemoval(platform::FileHandle file, const Selection& selection,
                                   const std::function<void(const LogUnit&)>& onTaken) {
    std::vector<KeptRange> kept;
    std::int64_t keptFrom = 0;
    const TextEnd end = ReadUnits(file, [&](const LogUnit& unit) {
        if (!selection.Takes(unit)) return;
        onTaken(unit);
        if (unit.offset() > keptFrom) kept.emplace_back(keptFrom, unit.offset());
        keptFrom = unit.end();
    });
    if (end.fileSize > keptFrom) kept.emplace_back(keptFrom, end.fileSize);
    return kept;
}

int RunRemove(const std::string& log, const Selection& selection, bool dryRun, Terminal& terminal) {
    if (selection.empty()) throw ToolError("remove: say which postings go (--user, --key, --match or --line)");
    Output& out = terminal.out();
    HeldLog held(log);
    std::int64_t postings = 0;
    std::int64_t lines = 0;
    std::vector<KeptRange> kept;
    try {
        kept = PlanRemoval(held.handle(), selection, [&](const LogUnit& unit) {
            postings += unit.posting;
            for (const LogLine& line : unit.lines) {
                ++lines;
                out << (dryRun ? "would remove line " : "removes line ") << static_cast<long long>(line.number)
                    << ": ";
                terminal.Text(line.text());
                if (line.length > line.text().size()) out << "...";
                out << '\n';
            }
        });
    } catch (const messagelog::LogError& error) {
        throw ToolError(log + ": " + error.diagnostic());
    }
    if (lines == 0) {
        out << "no posting matches: the log is unchanged\n";
        return kFine;
    }
    if (dryRun) {
        out << "dry run: the log is unchanged\n";
        return kFine;
    }
    const std::string backup = log + ".bak";
    WriteBackup(held, backup);
    Rewrite(held, backup, [&](const ByteWriter& write) {
        ReadRanges(backup, kept, write);
    });
    held.Close();
    out << "removed " << static_cast<long long>(postings) << (postings == 1 ? " posting" : " postings") << " ("
        << static_cast<long long>(lines) << " lines); the old log is in " << backup << '\n'
        << "the board shows its recent ten from memory until the host loads the plug-in again\n";
    return kFine;
}

}  // namespace porresku_log
