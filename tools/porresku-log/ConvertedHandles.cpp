#include "ConvertedHandles.h"

#include <array>
#include <cstring>

#include "Selection.h"
#include "Terminal.h"

namespace porresku_log {

namespace {

static_assert(ConvertedHandles::kRoom >= 3 * ConvertedHandles::kLongest && ConvertedHandles::kLongest < 16);

// For each size, the bytes of a key's words that the text fills. A prefix
// and a name of the same line differ in the mark.
struct KeyMasks {
    std::uint32_t keep[ConvertedHandles::kLongest + 1][4];
};
KeyMasks MakeKeyMasks() {
    KeyMasks masks{};
    for (std::size_t size = 0; size <= ConvertedHandles::kLongest; ++size) {
        unsigned char keep[16] = {};
        std::memset(keep, 0xFF, size);
        std::memcpy(masks.keep[size], keep, 16);
    }
    return masks;
}
const KeyMasks kKeyMasks = MakeKeyMasks();

}  // namespace

char* ConvertedHandles::Put(std::string_view line, std::size_t size, bool name, char* to) {
    Key key;
    if (line.size() >= sizeof key.words) {
        std::memcpy(key.words, line.data(), sizeof key.words);
    } else {
        unsigned char bytes[sizeof key.words] = {};
        std::memcpy(bytes, line.data(), line.size());
        std::memcpy(key.words, bytes, sizeof key.words);
    }
    for (int i = 0; i < 4; ++i) key.words[i] &= kKeyMasks.keep[size][i];
    const std::uint32_t hash = key.words[0] * 0x9E3779B1u ^ key.words[1] * 0x85EBCA77u ^
                               key.words[2] * 0xC2B2AE3Du ^ key.words[3] * 0x27D4EB2Fu;
    Entry& entry = entries_[hash >> (32 - kEntryBits)];
    if (!(entry.key == key)) {
        // A handle seen for the first time, or one that took its place.
        char utf8[Utf8Room(kLongest)];
        entry.size = static_cast<std::size_t>(PutUtf8(name ? HandleName(line) : line.substr(0, size), utf8) - utf8);
        std::memcpy(entry.utf8, utf8, entry.size);
        entry.key = key;
    }
    std::memcpy(to, entry.utf8, kRoom);
    return to + entry.size;
}

}  // namespace porresku_log
