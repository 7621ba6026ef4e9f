// An input/output error on an open log (or its side file). For the board it
// ends the step like any other error, its text going to the caller.
#pragma once

#include <string>

#include "common/BoardError.h"
#include "platform/Platform.h"

namespace messagelog {

class LogError : public board::BoardError {
public:
    enum Operation { kRead, kWrite, kSeek, kTruncate };
    // what() is the caller's line, in Shift-JIS.
    LogError(Operation operation, platform::ErrorCode code);

    Operation operation() const { return operation_; }
    // The same in plain ASCII, for the developer's diagnostic output.
    std::string diagnostic() const;

private:
    Operation operation_;
    platform::ErrorCode code_;
};

}  // namespace messagelog
