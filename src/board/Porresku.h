// The channel object: one per channel between the host's Create and Free.
// It remembers its channel, who was logged in there when it was made, and
// its own copy of the host's service table, and it is the board's only way
// to reach the host.
#pragma once

#include <cstdint>
#include <string_view>

#include "QuarnAPI/QuarnAPI.h"
#include "common/BoundedText.h"

// What a caller types is kept to 80 bytes.
using ReplyText = BoundedText<80>;

class Porresku {
public:
    // Copies the service table, stores the channel, then asks the host once
    // (through the copy) who is logged in on it.
    Porresku(std::int32_t channel, const quarn::HostCreationRecord& creation);

    // One line to the caller: at most 254 bytes reach the host.
    void SendLine(std::string_view text) const;
    // The caller's reply to `prompt`, cut to 80 bytes.
    ReplyText AskLine(std::string_view prompt) const;

    bool IsStopping() const;
    void SetActivity(std::string_view label) const;
    // The member record the host keeps for `userId`.
    quarn::MemberRecord LookUpMember(std::string_view userId) const;

    // What `Call` runs: the listing since a date.
    void MenuCall() const;
    // What `OnGoodbye` runs: the recent messages, then the posting for level 3 and up.
    void Goodbye() const;

    std::int32_t channel() const { return channel_; }
    const quarn::ChannelUserRecord& user() const { return user_; }

private:
    template <typename Fn>
    Fn Service(quarn::ServiceIndex index) const {
        return reinterpret_cast<Fn>(static_cast<std::uintptr_t>(services_.entry[index].code));
    }
    std::uint32_t Context(quarn::ServiceIndex index) const { return services_.entry[index].context; }

    std::int32_t channel_;
    quarn::ChannelUserRecord user_;  // taken once at construction, never refreshed
    quarn::ServiceTable services_;
};

// The label the host shows while a caller is on the board.
inline constexpr std::string_view kActivityLabel = "PORRESKU";
