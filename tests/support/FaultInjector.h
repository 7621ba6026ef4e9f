// Makes the Nth call of one kind of file call fail, once or from then on,
// by putting wrappers into the platform layer's table (as the board sees the
// system). The wrappers pass every other call to the system.
#pragma once

#include <string>
#include <vector>

#include "platform/Platform.h"

namespace testing_host {

enum class FileCall { kOpen, kRead, kWrite, kSeek, kTruncate, kClose };

const char* FileCallName(FileCall call);

struct Fault {
    FileCall call;
    int nth;                      // the first call that fails, counted from 1
    bool fromThenOn = false;      // every later call of the kind fails too
    platform::ErrorCode error = 5;  // what the system would answer (EIO / ERROR_ACCESS_DENIED)
    // Opens only: the fault counts and fails the opens of this file alone.
    std::string onlyFile = {};
    int times = 1;  // calls that fail from the nth on, unless fromThenOn
};

// An open of `file` refused from the nth on, as while another program holds it.
inline Fault HeldFrom(int nth, std::string file = {}) {
    return {FileCall::kOpen, nth, true, platform::kHeldByAnother, std::move(file)};
}
// The first `times` opens of `file` refused, as while another program holds it.
inline Fault HeldFor(int times, std::string file = {}) {
    return {FileCall::kOpen, 1, false, platform::kHeldByAnother, std::move(file), times};
}

std::string Describe(const std::vector<Fault>& faults);

// One at a time; restores the system's calls when it goes.
// A failing write writes the first half of its bytes first, as a disk that
// fills up does; a failing close still lets go of the file, as both systems do.
class FaultInjector {
public:
    explicit FaultInjector(std::vector<Fault> faults);
    ~FaultInjector();
    FaultInjector(const FaultInjector&) = delete;
    FaultInjector& operator=(const FaultInjector&) = delete;

    // How many calls of a kind the board made since the injector came.
    int Count(FileCall call) const;
    bool Fired() const;
    // Stops failing; the counts go on.
    void Heal();
};

}  // namespace testing_host
