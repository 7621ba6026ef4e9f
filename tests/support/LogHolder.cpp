#include "support/LogHolder.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#endif

namespace testing_host {

#if defined(_WIN32)

LogHolder::LogHolder(const std::string& name, Mode mode) {
    const DWORD access = mode == kReading ? GENERIC_READ : GENERIC_READ | GENERIC_WRITE;
    HANDLE file = CreateFileA(name.c_str(), access, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                              nullptr);
    if (file != INVALID_HANDLE_VALUE) handle_ = reinterpret_cast<std::intptr_t>(file);
}

LogHolder::~LogHolder() {
    if (holding()) CloseHandle(reinterpret_cast<HANDLE>(handle_));
}

#else

// Programs on Linux that share the log lock it with flock: shared for
// reading, exclusive for writing.
LogHolder::LogHolder(const std::string& name, Mode mode) {
    const int fd = ::open(name.c_str(), (mode == kReading ? O_RDONLY : O_RDWR) | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return;
    if (::flock(fd, mode == kReading ? LOCK_SH : LOCK_EX) != 0) {
        ::close(fd);
        return;
    }
    handle_ = fd;
}

LogHolder::~LogHolder() {
    if (holding()) ::close(static_cast<int>(handle_));
}

#endif

}  // namespace testing_host
