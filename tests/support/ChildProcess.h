// Another test program started beside this one (log_holder, posting_host,
// porresku-log): started with arguments in the current folder, optionally
// fed through its standard input, its output optionally caught in files,
// waited for or killed.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace testing_host {

class ChildProcess {
public:
    // Starts `program` (a file name beside this test program) with `arguments`.
    // Its standard output and error go to the files named, when named.
    ChildProcess(const std::string& program, const std::vector<std::string>& arguments, bool feedInput = false,
                 const std::string& outputFile = {}, const std::string& errorFile = {});
    ~ChildProcess();  // closes its input and waits for it
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool started() const { return process_ != -1; }
    // Ends its standard input (a fed child reads it to its end).
    void CloseInput();
    // Its exit code once it ended; -1 when it could not be waited for.
    int Wait();
    // Ends it at once, as a crash or the task manager would (SIGKILL, TerminateProcess).
    void Kill();

private:
    std::intptr_t process_ = -1;
    std::intptr_t input_ = -1;
    bool ended_ = false;
    int exitCode_ = -1;
};

}  // namespace testing_host
