#include "Session.h"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "HostError.h"

namespace {

Session* active = nullptr;

// ---- context values and the service functions -------------------------------
// Each entry of each channel's table carries its own context value: a tag,
// the channel and the entry number. A service therefore learns its channel
// from the context alone and notices a board that mixes contexts up.

constexpr std::uint32_t kContextTag = 0x51480000u;

std::uint32_t ContextFor(int channel, int entry) {
    return kContextTag | (static_cast<std::uint32_t>(channel) << 8) | static_cast<std::uint32_t>(entry);
}

[[noreturn]] void BoardFault(const std::string& what) {
    host_system::WriteError("board fault: " + what + "\n");
    std::_Exit(3);
}

int ChannelOf(std::uint32_t context, int entry) {
    const int channel = static_cast<int>((context >> 8) & 0xFFu);
    if ((context & 0xFFFF0000u) != kContextTag || static_cast<int>(context & 0xFFu) != entry ||
        channel >= quarn::kChannelCount) {
        char text[96];
        std::snprintf(text, sizeof text, "service %d got the context value 0x%08X", entry,
                      static_cast<unsigned>(context));
        BoardFault(text);
    }
    return channel;
}

std::uint32_t QUARN_CALL IsStoppingService(std::uint32_t context) {
    return active->IsStopping(ChannelOf(context, quarn::kIsStopping));
}

void QUARN_CALL SetActivityService(std::uint32_t context, const char* text) {
    active->SetActivity(ChannelOf(context, quarn::kSetActivity), text);
}

void QUARN_CALL SendTextService(std::uint32_t context, const char* text) {
    active->SendText(ChannelOf(context, quarn::kSendText), text);
}

const char* QUARN_CALL InputLineService(std::uint32_t context, const char* prompt) {
    return active->InputLine(ChannelOf(context, quarn::kInputLine), prompt);
}

void QUARN_CALL GetChannelUserService(quarn::ChannelUserRecord* buffer, std::uint32_t context, std::int32_t channel) {
    ChannelOf(context, quarn::kGetChannelUser);
    active->GetChannelUser(buffer, channel);
}

std::int32_t QUARN_CALL FindMemberService(std::uint32_t context, const char* userId) {
    ChannelOf(context, quarn::kFindMember);
    return active->FindMember(userId);
}

void QUARN_CALL GetMemberService(quarn::MemberRecord* buffer, std::uint32_t context, std::int32_t member) {
    ChannelOf(context, quarn::kGetMember);
    active->GetMember(buffer, member);
}

// The entries this host does not serve. Their parameters are unknown, so a
// call ends the program before the callee's stack clean-up could matter.
template <int Entry>
void QUARN_CALL UnservedEntry() {
    BoardFault("the board called service " + std::to_string(Entry) + ", which this host does not serve");
}

template <typename Fn>
std::uint32_t Address(Fn function) {
    return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(function));
}

template <int... Entry>
std::array<std::uint32_t, sizeof...(Entry)> UnservedTable(std::integer_sequence<int, Entry...>) {
    return {Address(&UnservedEntry<Entry>)...};
}

std::vector<std::string> Words(const std::string& line) {
    std::vector<std::string> words;
    std::size_t at = 0;
    while (at < line.size()) {
        while (at < line.size() && (line[at] == ' ' || line[at] == '\t')) ++at;
        std::size_t end = at;
        while (end < line.size() && line[end] != ' ' && line[end] != '\t') ++end;
        if (end > at) words.push_back(line.substr(at, end - at));
        at = end;
    }
    return words;
}

// What follows the first `count` words of `line`.
std::string AfterWords(const std::string& line, std::size_t count) {
    std::size_t at = 0;
    for (std::size_t i = 0; i < count; ++i) {
        while (at < line.size() && (line[at] == ' ' || line[at] == '\t')) ++at;
        while (at < line.size() && line[at] != ' ' && line[at] != '\t') ++at;
    }
    while (at < line.size() && (line[at] == ' ' || line[at] == '\t')) ++at;
    return line.substr(at);
}

bool ReadNumber(const std::string& word, int& value) {
    if (word.empty() || word.size() > 6) return false;
    value = 0;
    for (char c : word) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + (c - '0');
    }
    return true;
}

constexpr int kMaxDepth = 8;

