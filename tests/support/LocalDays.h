// Days counted back from today on the local clock, as text: for logs that
// must lie in the past whatever day the tests run.
#pragma once

#include <ctime>
#include <string>

namespace testing_host {

// `daysAgo` days before today, at noon, in `format` (strftime's).
inline std::string DayBefore(int daysAgo, const char* format) {
    const std::time_t now = std::time(nullptr);
    std::tm day = *std::localtime(&now);
    day.tm_mday -= daysAgo;
    day.tm_hour = 12;
    day.tm_min = day.tm_sec = 0;
    day.tm_isdst = -1;
    std::mktime(&day);
    char text[32];
    std::strftime(text, sizeof text, format, &day);
    return text;
}

}  // namespace testing_host
