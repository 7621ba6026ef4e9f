#include "PieceTurns.h"

#include <algorithm>
#include <utility>

namespace porresku_log {

PieceTurns::PieceTurns(int threads) {
    for (int i = 0; i < threads; ++i) signals_.push_back(std::make_unique<Signal>());
}

bool PieceTurns::Wait(Stage stage, std::uint32_t piece, int thread) {
    // The other thread is usually a few microseconds from passing the turn:
    // a short spin saves the system's wait and wake.
    constexpr int kSpins = 2000;
    for (int spin = 0;; ++spin) {
        if (failed_.load(std::memory_order_acquire)) return false;
        if (turns_[stage].load(std::memory_order_acquire) == piece) return true;
        if (spin < kSpins) {
            PauseInSpin();
        } else {
            signals_[static_cast<std::size_t>(thread)]->Wait();
        }
    }
}

void PieceTurns::Pass(Stage stage, std::uint32_t piece) {
    turns_[stage].store(piece + 1, std::memory_order_release);
    RaiseAll();
}

void PieceTurns::Fail(std::exception_ptr failure) {
    if (!failureTaken_.test_and_set()) failure_ = std::move(failure);
    failed_.store(true, std::memory_order_release);
    RaiseAll();
}

void PieceTurns::Rethrow() const {
    if (failed_.load(std::memory_order_acquire) && failure_) std::rethrow_exception(failure_);
}

void PieceTurns::RaiseAll() {
    for (const auto& signal : signals_) signal->Raise();
}

int PieceThreads(const PieceOptions& options) {
    if (options.threads > 0) return options.threads;
    return std::min(ProcessorCount(), 2);
}

}  // namespace porresku_log
