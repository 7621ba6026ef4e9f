#include "ConvertedHandles.h"

#include "Terminal.h"

namespace porresku_log {

void ConvertedHandles::Learn(Entry& entry, const Key& key, std::string_view text) {
    char utf8[Utf8Room(kLongest)];
    entry.size = static_cast<std::size_t>(PutUtf8Watching(text, utf8, entry.watched) - utf8);
    std::memcpy(entry.utf8, utf8, entry.size);
    entry.key = key;
}

}  // namespace porresku_log
