#include "support/LogHolder.h"

#include <filesystem>

#if defined(_WIN32)
#include <windows.h>
#else
#include <sys/wait.h>
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

#if !defined(_WIN32)
std::string ProgramBeside(const char* program) {
    return (std::filesystem::read_symlink("/proc/self/exe").parent_path() / program).string();
}
#endif

}  // namespace

#if defined(_WIN32)

LogHolder::LogHolder(const std::string& name, Mode mode) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return;
    SetHandleInformation(writeEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = readEnd;
    startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION started{};
    std::string command = "log_holder.exe \"" + name + "\" " + (mode == kWriting ? "write" : "read");
    char path[MAX_PATH];
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string program = std::filesystem::path(path).parent_path().string() + "\\log_holder.exe";
    const BOOL ok = CreateProcessA(program.c_str(), command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                                   &startup, &started);
    CloseHandle(readEnd);
    if (!ok) {
        CloseHandle(writeEnd);
        return;
    }
    CloseHandle(started.hThread);
    process_ = reinterpret_cast<std::intptr_t>(started.hProcess);
    input_ = reinterpret_cast<std::intptr_t>(writeEnd);
    holding_ = AwaitMarker(name);
}

LogHolder::~LogHolder() {
    if (input_ != -1) CloseHandle(reinterpret_cast<HANDLE>(input_));
    if (process_ != -1) {
        WaitForSingleObject(reinterpret_cast<HANDLE>(process_), 10000);
        CloseHandle(reinterpret_cast<HANDLE>(process_));
    }
}

#else

LogHolder::LogHolder(const std::string& name, Mode mode) {
    int pipeEnds[2];
    if (::pipe(pipeEnds) != 0) return;
    const std::string program = ProgramBeside("log_holder");
    const pid_t child = ::fork();
    if (child == 0) {
        ::dup2(pipeEnds[0], 0);
        ::close(pipeEnds[0]);
        ::close(pipeEnds[1]);
        ::execl(program.c_str(), program.c_str(), name.c_str(), mode == kWriting ? "write" : "read",
                static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(pipeEnds[0]);
    if (child < 0) {
        ::close(pipeEnds[1]);
        return;
    }
    process_ = child;
    input_ = pipeEnds[1];
    holding_ = AwaitMarker(name);
}

LogHolder::~LogHolder() {
    if (input_ != -1) ::close(static_cast<int>(input_));
    if (process_ != -1) {
        int status = 0;
        ::waitpid(static_cast<pid_t>(process_), &status, 0);
    }
}

#endif

}  // namespace testing_host
