// Which postings a command takes: by user ID, time key, text or line
// number. Each kind of test given must hold; of several values of one kind,
// any one.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "Postings.h"

namespace porresku_log {

struct Selection {
    std::vector<std::string> users;    // CP932, the whole user ID
    std::vector<std::string> keys;     // "MM/DD hh:mm" or "MM/DD"
    std::vector<std::string> matches;  // CP932, found in a message line's text
    std::vector<std::int64_t> lines;   // any line of the posting (or the single line)

    bool empty() const { return users.empty() && keys.empty() && matches.empty() && lines.empty(); }
    // A single line that belongs to no posting is taken only by its number.
    bool Takes(const LogUnit& unit) const;
};

// True when `needle` occurs in the Shift-JIS `text` starting at a character.
bool ContainsText(std::string_view text, std::string_view needle);

}  // namespace porresku_log
