// Appending whole postings to the log, or to the side file that keeps them
// when the log cannot take them at unload. An append holds the file against
// every other opener, cuts a Ctrl-Z near its end, ends an unfinished last
// line, and writes everything waiting at once, so a posting reaches the file
// whole or not at all.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "log/HeldFile.h"
#include "log/LogError.h"
#include "platform/Platform.h"

namespace messagelog {

// A posting waiting for the log: its header and message lines, CR LF ended.
using PendingPosting = std::string;

// An open file that is closed on every way out of the step; a failure to
// close is of no consequence once the data is written.
class OpenFile {
public:
    explicit OpenFile(platform::FileHandle file) : file_(file) {}
    ~OpenFile() { Close(); }
    OpenFile(const OpenFile&) = delete;
    OpenFile& operator=(const OpenFile&) = delete;
    platform::FileHandle handle() const { return file_; }
    void Close();

protected:
    platform::FileHandle file_;
};

// A file open for appending. Throws LogError.
class AppendFile : public OpenFile {
public:
    using OpenFile::OpenFile;

    // The system's answer, for a seek that may be refused.
    platform::ErrorCode TrySeek(std::int64_t offset, platform::SeekFrom from, std::int64_t* at);
    std::int64_t Seek(std::int64_t offset, platform::SeekFrom from);
    // Up to `size` bytes, fewer only at the end of the file.
    std::size_t ReadUpTo(char* bytes, std::size_t size);
    void ReadExactly(char* bytes, std::size_t size);
    // Cuts the file at `size`.
    void CutAt(std::int64_t size);
};

// The file's size once a Ctrl-Z near its end is cut off, and whether its
// last line is unfinished (ends neither in CR nor in CR LF).
struct FileEnd {
    std::int64_t size;
    bool unfinishedLine;
};

// Cuts a Ctrl-Z within the last 128 bytes and leaves the file position at the
// returned size, where the postings go.
FileEnd PrepareEnd(AppendFile& file);

// A write at the file's end that failed. The bytes that reached the file
// were taken back, unless even that failed: then the first kept() of them
// stay there.
class WriteError : public LogError {
public:
    WriteError(platform::ErrorCode code, std::size_t kept) : LogError(kWrite, code), kept_(kept) {}
    std::size_t kept() const { return kept_; }

private:
    std::size_t kept_;
};

// Writes `bytes` at the end PrepareEnd found, in one write. Throws
// WriteError when the write fails, LogError on another failure.
void WriteAtEnd(AppendFile& file, const FileEnd& end, std::string_view bytes);

// Opens `name` for appending, creating it when there is none, patiently.
platform::ErrorCode OpenForAppending(const char* name, const Patience& patience, platform::FileHandle* handle);

// Writes the queued postings at the end of `name`, oldest first. Postings
// that reached the file leave the queue. False when the file could not be
// opened (the queue stays). Throws LogError on an input/output error after
// opening: the file is closed again and keeps no part of a posting that
// failed, unless even taking it back failed.
bool AppendPostings(const char* name, std::vector<PendingPosting>& queue, const Patience& patience);

}  // namespace messagelog
