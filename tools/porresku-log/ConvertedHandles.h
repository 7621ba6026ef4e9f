// The handles of a log, each converted once. A wall has few callers, and
// each message line starts with the caller's handle: copying the UTF-8 kept
// from the handle's last line saves about a quarter of a log's conversion.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

#include "LineRules.h"

namespace porresku_log {

class ConvertedHandles {
public:
    // The longest text kept: a handle prefix with its ">".
    static constexpr std::size_t kLongest = kHandlePrefixSize;
    // What a Put may write, beyond the end it returns: room for the UTF-8
    // of kLongest bytes of katakana or U+FFFD.
    static constexpr std::size_t kRoom = 48;

    ConvertedHandles() : entries_(kEntries) {}

    // A message line's first kLongest bytes (its handle and the mark) as
    // UTF-8 at `to`, which has kRoom; returns their end.
    char* PutPrefix(std::string_view line, char* to) { return Copy(Find<kLongest, false>(line), to); }
    // A message line's handle name (its first 14 bytes without the blanks
    // after the name) the same, telling whether it holds a watched byte
    // (as PutUtf8Watching tells).
    char* PutName(std::string_view line, char* to, bool& watched) {
        const Entry& entry = Find<kLongest - 1, true>(line);
        watched = entry.watched;
        return Copy(entry, to);
    }

private:
    static constexpr int kEntryBits = 8;
    static constexpr std::size_t kEntries = std::size_t{1} << kEntryBits;
    static_assert(kRoom >= 3 * kLongest && kLongest < 16 && kLongest > 12);

    // The text's bytes, zero after it: a key's last byte is always past the text.
    struct Key {
        std::uint32_t words[4];
        bool operator==(const Key& other) const {
            return ((words[0] ^ other.words[0]) | (words[1] ^ other.words[1]) | (words[2] ^ other.words[2]) |
                    (words[3] ^ other.words[3])) == 0;
        }
    };
    struct Entry {
        Key key{{0, 0, 0, ~std::uint32_t{0}}};  // not yet used: a key no text makes
        char utf8[kRoom] = {};
        std::size_t size = 0;
        bool watched = false;
    };

    // The bytes of a key's last word that a text of `size` bytes fills.
    static constexpr std::uint32_t LastWordMask(std::size_t size) {
        const unsigned kept = static_cast<unsigned>(size - 12) * 8;
        return std::endian::native == std::endian::little ? ~std::uint32_t{0} >> (32 - kept)
                                                          : ~std::uint32_t{0} << (32 - kept);
    }

    // The entry of a message line's first `size` bytes (its name only,
    // when `name`); `line` has at least kLongest bytes.
    template <std::size_t size, bool name>
    const Entry& Find(std::string_view line) {
        Key key;
        if (line.size() >= sizeof key.words) {
            std::memcpy(key.words, line.data(), sizeof key.words);
        } else {
            unsigned char bytes[sizeof key.words] = {};
            std::memcpy(bytes, line.data(), line.size());
            std::memcpy(key.words, bytes, sizeof key.words);
        }
        key.words[3] &= LastWordMask(size);
        const std::uint32_t hash = key.words[0] * 0x9E3779B1u ^ key.words[1] * 0x85EBCA77u ^
                                   key.words[2] * 0xC2B2AE3Du ^ key.words[3] * 0x27D4EB2Fu;
        Entry& entry = entries_[hash >> (32 - kEntryBits)];
        if (!(entry.key == key)) Learn(entry, key, name ? HandleName(line) : line.substr(0, size));
        return entry;
    }
    static char* Copy(const Entry& entry, char* to) {
        // Most handles' UTF-8 is within 32 bytes.
        std::memcpy(to, entry.utf8, 32);
        if (entry.size > 32) std::memcpy(to + 32, entry.utf8 + 32, kRoom - 32);
        return to + entry.size;
    }
    // A handle seen for the first time, or one that takes another's place.
    static void Learn(Entry& entry, const Key& key, std::string_view text);

    std::vector<Entry> entries_;
};

}  // namespace porresku_log
