// Another program holding the log open: a separate process (log_holder)
// that opens the file with the sharing such a program asks for, and keeps
// it open until this object goes.
#pragma once

#include <string>

#include "support/ChildProcess.h"

namespace testing_host {

class LogHolder {
public:
    enum Mode {
        kReading,  // read access, others may read (a viewer)
        kWriting,  // write access, others may read (an editor saving)
    };
    LogHolder(const std::string& name, Mode mode);
    ~LogHolder() = default;  // lets go of the file and waits for the program to end
    LogHolder(const LogHolder&) = delete;
    LogHolder& operator=(const LogHolder&) = delete;

    // True once the other program holds the file.
    bool holding() const { return holding_; }

private:
    ChildProcess program_;
    bool holding_ = false;
};

}  // namespace testing_host
