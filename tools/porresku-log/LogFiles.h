// Opening the log as the board does, the backup, and the rewrite of a held
// log. Every file call goes through the platform layer.
#pragma once

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "log/HeldFile.h"
#include "log/LogAppender.h"

namespace porresku_log {

// A usage or file error: one line for the sysop, exit status 2.
class ToolError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The tool waits longer than a caller's step: a posting or a listing on the
// board holds the log for a moment at most.
inline constexpr messagelog::Patience kToolPatience{10, 500, 5000};

// The log open for reading beside the board's own readers. Throws ToolError.
class ReadableLog : public messagelog::OpenFile {
public:
    explicit ReadableLog(const std::string& name);
};

// The log held as the board's writer holds it: no other program opens it
// meanwhile, and the board's postings wait in its memory. Throws ToolError.
class HeldLog : public messagelog::AppendFile {
public:
    explicit HeldLog(const std::string& name);
};

// A stretch [from, to) of the backup to write back.
using KeptRange = std::pair<std::int64_t, std::int64_t>;

// Copies the held log whole to `backupName` (replacing an older backup).
// Throws ToolError.
void WriteBackup(HeldLog& log, const std::string& backupName);

// The new contents of the held log, written from its start and cut at their
// end: `produce` gets a writer to call with the bytes in order. Should it
// fail, the backup is copied back. Throws ToolError.
using ByteWriter = std::function<void(std::string_view)>;
void Rewrite(HeldLog& log, const std::string& backupName, const std::function<void(const ByteWriter&)>& produce);

// Reads the stretches [from, to) of the file `name` in order, in pieces (a
// `to` of -1 reads to its end).
void ReadRanges(const std::string& name, const std::vector<KeptRange>& ranges,
                const std::function<void(std::string_view)>& onPiece);

std::string SystemErrorText(platform::ErrorCode error);

}  // namespace porresku_log
