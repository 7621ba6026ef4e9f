// The log as postings: each line as the board reads it (a CR ends a line,
// one LF after it belongs to the line end, a Ctrl-Z ends the text), with its
// line number, byte offset and line end, grouped into postings (a sound
// header and the sound message lines after it) and single lines that belong
// to no posting. Lines go by one at a time, so memory stays the same for a
// log of any size.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "LineRules.h"
#include "common/BoundedText.h"
#include "platform/Platform.h"

namespace porresku_log {

struct LogLine {
    std::int64_t number = 0;  // from 1
    std::int64_t offset = 0;  // of its first byte in the file
    std::size_t length = 0;   // without the line end
    int endLength = 0;        // 2 for CR LF, 1 for a CR alone, 0 for an unfinished last line
    LineKind kind = LineKind::kOther;
    std::size_t badByte = std::string_view::npos;  // the first byte that is no Shift-JIS
    std::size_t loneLf = std::string_view::npos;   // the first LF without a CR before it
    static constexpr std::size_t kKeptBytes = kHeaderLineRoom + 1;
    // Its bytes, the first kKeptBytes of them: more than any sound line holds.
    BoundedText<kKeptBytes> bytes;
    std::string_view text() const { return bytes.view(); }
    bool sound() const { return IsSoundKind(kind) && badByte == std::string_view::npos && loneLf == std::string_view::npos; }
    std::int64_t end() const { return offset + static_cast<std::int64_t>(length) + endLength; }
};

// A posting (its header first), or a single line that belongs to none.
struct LogUnit {
    std::vector<LogLine> lines;
    bool posting = false;

    std::int64_t offset() const { return lines.front().offset; }
    std::int64_t end() const { return lines.back().end(); }
    const LogLine& header() const { return lines.front(); }
};

// Takes a log's lines in order and hands on its units.
class UnitGrouper {
public:
    explicit UnitGrouper(std::function<void(const LogUnit&)> onUnit) : onUnit_(std::move(onUnit)) {}
    void Add(const LogLine& line);
    void Finish() { Flush(); }

private:
    void Flush();
    std::function<void(const LogUnit&)> onUnit_;
    LogUnit open_;
};

// How the readable text ended.
struct TextEnd {
    std::int64_t fileSize = 0;
    std::int64_t ctrlZ = -1;  // where a Ctrl-Z ended the text, or -1
    std::int64_t lines = 0;
};

// Reads the open file from its start as the board reads it. Throws
// messagelog::LogError.
TextEnd ReadLines(platform::FileHandle file, const std::function<void(const LogLine&)>& onLine);
TextEnd ReadUnits(platform::FileHandle file, const std::function<void(const LogUnit&)>& onUnit);

}  // namespace porresku_log
