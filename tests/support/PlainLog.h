// The log's lines as its reading rules give them, read the plain way: the
// measure the board's fast readers are held against.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace testing_host {

// A CR ends a line, one LF right after it belongs to the line end, a lone LF
// is an ordinary byte, a Ctrl-Z ends the text; the last line may lack an end.
inline std::vector<std::string> PlainLines(std::string_view bytes) {
    const std::string_view text = bytes.substr(0, bytes.find('\x1A'));
    std::vector<std::string> lines;
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t end = text.find('\r', at);
        if (end == std::string_view::npos) {
            lines.emplace_back(text.substr(at));
            break;
        }
        lines.emplace_back(text.substr(at, end - at));
        at = end + 1;
        if (at < text.size() && text[at] == '\n') ++at;
    }
    return lines;
}

}  // namespace testing_host
