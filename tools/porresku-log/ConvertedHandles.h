// The handles of a log, each converted once. A wall has few callers, and
// each message line starts with the caller's handle: copying the UTF-8 kept
// from the handle's last line saves about a quarter of a log's conversion.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "LineRules.h"

namespace porresku_log {

class ConvertedHandles {
public:
    // The longest text kept: a handle prefix with its ">".
    static constexpr std::size_t kLongest = kHandlePrefixSize;
    // What Put() may write, beyond the end it returns: room for the UTF-8
    // of kLongest bytes of katakana or U+FFFD.
    static constexpr std::size_t kRoom = 48;

    ConvertedHandles() : entries_(kEntries) {}

    // A message line's first kLongest bytes (its handle and the mark) as
    // UTF-8 at `to`, which has kRoom; returns their end.
    char* PutPrefix(std::string_view line, char* to) { return Put(line, kLongest, false, to); }
    // A message line's handle name (its first 14 bytes without the blanks
    // after the name) the same.
    char* PutName(std::string_view line, char* to) { return Put(line, kLongest - 1, true, to); }

private:
    // `line`: a message line, of at least kLongest bytes.
    char* Put(std::string_view line, std::size_t size, bool name, char* to);

    static constexpr int kEntryBits = 8;
    static constexpr std::size_t kEntries = std::size_t{1} << kEntryBits;
    // The text's bytes, zero after it.
    struct Key {
        std::uint32_t words[4];
        bool operator==(const Key& other) const {
            return ((words[0] ^ other.words[0]) | (words[1] ^ other.words[1]) | (words[2] ^ other.words[2]) |
                    (words[3] ^ other.words[3])) == 0;
        }
    };
    struct Entry {
        // Not yet used: a key no text makes, as a key's last byte is always
        // past the text.
        Key key{{0, 0, 0, ~std::uint32_t{0}}};
        char utf8[kRoom] = {};
        std::size_t size = 0;
    };

    std::vector<Entry> entries_;
};

}  // namespace porresku_log