// Keeps a channel marked as inside a step while its export runs.
class StepMark {
public:
    explicit StepMark(bool& flag) : flag_(flag) { flag_ = true; }
    ~StepMark() { flag_ = false; }
    StepMark(const StepMark&) = delete;
    StepMark& operator=(const StepMark&) = delete;

private:
    bool& flag_;
};

}  // namespace

Session::Session(Plugin& plugin, MemberFile& members, Settings settings)
    : plugin_(plugin), members_(members), settings_(settings) {
    active = this;
}

Session::~Session() {
    if (active == this) active = nullptr;
}

quarn::HostCreationRecord Session::CreationRecord(int channel) const {
    static const auto unserved = UnservedTable(std::make_integer_sequence<int, quarn::kServiceCount>());
    quarn::HostCreationRecord record;
    std::memset(&record, 0, sizeof record);
    for (int entry = 0; entry < quarn::kServiceCount; ++entry) {
        record.services.entry[entry] = {unserved[static_cast<std::size_t>(entry)], ContextFor(channel, entry)};
    }
    auto serve = [&](int entry, std::uint32_t code) { record.services.entry[entry].code = code; };
    serve(quarn::kIsStopping, Address(&IsStoppingService));
    serve(quarn::kSetActivity, Address(&SetActivityService));
    serve(quarn::kSendText, Address(&SendTextService));
    serve(quarn::kInputLine, Address(&InputLineService));
    serve(quarn::kGetChannelUser, Address(&GetChannelUserService));
    serve(quarn::kFindMember, Address(&FindMemberService));
    serve(quarn::kGetMember, Address(&GetMemberService));
    return record;
}

// ---- text --------------------------------------------------------------------

std::string Session::ToTerminal(std::string_view cp932) const {
    return settings_.raw ? std::string(cp932) : host_system::Cp932ToUtf8(cp932);
}

std::string Session::ToBoard(std::string_view typed) const {
    if (settings_.raw) return std::string(typed);
    std::string out;
    host_system::Utf8ToCp932(typed, out);  // what CP932 lacks reaches the board as '?'
    return out;
}

void Session::Say(const std::string& text) { host_system::WriteOut("* " + text + "\n"); }

// ---- the command loop ----------------------------------------------------------

int Session::Run() {
    while (!quitting_) {
        std::string line;
        if (!ReadInput("quarn[" + std::to_string(current_) + "]> ", line, true)) break;
        RunCommandLine(line);
    }
    stopping_ = true;
    for (int channel = 0; channel < quarn::kChannelCount; ++channel) {
        if (channels_[channel].member < 0) continue;
        Say("channel " + std::to_string(channel) + ": the session ends; logging off " +
            members_.at(channels_[channel].member).id);
        try {
            Logoff(channel);
        } catch (const HostError& error) {
            host_system::WriteError(std::string(error.what()) + "\n");
            failed_ = true;
        }
    }
    return failed_ ? 1 : 0;
}

// In script mode nothing echoes what is read, so the line is shown after its
// prompt, as a terminal would have shown it (a script's blank lines and
// comments between commands excepted).
bool Session::ReadInput(const std::string& prompt, std::string& line, bool command) {
    if (!settings_.script) host_system::WriteOut(prompt);
    if (!host_system::ReadLine(line)) {
        if (!settings_.script) host_system::WriteOut("\n");
        if (!stopping_) Say("end of input");
        stopping_ = true;
        quitting_ = true;
        line.clear();
        return false;
    }
    ++inputLine_;
    const bool quiet = command && (Words(line).empty() || Words(line).front().front() == '#');
    if (settings_.script && !quiet) host_system::WriteOut(prompt + line + "\n");
    return true;
}

void Session::RunCommandLine(const std::string& line) {
    try {
        Execute(line);
    } catch (const HostError& error) {
        Report(error.what());
    }
}

// A command run inside a service call, while another channel's step waits.
void Session::RunNested(const std::string& line) {
    if (depth_ >= kMaxDepth) {
        Report("commands nest too deep: " + line);
        return;
    }
    ++depth_;
    RunCommandLine(line);
    --depth_;
}

void Session::Report(std::string message) {
    if (settings_.script) message += " (input line " + std::to_string(inputLine_) + ")";
    host_system::WriteError(message + "\n");
    if (settings_.script) {
        // A replayed session that went wrong stops rather than drifts.
        failed_ = true;
        stopping_ = true;
        quitting_ = true;
    }
}

