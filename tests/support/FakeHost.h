// A host for tests: real QUARN_CALL service functions behind a real 800-byte
// creation record, scripted per channel, recording everything the board does
// to its callers.
//
// Every entry of every channel gets its own context value, so a service can
// tell whether the board passed it the context that belongs to it.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "QuarnAPI/QuarnAPI.h"

namespace testing_host {

struct FakeChannel {
    // What the host answers.
    quarn::ChannelUserRecord user{};
    quarn::MemberRecord member{};
    std::int32_t memberNumber = 4711;
    std::deque<std::string> replies;          // InputLine answers, in order; "" once used up
    std::deque<std::uint32_t> stopAnswers;    // IsStopping answers, in order; then stopAfterwards
    std::uint32_t stopAfterwards = 0;

    // What the board did, in order.
    std::vector<std::string> sent;        // SendText lines
    std::vector<std::string> prompts;     // InputLine prompts
    std::vector<std::string> activities;  // SetActivity labels
    std::vector<std::string> foundIds;    // FindMember user IDs
    std::vector<std::int32_t> askedMembers;
    std::vector<std::int32_t> userQueries;  // GetChannelUser channel numbers
    int stopQueries = 0;
    std::vector<std::string> wrongContexts;  // services that got another entry's context

    // Hooks that run inside a service call, as a host that schedules other
    // channels meanwhile would. Each gets the number of the call (from 1).
    std::function<void(int)> duringSend;
    std::function<void(int)> duringInput;
    std::function<void(int)> duringStopQuery;

    int sends = 0;
    int inputs = 0;
    std::string lastReply;  // kept alive until the next InputLine, as a host would

    void SetUser(std::string_view id, std::string_view handle, std::int32_t level) {
        user.userId.assign(id);
        user.handleName.assign(handle);
        user.level = level;
    }
};

class FakeHost {
public:
    FakeHost();
    ~FakeHost();
    FakeHost(const FakeHost&) = delete;
    FakeHost& operator=(const FakeHost&) = delete;

    // The creation record for `channel`; its table points at this host's services.
    quarn::HostCreationRecord CreationRecord(std::int32_t channel);

    FakeChannel& Channel(std::int32_t channel) { return channels_[channel]; }

    // The host running the services now (one at a time).
    static FakeHost* current;

    // Context value that `entry` of `channel` carries.
    static std::uint32_t ContextFor(std::int32_t channel, int entry);

private:
    std::map<std::int32_t, FakeChannel> channels_;
};

// All lines sent, joined by '\n', for readable failure output.
std::string Joined(const std::vector<std::string>& lines);

}  // namespace testing_host
