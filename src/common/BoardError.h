// An error that ends a board step. Its text (Shift-JIS) goes to the
// channel's caller as one line, and the host carries on.
#pragma once

#include <stdexcept>

namespace board {

class BoardError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

}  // namespace board