void Session::Execute(const std::string& line) {
    const std::vector<std::string> words = Words(line);
    if (words.empty() || words[0].front() == '#') return;
    const std::string& command = words[0];
    auto expect = [&](std::size_t least, std::size_t most, const char* usage) {
        if (words.size() < least || words.size() > most) throw HostError(std::string("usage: ") + usage);
    };

    if (command == "logon") {
        expect(3, 3, "logon <channel> <member ID>");
        Logon(ChannelArgument(words, 1), words[2]);
    } else if (command == "menu") {
        expect(1, 2, "menu [<channel>]");
        Menu(ChannelArgument(words, 1));
    } else if (command == "logoff") {
        expect(1, 2, "logoff [<channel>]");
        Logoff(ChannelArgument(words, 1));
    } else if (command == "channel") {
        expect(2, 2, "channel <channel>");
        current_ = ChannelArgument(words, 1);
    } else if (command == "during") {
        Arm(words, line);
    } else if (command == "who") {
        expect(1, 1, "who");
        Who();
    } else if (command == "help") {
        Help();
    } else if (command == "quit") {
        expect(1, 1, "quit");
        stopping_ = true;
        quitting_ = true;
    } else {
        throw HostError("unknown command '" + command + "' (type help)");
    }
}

void Session::Help() {
    Say("logon <ch> <id> | menu [ch] | logoff [ch] | channel <ch> | who | help | quit");
    Say("during <ch> send|input [<n>] <command>: run <command> inside channel <ch>'s n-th next SendText/InputLine");
    Say("at a board prompt: !<command> runs a command first, !!text answers !text");
}

int Session::ChannelArgument(const std::vector<std::string>& words, std::size_t at) const {
    if (at >= words.size()) return current_;
    int channel = 0;
    if (!ReadNumber(words[at], channel) || channel >= quarn::kChannelCount) {
        throw HostError("no channel '" + words[at] + "': channels are 0 to 99");
    }
    return channel;
}

Session::Channel& Session::Online(int channel) {
    Channel& state = channels_[channel];
    if (state.member < 0) throw HostError("channel " + std::to_string(channel) + ": nobody is logged on");
    if (state.inStep) {
        throw HostError("channel " + std::to_string(channel) + ": its board step is still waiting for an answer");
    }
    return state;
}

// ---- the commands --------------------------------------------------------------

void Session::Logon(int channel, const std::string& id) {
    Channel& state = channels_[channel];
    if (state.member >= 0) {
        throw HostError("channel " + std::to_string(channel) + ": " + members_.at(state.member).id +
                        " is logged on there");
    }
    const int member = members_.Find(id);
    if (member < 0) throw HostError(members_.shownName() + ": no member with the ID '" + id + "'");
    for (int other = 0; other < quarn::kChannelCount; ++other) {
        if (channels_[other].member == member) {
            throw HostError(id + " is logged on on channel " + std::to_string(other));
        }
    }
    const Member& who = members_.at(member);
    state.member = member;
    state.logon = host_system::Now();
    current_ = channel;
    Say("channel " + std::to_string(channel) + ": " + who.handle + " (" + who.id + ", level " +
        std::to_string(who.level) + ") logs on; previous login " + (who.never ? "never" : FormatDateTime(who.lastLogin)));
    const StepMark mark(state.inStep);
    plugin_.exports().Create(channel, CreationRecord(channel));
}

void Session::Menu(int channel) {
    Channel& state = Online(channel);
    const StepMark mark(state.inStep);
    plugin_.exports().Call(channel);
}

void Session::Logoff(int channel) {
    Channel& state = Online(channel);
    {
        const StepMark mark(state.inStep);
        plugin_.exports().OnGoodbye(channel);
        plugin_.exports().Free(channel);
    }
    const int member = state.member;
    state.member = -1;
    for (auto& hooks : state.hooks) {
        for (const Hook& hook : hooks) Say("channel " + std::to_string(channel) + ": never ran: " + hook.command);
        hooks.clear();
    }
    Say("channel " + std::to_string(channel) + ": " + members_.at(member).id + " logs off; last login stored: " +
        FormatStamp(state.logon));
    members_.StoreLastLogin(member, state.logon);
}

