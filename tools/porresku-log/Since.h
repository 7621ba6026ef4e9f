// list --since: the postings the board's listing shows for the same reply.
#pragma once

#include <optional>
#include <string_view>

#include "Postings.h"
#include "log/LogFormat.h"

namespace porresku_log {

// Follows the listing's seek: from the first posting whose time key sorts at
// or after the since key, everything that follows.
class SinceFilter {
public:
    explicit SinceFilter(const messagelog::TimeKeyText& key) : key_(key) {}
    bool Takes(const LogUnit& posting);
    std::string_view key() const { return key_.view(); }

private:
    messagelog::TimeKeyText key_;
    bool started_ = false;
};

// The selection for a reply as a caller types it at the listing's prompt
// (CP932), or empty when the reply reads as no date.
std::optional<SinceFilter> SinceSelection(std::string_view reply, int currentYear);

}  // namespace porresku_log
