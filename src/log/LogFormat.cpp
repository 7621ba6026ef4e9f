#include "log/LogFormat.h"

#include <algorithm>
#include <cstring>

namespace messagelog {

namespace {

void Two(char* out, int value) {
    out[0] = static_cast<char>('0' + value / 10 % 10);
    out[1] = static_cast<char>('0' + value % 10);
}

}  // namespace

TimeKeyText TimeKey(const board::CivilTime& moment) {
    char text[11];
    Two(text, moment.month);
    text[2] = '/';
    Two(text + 3, moment.day);
    // The date-time text leaves the time out at exactly midnight (to the second).
    if (moment.hour == 0 && moment.minute == 0 && moment.second == 0) return TimeKeyText({text, 5});
    text[5] = ' ';
    Two(text + 6, moment.hour);
    text[8] = ':';
    Two(text + 9, moment.minute);
    return TimeKeyText({text, 11});
}

HandlePrefixText HandlePrefix(std::string_view handleName) {
    char text[15];
    std::memset(text, ' ', 14);
    std::memcpy(text, handleName.data(), std::min<std::size_t>(handleName.size(), 14));
    text[14] = '>';
    return HandlePrefixText({text, 15});
}

std::string_view ScrubLineBreaks(std::string_view text, std::string& storage) {
    auto breaksLine = [](char c) { return c == '\r' || c == '\n' || c == kCtrlZ; };
    if (std::none_of(text.begin(), text.end(), breaksLine)) return text;
    storage.assign(text);
    std::replace_if(storage.begin(), storage.end(), breaksLine, ' ');
    return storage;
}

}  // namespace messagelog
