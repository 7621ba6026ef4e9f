#include "LogFiles.h"

#include <cstring>
#include <vector>

#include "log/LogError.h"

namespace porresku_log {

namespace {

constexpr std::size_t kPiece = 128 * 1024;

[[noreturn]] void OpenFailed(const std::string& name, platform::ErrorCode error) {
    if (platform::IsHeldByAnother(error)) {
        throw ToolError(name + ": another program has held the log for " +
                        std::to_string(kToolPatience.totalMs / 1000) + " s; try again in a moment");
    }
    if (!platform::Active().fileExists(name.c_str())) throw ToolError(name + ": no such file");
    throw ToolError(name + ": cannot open it (" + SystemErrorText(error) + ")");
}

void WriteAll(platform::FileHandle file, std::string_view bytes, const std::string& name) {
    std::size_t written = 0;
    if (const platform::ErrorCode error = platform::Active().write(file, bytes.data(), bytes.size(), &written)) {
        throw ToolError(name + ": cannot write (" + SystemErrorText(error) + ")");
    }
}

}  // namespace

std::string SystemErrorText(platform::ErrorCode error) {
#if defined(_WIN32)
    return "Windows error " + std::to_string(error);
#else
    return std::strerror(error);
#endif
}

ReadableLog::ReadableLog(const std::string& name) : OpenFile(platform::kNoFile) {
    const platform::ErrorCode error =
        messagelog::OpenPatiently(name.c_str(), platform::OpenMode::kRead, kToolPatience, &file_);
    if (error != 0) OpenFailed(name, error);
}

HeldLog::HeldLog(const std::string& name) : AppendFile(platform::kNoFile) {
    const platform::ErrorCode error =
        messagelog::OpenPatiently(name.c_str(), platform::OpenMode::kAppend, kToolPatience, &file_);
    if (error != 0) OpenFailed(name, error);
}

void ReadRanges(const std::string& name, const std::vector<KeptRange>& ranges,
                const std::function<void(std::string_view)>& onPiece) {
    const ReadableLog file(name);
    std::vector<char> piece(kPiece);
    for (const auto& [from, to] : ranges) {
        std::int64_t at = 0;
        if (const platform::ErrorCode error =
                platform::Active().seek(file.handle(), from, platform::SeekFrom::kBegin, &at)) {
            throw ToolError(name + ": cannot seek (" + SystemErrorText(error) + ")");
        }
        while (to < 0 || at < to) {
            const std::size_t want =
                to < 0 ? kPiece : static_cast<std::size_t>(std::min<std::int64_t>(kPiece, to - at));
            std::size_t got = 0;
            if (const platform::ErrorCode error = platform::Active().read(file.handle(), piece.data(), want, &got)) {
                throw ToolError(name + ": cannot read (" + SystemErrorText(error) + ")");
            }
            if (got == 0) {
                if (to >= 0) throw ToolError(name + ": the file is shorter than it was");
                break;
            }
            onPiece({piece.data(), got});
            at += static_cast<std::int64_t>(got);
        }
    }
}

void WriteBackup(HeldLog& log, const std::string& backupName) {
    platform::Calls& os = platform::Active();
    if (os.fileExists(backupName.c_str())) {
        if (const platform::ErrorCode error = os.remove(backupName.c_str())) {
            throw ToolError(backupName + ": cannot replace the old backup (" + SystemErrorText(error) + ")");
        }
    }
    platform::FileHandle handle = platform::kNoFile;
    if (const platform::ErrorCode error = os.open(backupName.c_str(), platform::OpenMode::kCreate, &handle)) {
        throw ToolError(backupName + ": cannot make the backup (" + SystemErrorText(error) + ")");
    }
    messagelog::OpenFile backup(handle);
    try {
        log.Seek(0, platform::SeekFrom::kBegin);
        std::vector<char> piece(kPiece);
        while (const std::size_t got = log.ReadUpTo(piece.data(), piece.size())) {
            WriteAll(backup.handle(), {piece.data(), got}, backupName);
        }
    } catch (const messagelog::LogError& error) {
        throw ToolError("cannot read the log for its backup (" + error.diagnostic() + ")");
    }
}

void Rewrite(HeldLog& log, const std::string& backupName, const std::function<void(const ByteWriter&)>& produce) {
    std::int64_t size = 0;
    std::string pending;
    auto write = [&](std::string_view bytes) {
        pending.append(bytes);
        if (pending.size() >= kPiece) {
            WriteAll(log.handle(), pending, "the log");
            size += static_cast<std::int64_t>(pending.size());
            pending.clear();
        }
    };
    try {
        log.Seek(0, platform::SeekFrom::kBegin);
        produce(write);
        WriteAll(log.handle(), pending, "the log");
        size += static_cast<std::int64_t>(pending.size());
        log.CutAt(size);
    } catch (const std::exception& error) {
        // Put the old log back from the backup, so a failed run leaves it as it was.
        std::string why = error.what();
        if (const auto* logError = dynamic_cast<const messagelog::LogError*>(&error)) why = logError->diagnostic();
        try {
            log.Seek(0, platform::SeekFrom::kBegin);
            std::int64_t restored = 0;
            ReadRanges(backupName, {{0, -1}}, [&](std::string_view piece) {
                WriteAll(log.handle(), piece, "the log");
                restored += static_cast<std::int64_t>(piece.size());
            });
            log.CutAt(restored);
        } catch (const std::exception&) {
            throw ToolError("the rewrite failed (" + why + ") and so did putting the log back: copy " + backupName +
                            " over the log before the host loads the plug-in again");
        }
        throw ToolError("the rewrite failed (" + why + "); the log is as it was");
    }
}

}  // namespace porresku_log
