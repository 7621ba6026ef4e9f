#include "support/ChildProcess.h"

#include <filesystem>

#if defined(_WIN32)
#include <windows.h>
#else
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace testing_host {

#if defined(_WIN32)

namespace {

std::string Quoted(const std::string& argument) { return "\"" + argument + "\""; }

}  // namespace

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& arguments, bool feedInput) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    if (feedInput) {
        if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return;
        SetHandleInformation(writeEnd, HANDLE_FLAG_INHERIT, 0);
    }
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = feedInput ? readEnd : GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    const std::string path = (std::filesystem::path(self).parent_path() / (program + ".exe")).string();
    std::string command = Quoted(program + ".exe");
    for (const std::string& argument : arguments) command += " " + Quoted(argument);
    PROCESS_INFORMATION made{};
    const BOOL ok =
        CreateProcessA(path.c_str(), command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &made);
    if (readEnd != nullptr) CloseHandle(readEnd);
    if (!ok) {
        if (writeEnd != nullptr) CloseHandle(writeEnd);
        return;
    }
    CloseHandle(made.hThread);
    process_ = reinterpret_cast<std::intptr_t>(made.hProcess);
    if (writeEnd != nullptr) input_ = reinterpret_cast<std::intptr_t>(writeEnd);
}

void ChildProcess::CloseInput() {
    if (input_ == -1) return;
    CloseHandle(reinterpret_cast<HANDLE>(input_));
    input_ = -1;
}

int ChildProcess::Wait() {
    if (process_ == -1) return -1;
    if (!ended_) {
        HANDLE process = reinterpret_cast<HANDLE>(process_);
        WaitForSingleObject(process, INFINITE);
        DWORD code = 0;
        exitCode_ = GetExitCodeProcess(process, &code) ? static_cast<int>(code) : -1;
        CloseHandle(process);
        ended_ = true;
    }
    return exitCode_;
}

void ChildProcess::Kill() {
    if (process_ == -1 || ended_) return;
    TerminateProcess(reinterpret_cast<HANDLE>(process_), 137);
    Wait();
}

#else

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& arguments, bool feedInput) {
    int pipeEnds[2] = {-1, -1};
    if (feedInput && ::pipe(pipeEnds) != 0) return;
    const std::string path = (std::filesystem::read_symlink("/proc/self/exe").parent_path() / program).string();
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(path.c_str()));
    for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    const pid_t child = ::fork();
    if (child == 0) {
        if (feedInput) {
            ::dup2(pipeEnds[0], 0);
            ::close(pipeEnds[0]);
            ::close(pipeEnds[1]);
        }
        ::execv(path.c_str(), argv.data());
        ::_exit(127);
    }
    if (feedInput) ::close(pipeEnds[0]);
    if (child < 0) {
        if (feedInput) ::close(pipeEnds[1]);
        return;
    }
    process_ = child;
    if (feedInput) input_ = pipeEnds[1];
}

void ChildProcess::CloseInput() {
    if (input_ == -1) return;
    ::close(static_cast<int>(input_));
    input_ = -1;
}

int ChildProcess::Wait() {
    if (process_ == -1) return -1;
    if (!ended_) {
        int status = 0;
        if (::waitpid(static_cast<pid_t>(process_), &status, 0) < 0) return -1;
        exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        ended_ = true;
    }
    return exitCode_;
}

void ChildProcess::Kill() {
    if (process_ == -1 || ended_) return;
    ::kill(static_cast<pid_t>(process_), SIGKILL);
    Wait();
}

#endif

ChildProcess::~ChildProcess() {
    CloseInput();
    Wait();
}

}  // namespace testing_host
