// list: the postings with their line numbers, as the log has them.
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "Commands.h"
#include "LogFiles.h"
#include "Since.h"
#include "Terminal.h"
#include "log/LogError.h"

namespace porresku_log {

namespace {

// The line number right-aligned in 7 places, then two blanks.
void Number(Output& out, std::int64_t number) {
    static constexpr char kPairs[] =
        "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
        "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
        "8081828384858687888990919293949596979899";
    char text[24];
    char* at = text + sizeof text;
    *--at = ' ';
    *--at = ' ';
    // In 32 bits while it fits: a 64-bit division is a library call on x86.
    while (number > 0xFFFFFFFF) {
        *--at = static_cast<char>('0' + number % 10);
        number /= 10;
    }
    auto small = static_cast<std::uint32_t>(number);
    while (small >= 100) {
        const std::uint32_t pair = small % 100;
        small /= 100;
        at -= 2;
        std::memcpy(at, kPairs + 2 * pair, 2);
    }
    if (small >= 10) {
        at -= 2;
        std::memcpy(at, kPairs + 2 * small, 2);
    } else {
        *--at = static_cast<char>('0' + small);
    }
    while (text + sizeof text - at < 9) *--at = ' ';
    out << std::string_view(at, static_cast<std::size_t>(text + sizeof text - at));
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
    std::int64_t shown = 0;
    try {
        ReadUnits(file.handle(), [&](const LogUnit& unit) {
            if (!unit.posting) return;
            if (sinceFilter && !sinceFilter->Takes(unit)) return;
            if (!selection.empty() && !selection.Takes(unit)) return;
            ++shown;
            for (const LogLine& line : unit.lines) {
                Number(out, line.number);
                terminal.Text(line.text());
                out << '\n';
            }
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
