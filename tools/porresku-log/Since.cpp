#include "Since.h"

#include "LogFiles.h"
#include "board/ListingYears.h"
#include "board/LogReader.h"
#include "log/LogError.h"

namespace porresku_log {

std::optional<SinceFilter> SinceSelection(std::string_view reply, const board::CivilTime& now, const std::string& log) {
    bool hasDate = true;
    const std::optional<board::DateTime> typed = board::ReadDateReply(reply, now.year, &hasDate);
    std::optional<board::CivilTime> moment = typed ? board::SplitDateTime(*typed) : std::nullopt;
    if (!moment) return std::nullopt;
    if (!hasDate) moment = board::LatestAtTimeOfDay(*moment, now);

    board::LogReader reader;
    if (!reader.Open(log.c_str())) throw ToolError(log + ": cannot be read");
    bool stopped = false;
    std::optional<board::LogReader::Place> from;
    try {
        from = board::FindListingStart(reader, *moment, now, [] { return false; }, &stopped);
    } catch (const messagelog::LogError& error) {
        throw ToolError(log + ": " + error.diagnostic());
    }
    return SinceFilter(messagelog::TimeKey(*moment), from ? std::optional<std::int64_t>(from->offset) : std::nullopt);
}

}  // namespace porresku_log
