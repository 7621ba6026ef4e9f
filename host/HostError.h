// An error the host reports as one line and then stops over (at start) or
// refuses a command for (in a session).
#pragma once

#include <stdexcept>

class HostError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};
