// list --since: the postings the board's listing shows for the same reply.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "Postings.h"
#include "board/DateTime.h"
#include "log/LogFormat.h"

namespace porresku_log {

// The postings from the point where the listing starts showing on: just
// after the first header at or after the since moment.
class SinceFilter {
public:
    SinceFilter(const messagelog::TimeKeyText& key, std::optional<std::int64_t> from) : key_(key), from_(from) {}
    bool Takes(const LogUnit& posting) const { return from_ && posting.end() > *from_; }
    std::string_view key() const { return key_.view(); }

private:
    messagelog::TimeKeyText key_;
    std::optional<std::int64_t> from_;  // empty: the listing shows nothing
};

// The selection for a reply as a caller types it at the listing's prompt
// (CP932), read and applied to the log at `log` as the board's listing does:
// a time of day alone is today's or yesterday's, and each posting's year
// comes from the log's order. Empty when the reply reads as no date; throws
// ToolError when the log cannot be read.
std::optional<SinceFilter> SinceSelection(std::string_view reply, const board::CivilTime& now, const std::string& log);

}  // namespace porresku_log
