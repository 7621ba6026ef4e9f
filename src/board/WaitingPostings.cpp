#include "board/WaitingPostings.h"

#include <string>
#include <string_view>

#include "board/BoardState.h"
#include "log/HeldFile.h"
#include "log/LogAppender.h"
#include "log/LogError.h"
#include "log/LogFormat.h"

namespace board {

using messagelog::AppendFile;
using messagelog::AppendPostings;
using messagelog::FileEnd;
using messagelog::kLogName;
using messagelog::kStepPatience;
using messagelog::kUnloadPatience;
using messagelog::LogError;
using messagelog::OpenForAppending;
using messagelog::OpenPatiently;
using messagelog::PrepareEnd;
using messagelog::WriteAtEnd;

bool WriteQueuedPostings() { return AppendPostings(kLogName, Board().queued, kStepPatience); }

namespace {

void Diagnostic(const std::string& text) { platform::Active().diagnostic(text.c_str()); }

// The whole side file; it holds what one unload could not write, not years.
std::string ReadWhole(AppendFile& file) {
    std::string bytes;
    char chunk[4096];
    while (const std::size_t got = file.ReadUpTo(chunk, sizeof chunk)) {
        bytes.append(chunk, got);
        if (got < sizeof chunk) break;
    }
    return bytes;
}

// True when the log's last bytes, up to `end`, are `bytes`.
bool EndsWith(AppendFile& log, const FileEnd& end, std::string_view bytes) {
    if (end.size < static_cast<std::int64_t>(bytes.size())) return false;
    log.Seek(end.size - static_cast<std::int64_t>(bytes.size()), platform::SeekFrom::kBegin);
    std::string tail(bytes.size(), '\0');
    log.ReadExactly(tail.data(), tail.size());
    return tail == bytes;
}

// Appends the side file's bytes to the log unless they are its last bytes
// already. False when the log could not take them.
bool AddToLog(const std::string& bytes) {
    platform::FileHandle handle = platform::kNoFile;
    if (OpenForAppending(kLogName, kStepPatience, &handle) != 0) {
        Diagnostic("porresku.log could not be opened; porresku.pending stays for the next load");
        return false;
    }
    AppendFile log(handle);
    try {
        const FileEnd end = PrepareEnd(log);
        if (EndsWith(log, end, bytes)) return true;
        log.Seek(end.size, platform::SeekFrom::kBegin);
        // When a take-back fails, what reached the log is at its end only if
        // all of it did; the next load compares and adds the side file again
        // otherwise.
        WriteAtEnd(log, end, end.unfinishedLine ? "\r\n" + bytes : bytes);
    } catch (const LogError& error) {
        Diagnostic(error.diagnostic() + "; porresku.pending stays for the next load");
        return false;
    }
    return true;
}

}  // namespace

void WriteQueuedPostingsAtUnload() {
    std::vector<PendingPosting>& queued = Board().queued;
    if (queued.empty()) return;
    try {
        AppendPostings(kLogName, queued, kUnloadPatience);
    } catch (const LogError& error) {
        Diagnostic(error.diagnostic());
    }
    if (queued.empty()) return;
    const std::size_t waiting = queued.size();
    try {
        if (AppendPostings(kPendingName, queued, kStepPatience)) {
            Diagnostic(std::to_string(waiting) +
                       " postings wait in porresku.pending until the next load: porresku.log was held");
            return;
        }
    } catch (const LogError& error) {
        Diagnostic(error.diagnostic());
    }
    Diagnostic(std::to_string(queued.size()) + " postings could reach neither porresku.log nor porresku.pending");
}

void RecoverPendingPostings() {
    platform::Calls& os = platform::Active();
    if (!os.fileExists(kPendingName)) return;
    platform::FileHandle handle = platform::kNoFile;
    if (OpenPatiently(kPendingName, platform::OpenMode::kAppend, kStepPatience, &handle) != 0) {
        Diagnostic("porresku.pending could not be opened; it stays for the next load");
        return;
    }
    AppendFile pending(handle);
    std::string bytes;
    try {
        bytes = ReadWhole(pending);
    } catch (const LogError& error) {
        Diagnostic(error.diagnostic() + " (porresku.pending); it stays for the next load");
        return;
    }
    if (!bytes.empty() && !AddToLog(bytes)) return;
    // Emptied while it is held, so a load that stops before the removal
    // finds nothing left to add.
    try {
        pending.CutAt(0);
    } catch (const LogError&) {
        // Its postings are at the log's end now: the next load only removes it.
    }
    pending.Close();
    if (os.remove(kPendingName) != 0) Diagnostic("porresku.pending could not be removed");
}

}  // namespace board
