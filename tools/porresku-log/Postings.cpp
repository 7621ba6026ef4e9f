#include "Postings.h"

namespace porresku_log {

std::int64_t SizeAndRewind(platform::FileHandle file) {
    platform::Calls& os = platform::Active();
    std::int64_t size = 0;
    std::int64_t at = 0;
    if (const platform::ErrorCode error = os.seek(file, 0, platform::SeekFrom::kEnd, &size)) {
        throw messagelog::LogError(messagelog::LogError::kSeek, error);
    }
    if (const platform::ErrorCode error = os.seek(file, 0, platform::SeekFrom::kBegin, &at)) {
        throw messagelog::LogError(messagelog::LogError::kSeek, error);
    }
    return size;
}

}  // namespace porresku_log
