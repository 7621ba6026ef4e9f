#include "Postings.h"

namespace porresku_log {

void JudgeLine(LogLine& line, std::string_view scanned, bool unmarked) {
    line.kind = Classify(scanned);
    if (unmarked) {
        line.badByte = line.loneLf = std::string_view::npos;
        return;
    }
    const bool cut = scanned.size() < line.length;
    // A copied line is cut at the scanner's room: it is far too long to be
    // sound whatever its kind, and its first bytes tell that.
    if (cut && IsSoundKind(line.kind)) line.kind = LineKind::kOther;
    const ByteFaults faults = FindByteFaults(scanned, line.kind);
    line.badByte = faults.badByte;
    // Nor is a character that the copy's room cut in half.
    if (cut && line.badByte + 1 == scanned.size()) line.badByte = std::string_view::npos;
    line.loneLf = faults.loneLf;
}

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