void Session::Arm(const std::vector<std::string>& words, const std::string& line) {
    constexpr const char* kUsage = "usage: during <channel> send|input [<n>] <command>";
    if (words.size() < 4) throw HostError(kUsage);
    const int channel = ChannelArgument(words, 1);
    HookKind kind;
    if (words[2] == "send") {
        kind = kOnSend;
    } else if (words[2] == "input") {
        kind = kOnInput;
    } else {
        throw HostError(kUsage);
    }
    int count = 1;
    std::size_t commandAt = 3;
    if (ReadNumber(words[3], count)) {
        if (count < 1 || words.size() < 5) throw HostError(kUsage);
        commandAt = 4;
    }
    channels_[channel].hooks[kind].push_back({count, AfterWords(line, commandAt)});
}

void Session::Who() {
    bool anyone = false;
    for (int channel = 0; channel < quarn::kChannelCount; ++channel) {
        const Channel& state = channels_[channel];
        if (state.member < 0) continue;
        anyone = true;
        const Member& who = members_.at(state.member);
        Say("channel " + std::to_string(channel) + ": " + who.handle + " (" + who.id + ", level " +
            std::to_string(who.level) + ")" + (state.inStep ? ", waiting inside a board step" : ""));
    }
    if (!anyone) Say("nobody is logged on");
}

// Counts this call against every hook of its kind; those that reach zero run
// now, in the order they were armed.
void Session::RunHooks(int channel, HookKind kind) {
    std::vector<Hook>& hooks = channels_[channel].hooks[kind];
    if (hooks.empty() || stopping_) return;
    std::vector<std::string> due;
    for (auto it = hooks.begin(); it != hooks.end();) {
        if (--it->countdown == 0) {
            due.push_back(it->command);
            it = hooks.erase(it);
        } else {
            ++it;
        }
    }
    for (const std::string& command : due) {
        if (stopping_) break;
        Say("during channel " + std::to_string(channel) + (kind == kOnSend ? " send: " : " input: ") + command);
        RunNested(command);
    }
}

// ---- the services ----------------------------------------------------------------

// Only the low byte of the answer counts; the bytes above it are noise, as
// they may be with the real host.
std::uint32_t Session::IsStopping(int) { return 0x5A5A5A00u | (stopping_ ? 1u : 0u); }

void Session::SetActivity(int channel, const char* text) {
    host_system::WriteOut("[" + std::to_string(channel) + "] [activity: " + ToTerminal(text ? text : "") + "]\n");
}

void Session::SendText(int channel, const char* text) {
    const std::string shown = ToTerminal(text ? text : "");
    host_system::WriteOut("[" + std::to_string(channel) + "]" + (shown.empty() ? "" : " " + shown) + "\n");
    RunHooks(channel, kOnSend);
}

const char* Session::InputLine(int channel, const char* prompt) {
    RunHooks(channel, kOnInput);
    Channel& state = channels_[channel];
    const std::string shown = "[" + std::to_string(channel) + "] " + ToTerminal(prompt ? prompt : "");
    std::string reply;
    bool answered = false;
    bool prompted = false;  // the terminal shows the prompt when one is read
    while (!stopping_) {
        prompted = true;
        if (!ReadInput(shown, reply, false)) break;
        if (reply.rfind("!!", 0) == 0) {
            reply.erase(0, 1);
        } else if (!reply.empty() && reply[0] == '!') {
            RunNested(reply.substr(1));
            reply.clear();
            continue;
        }
        answered = true;
        break;
    }
    // A stopping session answers "" at once; the transcript still shows the question.
    if (!answered && (settings_.script || !prompted)) host_system::WriteOut(shown + "\n");
    state.lastReply = ToBoard(reply);
    return state.lastReply.c_str();
}

void Session::GetChannelUser(quarn::ChannelUserRecord* buffer, int channel) {
    quarn::ChannelUserRecord record{};
    if (channel >= 0 && channel < quarn::kChannelCount && channels_[channel].member >= 0) {
        const Member& who = members_.at(channels_[channel].member);
        record.userId.assign(who.id);
        record.handleName.assign(who.handleCp932);
        record.level = who.level;
    }
    std::memcpy(buffer, &record, sizeof record);
}

// Member numbers count from 1 in file order; 0 is no member.
std::int32_t Session::FindMember(const char* userId) {
    const std::string_view id(userId ? userId : "", userId ? ::strnlen(userId, 255) : 0);
    return members_.Find(id) + 1;
}

void Session::GetMember(quarn::MemberRecord* buffer, std::int32_t member) {
    quarn::MemberRecord record{};
    if (member >= 1 && member <= members_.size()) record.lastLogin = members_.at(member - 1).lastLogin;
    std::memcpy(buffer, &record, sizeof record);
}
