#include "log/LogScanner.h"

#include "log/LogError.h"
#include "log/LogFormat.h"

namespace messagelog {

std::size_t ReadText(platform::FileHandle file, char* buffer, std::size_t size, bool& endOfText,
                     std::size_t* ctrlZAt) {
    if (endOfText) return 0;
    std::size_t got = 0;
    if (const platform::ErrorCode error = platform::Active().read(file, buffer, size, &got)) {
        throw LogError(LogError::kRead, error);
    }
    if (got == 0) {
        endOfText = true;
        return 0;
    }
    if (const void* mark = std::memchr(buffer, kCtrlZ, got)) {
        got = static_cast<std::size_t>(static_cast<const char*>(mark) - buffer);
        endOfText = true;
        if (ctrlZAt != nullptr) *ctrlZAt = got;
    }
    return got;
}

std::size_t LogScanner::Fill() {
    bufferOffset_ = nextOffset_;
    std::size_t ctrlZAt = kBufferSize;
    const std::size_t got = ReadText(file_, buffer_.data(), buffer_.size(), endOfText_, &ctrlZAt);
    if (ctrlZAt != kBufferSize) ctrlZOffset_ = bufferOffset_ + static_cast<std::int64_t>(ctrlZAt);
    nextOffset_ = bufferOffset_ + static_cast<std::int64_t>(got);
    return got;
}

}  // namespace messagelog
