#include "Postings.h"

#include <cstring>

#include "log/LogError.h"
#include "log/LogScanner.h"

namespace porresku_log {

void UnitGrouper::Add(const LogLine& line) {
    if (line.sound() && line.kind == LineKind::kHeader) {
        Flush();
        open_.lines.push_back(line);
        return;
    }
    if (line.sound() && line.kind == LineKind::kMessage && !open_.lines.empty()) {
        open_.lines.push_back(line);
        open_.posting = true;
        return;
    }
    Flush();
    open_.lines.push_back(line);
    Flush();
}

void UnitGrouper::Flush() {
    if (open_.lines.empty()) return;
    onUnit_(open_);
    open_.lines.clear();
    open_.posting = false;
}

TextEnd ReadLines(platform::FileHandle file, const std::function<void(const LogLine&)>& onLine) {
    platform::Calls& os = platform::Active();
    TextEnd end;
    std::int64_t at = 0;
    if (const platform::ErrorCode error = os.seek(file, 0, platform::SeekFrom::kEnd, &end.fileSize)) {
        throw messagelog::LogError(messagelog::LogError::kSeek, error);
    }
    if (const platform::ErrorCode error = os.seek(file, 0, platform::SeekFrom::kBegin, &at)) {
        throw messagelog::LogError(messagelog::LogError::kSeek, error);
    }
    // A line is handed on once the next one shows where its line end stops.
    LogLine waiting;
    bool isWaiting = false;
    auto handOn = [&](std::int64_t nextOffset) {
        if (!isWaiting) return;
        if (waiting.endLength != 0) {
            waiting.endLength = static_cast<int>(nextOffset - waiting.offset - static_cast<std::int64_t>(waiting.length));
        }
        onLine(waiting);
        isWaiting = false;
    };
    messagelog::LogScanner scanner(file);
    std::int64_t number = 0;
    scanner.Scan(
        [&](const messagelog::ScannedLine& scanned) {
            handOn(scanned.offset);
            LogLine& line = waiting;
            line.number = ++number;
            line.offset = scanned.offset;
            line.length = scanned.length;
            line.endLength = scanned.ended ? 1 : 0;
            line.kind = Classify(scanned.bytes);
            // A copied line is cut at the scanner's room: it is far too long
            // to be sound whatever its kind, and its first bytes tell that.
            if (scanned.bytes.size() < scanned.length && IsSoundKind(line.kind)) line.kind = LineKind::kOther;
            line.badByte = FirstBadShiftJis(scanned.bytes, line.kind);
            // Nor is a character that the copy's room cut in half.
            if (scanned.bytes.size() < scanned.length && line.badByte + 1 == scanned.bytes.size()) {
                line.badByte = std::string_view::npos;
            }
            line.loneLf = std::string_view::npos;
            if (const void* lf = std::memchr(scanned.bytes.data(), '\n', scanned.bytes.size())) {
                line.loneLf = static_cast<std::size_t>(static_cast<const char*>(lf) - scanned.bytes.data());
            }
            line.bytes.assign(scanned.bytes);
            isWaiting = true;
            return true;
        },
        [] {});
    end.ctrlZ = scanner.ctrlZOffset();
    end.lines = number;
    // After the last line: its line end runs to the end of the text.
    handOn(end.ctrlZ >= 0 ? end.ctrlZ : end.fileSize);
    return end;
}

TextEnd ReadUnits(platform::FileHandle file, const std::function<void(const LogUnit&)>& onUnit) {
    UnitGrouper grouper(onUnit);
    const TextEnd end = ReadLines(file, [&](const LogLine& line) { grouper.Add(line); });
    grouper.Finish();
    return end;
}

}  // namespace porresku_log
