// The host's system layer on Linux: dlopen, glibc's iconv, POSIX files.
#include <dlfcn.h>
#include <iconv.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <system_error>

#include "HostSystem.h"

namespace host_system {

void* OpenLibrary(const std::string& path, std::string& error) {
    // A name without '/' would make dlopen search the library path instead.
    const std::string name = path.find('/') == std::string::npos ? "./" + path : path;
    void* library = ::dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        const char* why = ::dlerror();
        error = why != nullptr ? why : "dlopen failed";
    }
    return library;
}

void* FindExport(void* library, const char* name) { return ::dlsym(library, name); }

void CloseLibrary(void* library) { ::dlclose(library); }

const char* PluginFileName() { return "libPorresku.so"; }

namespace {

// Converts with iconv; a sequence that cannot be converted becomes '?'.
// Returns false when that happened.
bool Convert(const char* to, const char* from, std::string_view text, std::string& out) {
    out.clear();
    iconv_t cd = ::iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        out.assign(text);
        return false;
    }
    std::string in(text);
    char* src = in.data();
    std::size_t srcLeft = in.size();
    bool clean = true;
    char buffer[256];
    while (srcLeft > 0) {
        char* dst = buffer;
        std::size_t dstLeft = sizeof buffer;
        const std::size_t result = ::iconv(cd, &src, &srcLeft, &dst, &dstLeft);
        out.append(buffer, sizeof buffer - dstLeft);
        if (result != static_cast<std::size_t>(-1)) continue;
        if (errno == E2BIG) continue;
        // EILSEQ or EINVAL (a cut sequence at the end): skip one byte.
        clean = false;
        out.push_back('?');
        ++src;
        --srcLeft;
        ::iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
    ::iconv_close(cd);
    return clean;
}

}  // namespace

std::string Cp932ToUtf8(std::string_view cp932) {
    std::string out;
    Convert("UTF-8", "CP932", cp932, out);
    return out;
}

bool Utf8ToCp932(std::string_view utf8, std::string& out) {
    return Convert("CP932", "UTF-8", utf8, out);
}

void PrepareTerminal(bool) {}

bool InputIsTerminal() { return ::isatty(0) == 1; }

bool ReadLine(std::string& line) {
    line.clear();
    return ReadByteLine(stdin, line);
}

void WriteOut(std::string_view text) {
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
}

void WriteError(std::string_view text) {
    std::fflush(stdout);
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fflush(stderr);
}

std::string ProgramFolder() {
    char path[PATH_MAX];
    const ssize_t length = ::readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0) return ".";
    return std::filesystem::path(std::string(path, static_cast<std::size_t>(length))).parent_path().string();
}

std::string AbsolutePath(const std::string& path) {
    std::error_code ignored;
    return std::filesystem::absolute(path, ignored).lexically_normal().string();
}

bool EnterFolder(const std::string& path, std::string& error) {
    std::error_code failure;
    std::filesystem::create_directories(path, failure);
    if (!failure) std::filesystem::current_path(path, failure);
    if (failure) error = failure.message();
    return !failure;
}

bool MoveIntoPlace(const std::string& from, const std::string& to, std::string& error) {
    if (std::rename(from.c_str(), to.c_str()) == 0) return true;
    error = std::strerror(errno);
    return false;
}

LocalStamp Now() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec};
}

}  // namespace host_system
