#include "Selection.h"

#include <algorithm>

namespace porresku_log {

bool ContainsText(std::string_view text, std::string_view needle) {
    if (needle.empty()) return true;
    for (std::size_t at = 0; at + needle.size() <= text.size();) {
        if (text.compare(at, needle.size(), needle) == 0) return true;
        at += IsLeadByte(static_cast<unsigned char>(text[at])) ? 2 : 1;
    }
    return false;
}

bool Selection::Takes(const LogUnit& unit) const {
    if (!lines.empty()) {
        const bool hit = std::any_of(lines.begin(), lines.end(), [&](std::int64_t number) {
            return number >= unit.lines.front().number && number <= unit.lines.back().number;
        });
        if (!hit) return false;
    }
    if (!unit.posting) return !lines.empty() && users.empty() && keys.empty() && matches.empty();
    const HeaderFields header = SplitHeader(unit.header().text());
    if (!users.empty() && std::find(users.begin(), users.end(), header.userId) == users.end()) return false;
    if (!keys.empty() && std::find(keys.begin(), keys.end(), header.key) == keys.end()) return false;
    if (!matches.empty()) {
        const bool hit = std::any_of(matches.begin(), matches.end(), [&](const std::string& needle) {
            return std::any_of(unit.lines.begin() + 1, unit.lines.end(),
                               [&](const LogLine& line) { return ContainsText(MessageText(line.text()), needle); });
        });
        if (!hit) return false;
    }
    return true;
}

}  // namespace porresku_log
