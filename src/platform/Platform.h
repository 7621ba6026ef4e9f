// The platform layer: every system call the plug-in makes goes through the
// table below, so the board never sees Windows or POSIX, and tests can swap
// single entries to fake the clock, observe message boxes or make a file
// call fail.
#pragma once

#include <cstddef>
#include <cstdint>

namespace platform {

// 0 is success; anything else is the system's own error code
// (GetLastError on Windows, errno on POSIX).
using ErrorCode = int;

using FileHandle = std::intptr_t;
inline constexpr FileHandle kNoFile = -1;

// How a file is opened. Every open lets other openers read the file but not
// write it: readers exclude writers, and a writer excludes everyone.
enum class OpenMode {
    kRead,    // an existing file, read only
    kAppend,  // an existing file, read and write (the end is searched before appending)
    kCreate,  // a new file, read and write; fails if the name exists
};

enum class SeekFrom { kBegin, kEnd };

struct LocalTime {
    int year, month, day;
    int hour, minute, second, millisecond;
};

// Message box styles, as the Windows message box takes them.
inline constexpr unsigned kBoxOk = 0x00;
inline constexpr unsigned kBoxErrorIcon = 0x10;

struct Calls {
    // True when `name` is an existing file; a directory of that name is no file.
    bool (*fileExists)(const char* name);
    // Opens `name` relative to the process's current directory.
    ErrorCode (*open)(const char* name, OpenMode mode, FileHandle* file);
    // Reads up to `size` bytes; `*got` == 0 at the end of the file.
    ErrorCode (*read)(FileHandle file, void* buffer, std::size_t size, std::size_t* got);
    // Writes all of `size` bytes or fails; `*written` tells how many reached the file.
    ErrorCode (*write)(FileHandle file, const void* data, std::size_t size, std::size_t* written);
    ErrorCode (*seek)(FileHandle file, std::int64_t offset, SeekFrom from, std::int64_t* position);
    // Cuts the file at the current position.
    ErrorCode (*truncate)(FileHandle file);
    ErrorCode (*close)(FileHandle file);
    // The current local date and time, with milliseconds.
    LocalTime (*localTime)();
    // A modal box with no owner window; text and caption are Shift-JIS.
    void (*messageBox)(const char* text, const char* caption, unsigned style);
    // One line for the developer's eyes (standard error; the debugger on Windows).
    void (*diagnostic)(const char* text);
    // Waits before the log is tried again.
    void (*sleep)(unsigned milliseconds);
    // Deletes the file `name`.
    ErrorCode (*remove)(const char* name);
};

// True when an open failed only because another opener holds the file (a
// sharing or lock violation): the file may well open a moment later.
bool IsHeldByAnother(ErrorCode error);
// What an open answers while another opener holds the file.
extern const ErrorCode kHeldByAnother;

// The real calls of this platform.
const Calls& SystemCalls();

// The calls in force. Tests replace entries and put the system's back.
Calls& Active();

}  // namespace platform
