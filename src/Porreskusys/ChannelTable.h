// The channel objects, one per channel, owned here from the host's Create to
// its Free.
//
// The host may call Free, or Create again, for a channel whose step is still
// running: a host whose input call pumps its window messages does so when the
// sysop kicks the caller. The step keeps using its object, so an object whose
// step runs is let go only when that step returns; the table itself answers
// at once, as the host expects after its call.
#pragma once

#include <cstdint>

#include "QuarnAPI/QuarnAPI.h"

class Porresku;

class ChannelTable {
public:
    static bool IsChannel(std::int32_t channel) { return channel >= 0 && channel < quarn::kChannelCount; }

    // The channel's object; nullptr for an empty slot or a channel outside the table.
    Porresku* Find(std::int32_t channel) const { return IsChannel(channel) ? slots_[channel] : nullptr; }
    // True while any channel has an object.
    bool AnyObject() const;

    // The channel's slot takes `made`; the object it held is let go.
    void Put(std::int32_t channel, Porresku* made);
    // Empties the channel's slot and lets its object go; false when it was empty.
    bool Release(std::int32_t channel);
    // Lets go of every object (the unload: no step runs then).
    void ReleaseAll();

    // Keeps an object alive while one of its steps runs.
    class RunningStep {
    public:
        RunningStep(ChannelTable& table, Porresku* object);
        ~RunningStep();
        RunningStep(const RunningStep&) = delete;
        RunningStep& operator=(const RunningStep&) = delete;

    private:
        ChannelTable& table_;
        Porresku* object_;
    };

private:
    struct Running {
        Porresku* object;
        int steps;      // running on it now, nested through host services
        bool released;  // freed or replaced meanwhile: deleted when its last step returns
    };
    // One object a channel, plus one for each object let go while its step
    // runs and a step of its successor runs inside that step.
    static constexpr int kMostRunning = 2 * quarn::kChannelCount;

    Running* FindRunning(const Porresku* object);
    // Deletes the object now, or marks it to go when its running step returns.
    void LetGo(Porresku* object);

    Porresku* slots_[quarn::kChannelCount] = {};
    Running running_[kMostRunning] = {};
    int runningCount_ = 0;
};
