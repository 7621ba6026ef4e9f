#include "Since.h"

#include "LogFiles.h"
#include "board/ListingYears.h"
#include "log/HeldFile.h"
#include "log/LogAppender.h"
#include "log/LogError.h"
#include "log/LogScanner.h"

namespace porresku_log {

std::optional<SinceFilter> SinceSelection(std::string_view reply, const board::CivilTime& now, const std::string& log) {
    bool hasDate = true;
    const std::optional<board::DateTime> typed = board::ReadDateReply(reply, now.year, &hasDate);
    std::optional<board::CivilTime> moment = typed ? board::SplitDateTime(*typed) : std::nullopt;
    if (!moment) return std::nullopt;
    if (!hasDate) moment = board::LatestAtTimeOfDay(*moment, now);

    platform::FileHandle handle = platform::kNoFile;
    if (messagelog::OpenPatiently(log.c_str(), platform::OpenMode::kRead, messagelog::kStepPatience, &handle) != 0) {
        throw ToolError(log + ": cannot be read");
    }
    const messagelog::OpenFile file(handle);
    messagelog::LogScanner scanner(file.handle());
    bool stopped = false;
    std::optional<messagelog::ScanPlace> from;
    try {
        from = board::FindListingStart(scanner, *moment, now, [] { return false; }, &stopped);
    } catch (const messagelog::LogError& error) {
        throw ToolError(log + ": " + error.diagnostic());
    }
    return SinceFilter(messagelog::TimeKey(*moment), from ? std::optional<std::int64_t>(from->offset) : std::nullopt);
}

}  // namespace porresku_log
