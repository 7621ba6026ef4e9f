// The POSIX platform: flock gives the log the sharing rule that Windows share
// modes give it (shared for readers, exclusive for writers, never waiting),
// among the plug-in's own opens and towards other programs that lock.
#include <fcntl.h>
#include <iconv.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <string>

#include "platform/Platform.h"

namespace platform {
namespace {

bool FileExists(const char* name) {
    struct stat info {};
    return ::stat(name, &info) == 0 && S_ISREG(info.st_mode);
}

ErrorCode Open(const char* name, OpenMode mode, FileHandle* file) {
    *file = kNoFile;
    int flags = O_CLOEXEC;
    int lock = LOCK_EX | LOCK_NB;
    switch (mode) {
        case OpenMode::kRead:
            flags |= O_RDONLY;
            lock = LOCK_SH | LOCK_NB;
            break;
        case OpenMode::kAppend:
            flags |= O_RDWR;
            break;
        case OpenMode::kCreate:
            flags |= O_RDWR | O_CREAT | O_EXCL;
            break;
    }
    const int fd = ::open(name, flags, 0666);
    if (fd < 0) return errno;
    // A folder of the log's name is no log: open() lets a folder be read
    // (and refuses to write one, so writers need no look).
    if (mode == OpenMode::kRead) {
        struct stat info {};
        const int error = ::fstat(fd, &info) != 0 ? errno : S_ISREG(info.st_mode) ? 0 : EISDIR;
        if (error != 0) {
            ::close(fd);
            return error;
        }
    }
    if (::flock(fd, lock) != 0) {
        const int error = errno;
        ::close(fd);
        return error;
    }
    *file = fd;
    return 0;
}

ErrorCode Read(FileHandle file, void* buffer, std::size_t size, std::size_t* got) {
    for (;;) {
        const ssize_t n = ::read(static_cast<int>(file), buffer, size);
        if (n >= 0) {
            *got = static_cast<std::size_t>(n);
            return 0;
        }
        if (errno != EINTR) {
            *got = 0;
            return errno;
        }
    }
}

ErrorCode Write(FileHandle file, const void* data, std::size_t size, std::size_t* written) {
    const char* bytes = static_cast<const char*>(data);
    *written = 0;
    while (*written < size) {
        const ssize_t n = ::write(static_cast<int>(file), bytes + *written, size - *written);
        if (n < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        if (n == 0) return ENOSPC;
        *written += static_cast<std::size_t>(n);
    }
    return 0;
}

ErrorCode Seek(FileHandle file, std::int64_t offset, SeekFrom from, std::int64_t* position) {
    const int whence = from == SeekFrom::kBegin ? SEEK_SET : SEEK_END;
    const off64_t at = ::lseek64(static_cast<int>(file), offset, whence);
    if (at < 0) return errno;
    if (position != nullptr) *position = at;
    return 0;
}

ErrorCode Truncate(FileHandle file) {
    const off64_t at = ::lseek64(static_cast<int>(file), 0, SEEK_CUR);
    if (at < 0) return errno;
    return ::ftruncate64(static_cast<int>(file), at) == 0 ? 0 : errno;
}

ErrorCode Close(FileHandle file) {
    // The lock goes with the descriptor.
    return ::close(static_cast<int>(file)) == 0 ? 0 : errno;
}

LocalTime Now() {
    timespec now {};
    ::clock_gettime(CLOCK_REALTIME, &now);
    const time_t seconds = now.tv_sec;
    tm local {};
    ::localtime_r(&seconds, &local);
    return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
            local.tm_min,         local.tm_sec,     static_cast<int>(now.tv_nsec / 1000000)};
}

// The board's texts are Shift-JIS; a terminal wants UTF-8.
std::string ToUtf8(const char* cp932) {
    std::string in(cp932);
    std::string out(in.size() * 3 + 1, '\0');
    iconv_t cd = ::iconv_open("UTF-8", "CP932");
    if (cd == reinterpret_cast<iconv_t>(-1)) return in;
    char* src = in.data();
    std::size_t srcLeft = in.size();
    char* dst = out.data();
    std::size_t dstLeft = out.size();
    while (srcLeft > 0 && ::iconv(cd, &src, &srcLeft, &dst, &dstLeft) == static_cast<std::size_t>(-1)) {
        if (errno != EILSEQ && errno != EINVAL) break;
        // A byte that is no CP932 shows as '?' rather than ending the line.
        if (dstLeft == 0) break;
        *dst++ = '?';
        --dstLeft;
        ++src;
        --srcLeft;
    }
    ::iconv_close(cd);
    out.resize(out.size() - dstLeft);
    return out;
}

// No window system to ask: the box becomes one line on standard error.
void ShowBox(const char* text, const char* caption, unsigned style) {
    std::fprintf(stderr, "[%s] %s (style %u)\n", ToUtf8(caption).c_str(), ToUtf8(text).c_str(), style);
    std::fflush(stderr);
}

void Diagnostic(const char* text) {
    std::fprintf(stderr, "Porresku: %s\n", text);
    std::fflush(stderr);
}

void Sleep(unsigned milliseconds) {
    timespec wait{static_cast<time_t>(milliseconds / 1000), static_cast<long>(milliseconds % 1000) * 1000000L};
    while (::nanosleep(&wait, &wait) != 0 && errno == EINTR) {
    }
}

ErrorCode Remove(const char* name) { return ::unlink(name) == 0 ? 0 : errno; }

constexpr Calls kSystem = {FileExists, Open,    Read,       Write, Seek,  Truncate,
                           Close,      Now,     ShowBox,    Diagnostic, Sleep, Remove};
Calls active = kSystem;

}  // namespace

const Calls& SystemCalls() { return kSystem; }
// The lock of another opener: flock with LOCK_NB answers EWOULDBLOCK.
const ErrorCode kHeldByAnother = EWOULDBLOCK;
bool IsHeldByAnother(ErrorCode error) { return error == EWOULDBLOCK; }
Calls& Active() { return active; }

}  // namespace platform
