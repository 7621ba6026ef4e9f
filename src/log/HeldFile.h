// Opening a file that another program may hold for a moment. Virus scanners,
// backup tools, the search indexer and a sysop's viewer open files briefly
// all the time; an open refused for that reason is tried again after short,
// growing waits before the step gives up on the file.
#pragma once

#include <algorithm>

#include "platform/Platform.h"

namespace messagelog {

// How long one open may keep trying. The waits double from the first one,
// none longer than the longest, until they add up to the total.
struct Patience {
    unsigned firstWaitMs;
    unsigned longestWaitMs;
    unsigned totalMs;
};

// A caller-facing step: the host's other channels wait with it, so about a
// tenth of a second in all (waits of 2, 4, 8, 16, 32 and 38 ms).
inline constexpr Patience kStepPatience{2, 50, 100};
// The unload: the last chance for waiting postings to reach the log.
inline constexpr Patience kUnloadPatience{10, 250, 3000};

// Calls `tryOpen(&handle)` until it succeeds, fails for another reason than a
// holder, or patience runs out; the waits go through the platform layer.
// Returns the last answer; the handle is valid only on 0.
template <typename TryOpen>
platform::ErrorCode OpenPatiently(const Patience& patience, platform::FileHandle* handle, TryOpen tryOpen) {
    unsigned waited = 0;
    unsigned nextWait = patience.firstWaitMs;
    for (;;) {
        const platform::ErrorCode error = tryOpen(handle);
        if (error == 0 || !platform::IsHeldByAnother(error) || waited >= patience.totalMs) return error;
        const unsigned wait = std::max(1u, std::min({nextWait, patience.longestWaitMs, patience.totalMs - waited}));
        platform::Active().sleep(wait);
        waited = std::min(patience.totalMs, waited + wait);
        nextWait *= 2;
    }
}

// Opens `name` in `mode`, patiently.
inline platform::ErrorCode OpenPatiently(const char* name, platform::OpenMode mode, const Patience& patience,
                                         platform::FileHandle* handle) {
    return OpenPatiently(patience, handle,
                         [&](platform::FileHandle* file) { return platform::Active().open(name, mode, file); });
}

}  // namespace messagelog
