// A second thread for the tool's reading, and the signal by which two
// threads tell each other that something changed. Windows' own calls (as
// old as Windows XP) or the C++ library's, behind the same few names.
#pragma once

#include <cstdint>
#include <memory>

namespace porresku_log {

// How many processors the machine has (at least 1).
int ProcessorCount();

// Tells the processor that a thread waits in a loop ("pause", which older
// processors take as a plain no-op).
inline void PauseInSpin() {
#if defined(__i386__) || defined(__x86_64__)
    __asm__ __volatile__("rep; nop" ::: "memory");
#endif
}

class Thread {
public:
    Thread();
    ~Thread();  // joins a thread still running
    Thread(const Thread&) = delete;
    Thread& operator=(const Thread&) = delete;
    // Runs run(context) on a thread of its own; false when none could start.
    bool Start(void (*run)(void* context), void* context);
    // Waits for it to end.
    void Join();

    struct Running;  // the platform's own

private:
    std::unique_ptr<Running> running_;
};

// Keeps a thread and the helper it starts off each other's processor while
// they read a log together: the helper on a processor of its own, the
// calling thread on any other the process may use. A Linux guest of a
// hypervisor takes an idle virtual processor for a busy one, and may start
// the helper on the caller's processor, or wake it there, and leave both
// there for tens of milliseconds while the other idles: the two then take
// turns on one. Keeps nothing where there is only one processor to use, or
// where the system spreads threads itself (Windows).
class ProcessorsApart {
public:
    ProcessorsApart();
    ~ProcessorsApart();  // the calling thread may use every processor again
    ProcessorsApart(const ProcessorsApart&) = delete;
    ProcessorsApart& operator=(const ProcessorsApart&) = delete;
    // Called on the helper, first: keeps it on its own processor.
    void KeepHelper() const;

    struct Kept;  // the platform's own

private:
    std::unique_ptr<Kept> kept_;
};

// Raised by one thread, waited for by another; each wait takes the raise
// (one raise before a wait is not lost, several count as one).
class Signal {
public:
    Signal();
    ~Signal();
    Signal(const Signal&) = delete;
    Signal& operator=(const Signal&) = delete;
    void Raise();
    void Wait();

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace porresku_log
