// The turns of the pieces' stages on the threads that read a log in pieces:
// each piece is read, numbered and written out in the log's order.
#pragma once

#include <atomic>
#include <cstdint>
#include <exception>
#include <memory>
#include <vector>

#include "Pieces.h"
#include "Threads.h"

namespace porresku_log {

// The turn of each stage goes from piece to piece in the log's order.
class PieceTurns {
public:
    enum Stage { kRead, kNumber, kWrite, kStages };
    explicit PieceTurns(int threads);
    // Waits until it is piece's turn at `stage`; false when the reading
    // failed on another thread meanwhile.
    bool Wait(Stage stage, std::uint32_t piece, int thread);
    void Pass(Stage stage, std::uint32_t piece);
    // Ends every wait; the first failure is kept to be thrown by Rethrow().
    void Fail(std::exception_ptr failure);
    void Rethrow() const;

private:
    void RaiseAll();

    std::atomic<std::uint32_t> turns_[kStages] = {};
    std::atomic<bool> failed_{false};
    std::exception_ptr failure_;
    std::atomic_flag failureTaken_ = ATOMIC_FLAG_INIT;
    std::vector<std::unique_ptr<Signal>> signals_;  // one per thread
};

// How many threads read: options.threads, or one per processor, at most two.
int PieceThreads(const PieceOptions& options);

}  // namespace porresku_log
