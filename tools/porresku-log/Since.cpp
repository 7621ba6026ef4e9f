#include "Since.h"

#include "board/DateTime.h"

namespace porresku_log {

// The listing's rule as the board has it: the reply read as the board reads
// it, the since key compared with each header's first 11 bytes as byte
// strings; from the first header at or after the key, everything is shown.
std::optional<SinceFilter> SinceSelection(std::string_view reply, int currentYear) {
    const std::optional<board::DateTime> typed = board::ReadDateReply(reply, currentYear);
    const std::optional<board::CivilTime> moment = typed ? board::SplitDateTime(*typed) : std::nullopt;
    if (!moment) return std::nullopt;
    return SinceFilter(messagelog::TimeKey(*moment));
}

bool SinceFilter::Takes(const LogUnit& posting) {
    if (!started_) {
        const std::string_view stamp = posting.header().text().substr(0, 11);
        started_ = !(key_.view() > stamp);
    }
    return started_;
}

}  // namespace porresku_log
