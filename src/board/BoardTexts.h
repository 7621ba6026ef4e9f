// The rows and the notice that every step shares; each goes out as one line.
#pragma once

#include <string_view>

namespace board {

extern const std::string_view kRuleRow;     // 15 blanks, 64 "_"
extern const std::string_view kHeadingRow;  // " Handle name   ", 64 "="
extern const std::string_view kClosingRow;  // 14 "-", a blank, 64 "="
extern const std::string_view kBusyNotice;  // a listing runs on another channel

}  // namespace board
