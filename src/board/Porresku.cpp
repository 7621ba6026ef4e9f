#include "board/Porresku.h"

#include <cstdint>
#include <cstring>

#include "board/BoardSteps.h"

namespace {

// The host takes at most 254 bytes of a line: 255 are taken and the last of
// them dropped.
constexpr std::size_t kLineRoom = 254;

// A zero-terminated copy of at most kLineRoom bytes that lives until the host
// call it is made for returns. Copied a word at a time: a listing sends
// lines as they lie in its read buffer, mostly placed otherwise against the
// word than this room, where a string move (memcpy of a short text) is slow.
struct HostLine {
    explicit HostLine(std::string_view text) {
        const std::size_t kept = text.size() < kLineRoom ? text.size() : kLineRoom;
        std::size_t at = 0;
        for (; at + 4 <= kept; at += 4) {
            std::uint32_t word;
            std::memcpy(&word, text.data() + at, 4);
            std::memcpy(bytes + at, &word, 4);
        }
        if (kept - at >= 2) {
            std::memcpy(bytes + at, text.data() + at, 2);
            at += 2;
        }
        if (at < kept) bytes[at] = text.data()[at];
        bytes[kept] = '\0';
    }
    char bytes[kLineRoom + 1];
};

}  // namespace

Porresku::Porresku(std::int32_t channel, const quarn::HostCreationRecord& creation)
    : services_(creation.services) {
    channel_ = channel;
    quarn::ChannelUserRecord record{};
    Service<quarn::GetChannelUserFn>(quarn::kGetChannelUser)(&record, Context(quarn::kGetChannelUser), channel_);
    user_ = record;
}

void Porresku::SendLine(std::string_view text) const {
    const HostLine line(text);
    Service<quarn::TextFn>(quarn::kSendText)(Context(quarn::kSendText), line.bytes);
}

ReplyText Porresku::AskLine(std::string_view prompt) const {
    const HostLine line(prompt);
    const char* typed = Service<quarn::InputLineFn>(quarn::kInputLine)(Context(quarn::kInputLine), line.bytes);
    ReplyText reply;
    if (typed != nullptr) reply.assign(std::string_view(typed, ::strnlen(typed, ReplyText::kRoom)));
    return reply;
}

bool Porresku::IsStopping() const {
    return quarn::HostTrue(Service<quarn::IsStoppingFn>(quarn::kIsStopping)(Context(quarn::kIsStopping)));
}

void Porresku::SetActivity(std::string_view label) const {
    const HostLine line(label);
    Service<quarn::TextFn>(quarn::kSetActivity)(Context(quarn::kSetActivity), line.bytes);
}

quarn::MemberRecord Porresku::LookUpMember(std::string_view userId) const {
    const HostLine id(userId);
    const std::int32_t member = Service<quarn::FindMemberFn>(quarn::kFindMember)(Context(quarn::kFindMember), id.bytes);
    quarn::MemberRecord record{};
    Service<quarn::GetMemberFn>(quarn::kGetMember)(&record, Context(quarn::kGetMember), member);
    return record;
}

void Porresku::MenuCall() const {
    SetActivity(kActivityLabel);
    board::ListSince(*this);
}

void Porresku::Goodbye() const {
    SetActivity(kActivityLabel);
    board::ShowRecent(*this);
    if (user_.level > 2) board::PostMessage(*this);
}
