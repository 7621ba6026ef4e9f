// Threads and events as Windows XP has them: no condition variables
// (Vista and later) and no C++ threads in the compiler build that runs there.
#include <windows.h>

#include "Threads.h"

namespace porresku_log {

int ProcessorCount() {
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    return info.dwNumberOfProcessors == 0 ? 1 : static_cast<int>(info.dwNumberOfProcessors);
}

struct Thread::Running {
    HANDLE handle;
    void (*run)(void*);
    void* context;
};

namespace {

DWORD WINAPI RunThread(LPVOID running) {
    auto* what = static_cast<Thread::Running*>(running);
    what->run(what->context);
    return 0;
}

}  // namespace

Thread::Thread() = default;

Thread::~Thread() { Join(); }

bool Thread::Start(void (*run)(void*), void* context) {
    auto running = std::make_unique<Running>(Running{nullptr, run, context});
    running->handle = CreateThread(nullptr, 0, &RunThread, running.get(), 0, nullptr);
    if (running->handle == nullptr) return false;
    running_ = std::move(running);
    return true;
}

void Thread::Join() {
    if (!running_) return;
    WaitForSingleObject(running_->handle, INFINITE);
    CloseHandle(running_->handle);
    running_.reset();
}

// Windows gives each thread an ideal processor of its own and runs it
// there when that one is free.
struct ProcessorsApart::Kept {};

ProcessorsApart::ProcessorsApart() = default;

ProcessorsApart::~ProcessorsApart() = default;

void ProcessorsApart::KeepHelper() const {}

struct Signal::State {
    HANDLE event;
};

// An auto-reset event: a wait takes the raise.
Signal::Signal() : state_(std::make_unique<State>(State{CreateEventW(nullptr, FALSE, FALSE, nullptr)})) {}

Signal::~Signal() {
    if (state_->event != nullptr) CloseHandle(state_->event);
}

void Signal::Raise() { SetEvent(state_->event); }

void Signal::Wait() { WaitForSingleObject(state_->event, INFINITE); }

}  // namespace porresku_log
