#include "log/LogScanner.h"

#include "log/LogError.h"
#include "log/LogFormat.h"

namespace messagelog {

std::size_t LogScanner::Fill() {
    bufferOffset_ = nextOffset_;
    std::size_t got = 0;
    if (!endOfText_) {
        if (const platform::ErrorCode error = platform::Active().read(file_, buffer_.data(), buffer_.size(), &got)) {
            throw LogError(LogError::kRead, error);
        }
        const std::size_t ctrlZ = marker_ != nullptr ? marker_(markerContext_, buffer_.data(), got, lineEnds_.data())
                                                     : MarkLineEnds(buffer_.data(), got, lineEnds_.data());
        endOfText_ = got == 0 || ctrlZ != got;
        if (ctrlZ != got) {
            ctrlZOffset_ = bufferOffset_ + static_cast<std::int64_t>(ctrlZ);
            got = ctrlZ;
        }
    }
    nextOffset_ = bufferOffset_ + static_cast<std::int64_t>(got);
    position_ = 0;
    limit_ = got;
    if (got != 0) {
        filledOffset_ = bufferOffset_;
        filled_ = got;
    }
    return got;
}

void LogScanner::StartAt(const ScanPlace& place) {
    skipLineFeed_ = place.skipLineFeed;
    if (place.offset >= filledOffset_ && place.offset <= filledOffset_ + static_cast<std::int64_t>(filled_)) {
        // The file stands at the held text's end (or the text ended there).
        bufferOffset_ = filledOffset_;
        position_ = static_cast<std::size_t>(place.offset - filledOffset_);
        limit_ = filled_;
        return;
    }
    std::int64_t at = 0;
    if (const platform::ErrorCode error = platform::Active().seek(file_, place.offset, platform::SeekFrom::kBegin, &at)) {
        throw LogError(LogError::kSeek, error);
    }
    bufferOffset_ = nextOffset_ = filledOffset_ = place.offset;
    position_ = limit_ = filled_ = 0;
    endOfText_ = false;
}

ScanPlace LogScanner::PlaceAfter(const ScannedLine& line) const {
    const std::int64_t afterText = line.offset + static_cast<std::int64_t>(line.length);
    if (!line.ended) return {afterText, false};
    const std::int64_t afterCr = afterText + 1;
    const std::int64_t bufferEnd = bufferOffset_ + static_cast<std::int64_t>(limit_);
    if (afterCr == bufferEnd) return {afterCr, true};
    return {afterCr + (buffer_[static_cast<std::size_t>(afterCr - bufferOffset_)] == '\n' ? 1 : 0), false};
}

std::int64_t LogScanner::NextLineAt() {
    if (skipLineFeed_) {
        skipLineFeed_ = false;
        if (position_ == limit_) Fill();
        if (position_ != limit_ && buffer_[position_] == '\n') ++position_;
    }
    if (position_ == limit_) Fill();
    return bufferOffset_ + static_cast<std::int64_t>(position_);
}

}  // namespace messagelog
