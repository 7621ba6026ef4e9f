// Another program holding the log open: a separate process (log_holder)
// that opens the file with the sharing such a program asks for, and keeps
// it open until this object goes.
#pragma once

#include <cstdint>
#include <string>

namespace testing_host {

class LogHolder {
public:
    enum Mode {
        kReading,  // read access, others may read (a viewer)
        kWriting,  // write access, others may read (an editor saving)
    };
    LogHolder(const std::string& name, Mode mode);
    ~LogHolder();  // lets go of the file and waits for the program to end
    LogHolder(const LogHolder&) = delete;
    LogHolder& operator=(const LogHolder&) = delete;

    // True once the other program holds the file.
    bool holding() const { return holding_; }

private:
    bool holding_ = false;
    std::intptr_t process_ = -1;
    std::intptr_t input_ = -1;  // the program's standard input; closing it lets go
};

}  // namespace testing_host
