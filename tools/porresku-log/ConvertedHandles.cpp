#include "ConvertedHandles.h"

#include "Terminal.h"

namespace porresku_log {

void ConvertedHandles::Learn(Entry& entry, const Key& key, std::string_view text) {
    char utf8[Utf8Room(kLongest)];
    entry.size = static_cast<std::size_t>(PutUtf8(text, utf8) - utf8);
    std::memcpy(entry.utf8, utf8, entry.size);
    entry.key = key;
}

}  // namespace porresku_log
