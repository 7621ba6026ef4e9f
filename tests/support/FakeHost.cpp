#include "support/FakeHost.h"

#include <cstring>

namespace testing_host {

FakeHost* FakeHost::current = nullptr;

namespace {

// Context values: a tag the board cannot invent, the channel and the entry.
constexpr std::uint32_t kContextTag = 0x5A000000u;

std::int32_t ChannelOf(std::uint32_t context) { return static_cast<std::int32_t>((context >> 8) & 0xFFFFu); }
int EntryOf(std::uint32_t context) { return static_cast<int>(context & 0xFFu); }

FakeChannel& Serve(std::uint32_t context, int entry, const char* service) {
    FakeChannel& channel = FakeHost::current->Channel(ChannelOf(context));
    if ((context & 0xFF000000u) != kContextTag || EntryOf(context) != entry) {
        channel.wrongContexts.push_back(service);
    }
    return channel;
}

std::uint32_t QUARN_CALL IsStopping(std::uint32_t context) {
    FakeChannel& channel = Serve(context, quarn::kIsStopping, "IsStopping");
    ++channel.stopQueries;
    if (channel.duringStopQuery) channel.duringStopQuery(channel.stopQueries);
    if (channel.stopAnswers.empty()) return channel.stopAfterwards;
    const std::uint32_t answer = channel.stopAnswers.front();
    channel.stopAnswers.pop_front();
    return answer;
}

void QUARN_CALL SetActivity(std::uint32_t context, const char* text) {
    Serve(context, quarn::kSetActivity, "SetActivity").activities.emplace_back(text);
}

void QUARN_CALL SendText(std::uint32_t context, const char* text) {
    FakeChannel& channel = Serve(context, quarn::kSendText, "SendText");
    channel.sent.emplace_back(text);
    ++channel.sends;
    if (channel.duringSend) channel.duringSend(channel.sends);
}

const char* QUARN_CALL InputLine(std::uint32_t context, const char* prompt) {
    FakeChannel& channel = Serve(context, quarn::kInputLine, "InputLine");
    channel.prompts.emplace_back(prompt);
    ++channel.inputs;
    if (channel.duringInput) channel.duringInput(channel.inputs);
    channel.lastReply.clear();
    if (!channel.replies.empty()) {
        channel.lastReply = channel.replies.front();
        channel.replies.pop_front();
    }
    return channel.lastReply.c_str();
}

void QUARN_CALL GetChannelUser(quarn::ChannelUserRecord* buffer, std::uint32_t context, std::int32_t number) {
    FakeChannel& channel = Serve(context, quarn::kGetChannelUser, "GetChannelUser");
    channel.userQueries.push_back(number);
    if (number != ChannelOf(context)) channel.wrongContexts.push_back("GetChannelUser channel");
    std::memcpy(buffer, &channel.user, sizeof channel.user);
}

std::int32_t QUARN_CALL FindMember(std::uint32_t context, const char* userId) {
    FakeChannel& channel = Serve(context, quarn::kFindMember, "FindMember");
    channel.foundIds.emplace_back(userId);
    return channel.memberNumber;
}

void QUARN_CALL GetMember(quarn::MemberRecord* buffer, std::uint32_t context, std::int32_t member) {
    FakeChannel& channel = Serve(context, quarn::kGetMember, "GetMember");
    channel.askedMembers.push_back(member);
    std::memcpy(buffer, &channel.member, sizeof channel.member);
}

// Entries the board must never call.
void QUARN_CALL NeverCalled() { FakeHost::current->Channel(-1).wrongContexts.push_back("unused entry"); }

template <typename Fn>
std::uint32_t Address(Fn function) {
    return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(function));
}

}  // namespace

FakeHost::FakeHost() { current = this; }

FakeHost::~FakeHost() {
    if (current == this) current = nullptr;
}

std::uint32_t FakeHost::ContextFor(std::int32_t channel, int entry) {
    return kContextTag | (static_cast<std::uint32_t>(channel & 0xFFFF) << 8) | static_cast<std::uint32_t>(entry);
}

quarn::HostCreationRecord FakeHost::CreationRecord(std::int32_t channel) {
    Channel(channel);  // make sure it exists before the board asks for it
    quarn::HostCreationRecord record;
    std::memset(&record, 0xEE, sizeof record);
    for (int entry = 0; entry < quarn::kServiceCount; ++entry) {
        record.services.entry[entry] = {Address(&NeverCalled), ContextFor(channel, entry)};
    }
    auto set = [&](int entry, std::uint32_t code) { record.services.entry[entry].code = code; };
    set(quarn::kIsStopping, Address(&IsStopping));
    set(quarn::kSetActivity, Address(&SetActivity));
    set(quarn::kSendText, Address(&SendText));
    set(quarn::kInputLine, Address(&InputLine));
    set(quarn::kGetChannelUser, Address(&GetChannelUser));
    set(quarn::kFindMember, Address(&FindMember));
    set(quarn::kGetMember, Address(&GetMember));
    return record;
}

std::string Joined(const std::vector<std::string>& lines) {
    std::string all;
    for (const auto& line : lines) all += line + "\n";
    return all;
}

}  // namespace testing_host
