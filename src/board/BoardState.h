// The board's state, shared by every channel for as long as the library is
// loaded: the recent history, the busy flag and the postings waiting for the
// log.
#pragma once

#include <vector>

#include "log/LogAppender.h"
#include "log/LogFormat.h"

namespace board {

using messagelog::MessageLine;
using messagelog::PendingPosting;

// The last ten message lines, entry 0 the newest. A ring, so a push costs
// one copy of the new line however long the log that is being replayed.
class RecentHistory {
public:
    static constexpr int kEntries = 10;

    // Entry 0 takes the line (cut to 80 bytes); the oldest entry is lost.
    void Push(std::string_view line) {
        newest_ = (newest_ + kEntries - 1) % kEntries;
        entries_[newest_].assign(line);
    }
    const MessageLine& Entry(int index) const { return entries_[(newest_ + index) % kEntries]; }
    void Clear() {
        for (MessageLine& entry : entries_) entry.clear();
        newest_ = 0;
    }

private:
    MessageLine entries_[kEntries];
    int newest_ = 0;
};

// Everything the channels share.
struct BoardState {
    RecentHistory history;
    // Set while a step reads or appends the log. A plain flag: the host runs
    // one export at a time, and other channels come in only while a step
    // waits inside a host service, so testing and setting it with no host
    // call between is enough.
    bool busy = false;
    // Postings that could not reach the log yet, oldest first.
    std::vector<PendingPosting> queued;
};

BoardState& Board();

// Sets the busy flag for one step and clears it when the step ends, however
// it ends. A step takes the flag only after finding it clear, so the flag it
// clears is its own.
class BusyHold {
public:
    BusyHold() { Board().busy = true; }
    ~BusyHold() { Board().busy = false; }
    BusyHold(const BusyHold&) = delete;
    BusyHold& operator=(const BusyHold&) = delete;
};

}  // namespace board
