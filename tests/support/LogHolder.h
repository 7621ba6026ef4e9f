// Holds the log open the way another program on the machine would: through
// the system's own calls, not the plug-in's, with the sharing such a
// program asks for.
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
    ~LogHolder();
    LogHolder(const LogHolder&) = delete;
    LogHolder& operator=(const LogHolder&) = delete;

    bool holding() const { return handle_ != -1; }

private:
    std::intptr_t handle_ = -1;
};

}  // namespace testing_host
