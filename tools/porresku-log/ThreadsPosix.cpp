#include <pthread.h>
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

#if defined(__linux__)
struct ProcessorsApart::Kept {
    cpu_set_t before;  // the calling thread's, given back at the end
    int helper;
};

ProcessorsApart::ProcessorsApart() {
    auto kept = std::make_unique<Kept>();
    const pthread_t self = pthread_self();
    if (pthread_getaffinity_np(self, sizeof kept->before, &kept->before) != 0) return;
    const int here = sched_getcpu();
    if (here < 0 || here >= CPU_SETSIZE || !CPU_ISSET(here, &kept->before) || CPU_COUNT(&kept->before) < 2) return;
    // The next processor the process may use after this one.
    kept->helper = here;
    do {
        kept->helper = (kept->helper + 1) % CPU_SETSIZE;
    } while (!CPU_ISSET(kept->helper, &kept->before));
    cpu_set_t others = kept->before;
    CPU_CLR(kept->helper, &others);
    if (pthread_setaffinity_np(self, sizeof others, &others) != 0) return;
    kept_ = std::move(kept);
}

ProcessorsApart::~ProcessorsApart() {
    if (kept_) pthread_setaffinity_np(pthread_self(), sizeof kept_->before, &kept_->before);
}

void ProcessorsApart::KeepHelper() const {
    if (!kept_) return;
    cpu_set_t own;
    CPU_ZERO(&own);
    CPU_SET(kept_->helper, &own);
    pthread_setaffinity_np(pthread_self(), sizeof own, &own);
}
#else
struct ProcessorsApart::Kept {};
ProcessorsApart::ProcessorsApart() = default;
ProcessorsApart::~ProcessorsApart() = default;
void ProcessorsApart::KeepHelper() const {}
#endif

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
