// list: the postings with their line numbers, as the log has them.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "Commands.h"
#include "LogFiles.h"
#include "Pieces.h"
#include "Since.h"
#include "Terminal.h"
#include "log/LogError.h"

namespace porresku_log {

namespace {

// A line as listed: its number right-aligned in 7 places, two blanks, its
// text.
void ListLine(const LogLine& line, Terminal& terminal) {
    constexpr std::size_t kPlaces = 7;
    const std::string_view text = line.text();
    char* to = terminal.out().Room(kDecimalRoom + 2 + Utf8Room(text.size()) + 1);
    if (line.number < 10'000'000) {
        char* const first = PutDigitsBefore(static_cast<std::uint64_t>(line.number), to + kPlaces);
        std::fill(to, first, ' ');
        to += kPlaces;
    } else {
        to = PutDecimal(static_cast<std::uint64_t>(line.number), to);
    }
    to[0] = to[1] = ' ';
    to = terminal.PutText(text, to + 2);
    *to++ = '\n';
    terminal.out().Wrote(to);
}

}  // namespace

int RunList(const std::string& log, const Selection& selection, const std::optional<std::string>& since,
            Terminal& terminal) {
    std::optional<SinceFilter> sinceFilter;
    if (since) {
        const std::optional<std::string> reply = terminal.FromArgument(*since);
        const platform::LocalTime now = platform::Active().localTime();
        if (reply) {
            sinceFilter = SinceSelection(
                *reply, {now.year, now.month, now.day, now.hour, now.minute, now.second, now.millisecond}, log);
        }
        if (!sinceFilter) throw ToolError("--since: '" + *since + "' is no date or time of day");
    }
    const ReadableLog file(log);
    Output& out = terminal.out();
    const bool raw = terminal.raw();
    std::int64_t shown = 0;
    try {
        shown = ShowUnits(file.handle(), out, [&] {
            return [&](const LogUnit& unit, Output& pieceOut) {
                if (!unit.posting) return false;
                if (sinceFilter && !sinceFilter->Takes(unit)) return false;
                if (!selection.empty() && !selection.Takes(unit)) return false;
                Terminal pieceTerminal(pieceOut, raw);
                for (const LogLine& line : unit.lines) ListLine(line, pieceTerminal);
                return true;
            };
        });
    } catch (const messagelog::LogError& error) {
        throw ToolError(log + ": " + error.diagnostic());
    }
    out << static_cast<long long>(shown) << (shown == 1 ? " posting" : " postings");
    if (sinceFilter) out << " since " << sinceFilter->key();
    out << '\n';
    return kFine;
}

}  // namespace porresku_log
