#include <sched.h>

#include <condition_variable>
#include <mutex>
#include <thread>

#include "Threads.h"

namespace porresku_log {

// The processors this process may run on (taskset, a container's share),
// not all the machine has.
int ProcessorCount() {
#if defined(__linux__)
    cpu_set_t allowed;
    if (sched_getaffinity(0, sizeof allowed, &allowed) == 0) return CPU_COUNT(&allowed) > 0 ? CPU_COUNT(&allowed) : 1;
#endif
    const unsigned count = std::thread::hardware_concurrency();
    return count == 0 ? 1 : static_cast<int>(count);
}

struct Thread::Running {
    std::thread thread;
};

Thread::Thread() = default;

Thread::~Thread() { Join(); }

bool Thread::Start(void (*run)(void*), void* context) {
    try {
        running_ = std::make_unique<Running>(Running{std::thread(run, context)});
        return true;
    } catch (...) {
        return false;
    }
}

void Thread::Join() {
    if (running_ && running_->thread.joinable()) running_->thread.join();
    running_.reset();
}

struct Signal::State {
    std::mutex mutex;
    std::condition_variable changed;
    bool raised = false;
};

Signal::Signal() : state_(std::make_unique<State>()) {}

Signal::~Signal() = default;

void Signal::Raise() {
    {
        const std::lock_guard<std::mutex> lock(state_->mutex);
        state_->raised = true;
    }
    state_->changed.notify_one();
}

void Signal::Wait() {
    std::unique_lock<std::mutex> lock(state_->mutex);
    state_->changed.wait(lock, [this] { return state_->raised; });
    state_->raised = false;
}

}  // namespace porresku_log
