#include "support/ChildProcess.h"

#include <filesystem>

#if defined(_WIN32)
#include <windows.h>
#else
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace testing_host {

#if defined(_WIN32)

namespace {

std::string Quoted(const std::string& argument) { return "\"" + argument + "\""; }

}  // namespace

namespace {

HANDLE OutputTo(const std::string& name, DWORD standard, SECURITY_ATTRIBUTES* inherit) {
    if (name.empty()) return GetStdHandle(standard);
    return CreateFileA(name.c_str(), GENERIC_WRITE, FILE_SHARE_READ, inherit, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                       nullptr);
}

void CloseOutput(const std::string& name, HANDLE handle) {
    if (!name.empty() && handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
}

}  // namespace

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& arguments, bool feedInput,
                           const std::string& outputFile, const std::string& errorFile) {
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
    startup.hStdOutput = OutputTo(outputFile, STD_OUTPUT_HANDLE, &inherit);
    startup.hStdError = OutputTo(errorFile, STD_ERROR_HANDLE, &inherit);
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    const std::string path = (std::filesystem::path(self).parent_path() / (program + ".exe")).string();
    std::string command = Quoted(program + ".exe");
    for (const std::string& argument : arguments) command += " " + Quoted(argument);
    PROCESS_INFORMATION made{};
    const BOOL ok =
        CreateProcessA(path.c_str(), command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &made);
    if (readEnd != nullptr) CloseHandle(readEnd);
    CloseOutput(outputFile, startup.hStdOutput);
    CloseOutput(errorFile, startup.hStdError);
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

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& arguments, bool feedInput,
                           const std::string& outputFile, const std::string& errorFile) {
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
        const std::pair<const std::string*, int> outputs[] = {{&outputFile, 1}, {&errorFile, 2}};
        for (const auto& [name, standard] : outputs) {
            if (name->empty()) continue;
            const int file = ::open(name->c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (file < 0) ::_exit(126);
            ::dup2(file, standard);
            ::close(file);
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
