#include "support/LogHolder.h"

#include <filesystem>

#if defined(_WIN32)
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace testing_host {

namespace {

// Waits (bounded) for the program to say it holds the file.
bool AwaitMarker(const std::string& name) {
    for (int tries = 0; tries < 1000; ++tries) {
        if (std::filesystem::exists(name + ".held")) return true;
#if defined(_WIN32)
        Sleep(10);
#else
        ::usleep(10000);
#endif
    }
    return false;
}

}  // namespace

LogHolder::LogHolder(const std::string& name, Mode mode)
    : program_("log_holder", {name, mode == kWriting ? "write" : "read"}, true) {
    holding_ = program_.started() && AwaitMarker(name);
}

}  // namespace testing_host
