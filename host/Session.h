// A terminal session with the board: reads commands (and the callers'
// replies) from standard input, runs the plug-in's steps on up to 100
// channels, and serves the seven host services the board uses.
//
// One thread. A step of one channel may run a command for another channel
// while it waits inside a service call: a reply line "!command" typed at a
// board prompt, or a hook armed with "during". Commands for a channel whose
// own step is waiting are refused.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "HostSystem.h"
#include "MemberFile.h"
#include "Plugin.h"
#include "QuarnAPI/QuarnAPI.h"

class Session {
public:
    struct Settings {
        bool raw = false;     // board bytes to and from the terminal untouched
        bool script = false;  // input is no terminal: echo what is read
    };

    Session(Plugin& plugin, MemberFile& members, Settings settings);
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // Reads and runs commands until `quit` or the end of input, then logs off
    // whoever is still on. Returns the exit status: 1 when a command failed in
    // script mode, else 0.
    int Run();

    // The host services, once their context value has named the channel.
    std::uint32_t IsStopping(int channel);
    void SetActivity(int channel, const char* text);
    void SendText(int channel, const char* text);
    const char* InputLine(int channel, const char* prompt);
    void GetChannelUser(quarn::ChannelUserRecord* buffer, int channel);
    std::int32_t FindMember(const char* userId);
    void GetMember(quarn::MemberRecord* buffer, std::int32_t member);

private:
    enum HookKind { kOnSend, kOnInput };
    struct Hook {
        int countdown;        // calls of that kind until it runs
        std::string command;  // as typed
    };
    struct Channel {
        int member = -1;  // index in the member file while someone is logged on
        host_system::LocalStamp logon{};
        bool inStep = false;
        std::string lastReply;  // CP932; the board reads it after InputLine returns
        std::vector<Hook> hooks[2];
    };

    quarn::HostCreationRecord CreationRecord(int channel) const;

    bool ReadInput(const std::string& prompt, std::string& line, bool command);
    void RunCommandLine(const std::string& line);
    void RunNested(const std::string& line);
    void Report(std::string message);
    void Execute(const std::string& line);
    void RunHooks(int channel, HookKind kind);

    void Logon(int channel, const std::string& id);
    void Menu(int channel);
    void Logoff(int channel);
    void Arm(const std::vector<std::string>& words, const std::string& line);
    void Who();
    void Help();

    int ChannelArgument(const std::vector<std::string>& words, std::size_t at) const;
    Channel& Online(int channel);
    std::string ToTerminal(std::string_view cp932) const;
    std::string ToBoard(std::string_view typed) const;
    void Say(const std::string& text);

    Plugin& plugin_;
    MemberFile& members_;
    Settings settings_;
    Channel channels_[quarn::kChannelCount];
    int current_ = 1;
    int depth_ = 0;             // commands running inside a service call
    int inputLine_ = 0;         // lines read from standard input
    bool stopping_ = false;     // what IsStopping answers
    bool quitting_ = false;
    bool failed_ = false;
};
