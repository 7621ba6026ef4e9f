#include "log/LogAppender.h"

#include <algorithm>
#include <cstring>

#include "log/LogError.h"
#include "log/LogFormat.h"

namespace messagelog {

namespace {

// How far from the end of the file a Ctrl-Z is looked for before appending.
constexpr std::int64_t kCtrlZWindow = 128;

}  // namespace

void OpenFile::Close() {
    if (file_ == platform::kNoFile) return;
    platform::Active().close(file_);
    file_ = platform::kNoFile;
}

platform::ErrorCode AppendFile::TrySeek(std::int64_t offset, platform::SeekFrom from, std::int64_t* at) {
    return platform::Active().seek(file_, offset, from, at);
}

std::int64_t AppendFile::Seek(std::int64_t offset, platform::SeekFrom from) {
    std::int64_t at = 0;
    if (const platform::ErrorCode error = TrySeek(offset, from, &at)) throw LogError(LogError::kSeek, error);
    return at;
}

std::size_t AppendFile::ReadUpTo(char* bytes, std::size_t size) {
    std::size_t have = 0;
    while (have < size) {
        std::size_t got = 0;
        const platform::ErrorCode error = platform::Active().read(file_, bytes + have, size - have, &got);
        if (error != 0) throw LogError(LogError::kRead, error);
        if (got == 0) break;
        have += got;
    }
    return have;
}

void AppendFile::ReadExactly(char* bytes, std::size_t size) {
    if (ReadUpTo(bytes, size) != size) throw LogError(LogError::kRead, 0);  // the file shrank meanwhile
}

void AppendFile::CutAt(std::int64_t size) {
    Seek(size, platform::SeekFrom::kBegin);
    if (const platform::ErrorCode error = platform::Active().truncate(file_)) {
        throw LogError(LogError::kTruncate, error);
    }
}

FileEnd PrepareEnd(AppendFile& file) {
    // One seek finds the tail of a file of 128 bytes or more. The system
    // refuses it for a shorter file, which is then read from its start; a
    // file that turns out long after all had a seek that really failed.
    char tail[kCtrlZWindow + 1];
    std::int64_t tailStart = 0;
    std::size_t tailSize = kCtrlZWindow;
    const platform::ErrorCode refused = file.TrySeek(-kCtrlZWindow, platform::SeekFrom::kEnd, &tailStart);
    if (refused == 0) {
        file.ReadExactly(tail, kCtrlZWindow);
    } else {
        file.Seek(0, platform::SeekFrom::kBegin);
        tailSize = file.ReadUpTo(tail, sizeof tail);
        if (tailSize >= kCtrlZWindow) throw LogError(LogError::kSeek, refused);
    }
    std::int64_t size = tailStart + static_cast<std::int64_t>(tailSize);
    std::size_t kept = tailSize;
    if (const void* mark = std::memchr(tail, kCtrlZ, tailSize)) {
        kept = static_cast<std::size_t>(static_cast<const char*>(mark) - tail);
        size = tailStart + static_cast<std::int64_t>(kept);
        file.CutAt(size);
    }
    if (size == 0) return {0, false};
    char last[2];
    if (kept >= 2) {
        std::memcpy(last, tail + kept - 2, 2);
    } else {
        // The cut left fewer than two bytes of the tail in hand.
        const std::int64_t from = std::max<std::int64_t>(size - 2, 0);
        file.Seek(from, platform::SeekFrom::kBegin);
        last[0] = '\0';
        file.ReadExactly(last + (size - from == 1 ? 1 : 0), static_cast<std::size_t>(size - from));
    }
    const bool endsWithCr = last[1] == '\r';
    const bool endsWithCrLf = last[0] == '\r' && last[1] == '\n';
    return {size, !(endsWithCr || endsWithCrLf)};
}

platform::ErrorCode OpenForAppending(const char* name, const Patience& patience, platform::FileHandle* handle) {
    platform::Calls& os = platform::Active();
    return OpenPatiently(patience, handle, [&](platform::FileHandle* file) {
        // The file is there but for the very first posting: the exists test,
        // which tells whether to create it, is needed only when it does not open.
        platform::ErrorCode error = os.open(name, platform::OpenMode::kAppend, file);
        if (error == 0 || platform::IsHeldByAnother(error) || os.fileExists(name)) return error;
        error = os.open(name, platform::OpenMode::kCreate, file);
        // Another host process made it meanwhile: it is there to append to.
        if (error != 0 && !platform::IsHeldByAnother(error) && os.fileExists(name)) {
            error = os.open(name, platform::OpenMode::kAppend, file);
        }
        return error;
    });
}

void WriteAtEnd(AppendFile& file, const FileEnd& end, std::string_view bytes) {
    std::size_t written = 0;
    const platform::ErrorCode error = platform::Active().write(file.handle(), bytes.data(), bytes.size(), &written);
    if (error == 0) return;
    // Take back what reached the file, so the bytes can be written whole
    // later and nothing appears twice.
    std::size_t kept = 0;
    try {
        file.CutAt(end.size);
    } catch (const LogError&) {
        kept = written;
    }
    throw WriteError(error, kept);
}

bool AppendPostings(const char* name, std::vector<PendingPosting>& queue, const Patience& patience) {
    if (queue.empty()) return true;
    platform::FileHandle handle = platform::kNoFile;
    if (OpenForAppending(name, patience, &handle) != 0) return false;
    AppendFile file(handle);
    const FileEnd end = PrepareEnd(file);

    // One write for everything waiting, so a posting reaches the file whole;
    // the usual lone posting is written from where it waits.
    std::string joined;
    const std::string* bytes = &queue.front();
    if (end.unfinishedLine || queue.size() > 1) {
        if (end.unfinishedLine) joined += "\r\n";
        for (const PendingPosting& posting : queue) joined += posting;
        bytes = &joined;
    }
    try {
        WriteAtEnd(file, end, *bytes);
    } catch (const WriteError& error) {
        // The take-back failed too: the postings that did reach the file
        // leave the queue.
        std::size_t reached = end.unfinishedLine ? 2 : 0;
        std::size_t whole = 0;
        while (whole < queue.size() && (reached += queue[whole].size()) <= error.kept()) ++whole;
        queue.erase(queue.begin(), queue.begin() + static_cast<std::ptrdiff_t>(whole));
        throw;
    }
    queue.clear();
    return true;
}

}  // namespace messagelog
