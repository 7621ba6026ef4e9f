#include "Porreskusys/ChannelTable.h"

#include "board/Porresku.h"

bool ChannelTable::AnyObject() const {
    for (const Porresku* slot : slots_) {
        if (slot != nullptr) return true;
    }
    return false;
}

void ChannelTable::Put(std::int32_t channel, Porresku* made) {
    Porresku* before = slots_[channel];
    slots_[channel] = made;
    if (before != nullptr) LetGo(before);
}

bool ChannelTable::Release(std::int32_t channel) {
    Porresku* object = Find(channel);
    if (object == nullptr) return false;
    slots_[channel] = nullptr;
    LetGo(object);
    return true;
}

void ChannelTable::ReleaseAll() {
    for (std::int32_t channel = 0; channel < quarn::kChannelCount; ++channel) Release(channel);
}

ChannelTable::Running* ChannelTable::FindRunning(const Porresku* object) {
    for (int index = 0; index < runningCount_; ++index) {
        if (running_[index].object == object) return &running_[index];
    }
    return nullptr;
}

void ChannelTable::LetGo(Porresku* object) {
    if (Running* running = FindRunning(object)) {
        running->released = true;
    } else {
        delete object;
    }
}

ChannelTable::RunningStep::RunningStep(ChannelTable& table, Porresku* object) : table_(table), object_(object) {
    if (Running* running = table_.FindRunning(object_)) {
        ++running->steps;
    } else if (table_.runningCount_ < kMostRunning) {
        table_.running_[table_.runningCount_++] = {object_, 1, false};
    } else {
        object_ = nullptr;  // cannot happen: no host nests steps that deep
    }
}

ChannelTable::RunningStep::~RunningStep() {
    Running* running = object_ != nullptr ? table_.FindRunning(object_) : nullptr;
    if (running == nullptr || --running->steps > 0) return;
    const bool released = running->released;
    *running = table_.running_[--table_.runningCount_];
    if (released) delete object_;
}
