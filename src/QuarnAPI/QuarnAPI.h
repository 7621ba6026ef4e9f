// QuarnAPI: what the QUARN host hands a plug-in, in the host's byte layouts.
//
// Everything here is fixed by the host: entry numbers, parameter orders,
// record sizes and offsets. The plug-in and any host put in QUARN's place
// (the stand-in, the test hosts) share this one header.
//
// All code addresses are 32-bit: this interface exists only for 32-bit x86.
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "common/BoundedText.h"

static_assert(sizeof(void*) == 4, "the host's code addresses are 32-bit: build for i686");

// The calling convention of every export and every host service: arguments
// pushed right to left, removed by the callee.
#define QUARN_CALL __attribute__((stdcall))

namespace quarn {

// Channels the host serves: 0 to 99.
inline constexpr std::int32_t kChannelCount = 100;

// Booleans crossing the boundary are one byte, 1 or 0.
using Bool8 = std::uint8_t;

#pragma pack(push, 1)

// One entry of the host service table: a code address and the context value
// that the host wants back as the first argument of every call to it.
struct ServiceEntry {
    std::uint32_t code;     // 32-bit code address of a QUARN_CALL function
    std::uint32_t context;  // passed back unchanged; meaning is the host's
};
static_assert(sizeof(ServiceEntry) == 8);
static_assert(offsetof(ServiceEntry, code) == 0);
static_assert(offsetof(ServiceEntry, context) == 4);

// Entry numbers of the services the board calls. The other 17 entries are
// carried along and never called.
enum ServiceIndex : int {
    kIsStopping = 1,       // (context) -> low byte: true when the channel is to stop
    kSetActivity = 2,      // (context, text) -> none: the board's label
    kSendText = 3,         // (context, text) -> none: one line to the caller
    kInputLine = 7,        // (context, prompt) -> address of the typed line, read at once
    kGetChannelUser = 13,  // (buffer, context, channel) -> fills a ChannelUserRecord
    kFindMember = 19,      // (context, user ID) -> member number for kGetMember
    kGetMember = 20,       // (buffer, context, member number) -> fills a MemberRecord
};
inline constexpr int kServiceCount = 24;

// The host service table: entry k at offset 8*k.
struct ServiceTable {
    ServiceEntry entry[kServiceCount];
};
static_assert(sizeof(ServiceTable) == 192);
static_assert(offsetof(ServiceTable, entry[kIsStopping]) == 8);
static_assert(offsetof(ServiceTable, entry[kSetActivity]) == 16);
static_assert(offsetof(ServiceTable, entry[kSendText]) == 24);
static_assert(offsetof(ServiceTable, entry[kInputLine]) == 56);
static_assert(offsetof(ServiceTable, entry[kGetChannelUser]) == 104);
static_assert(offsetof(ServiceTable, entry[kFindMember]) == 152);
static_assert(offsetof(ServiceTable, entry[kGetMember]) == 160);

// The record `Create` receives by value: the service table and 608 bytes the
// plug-in never reads.
struct HostCreationRecord {
    ServiceTable services;           // copied into each channel object
    std::uint8_t notRead[608];       // the host's own
};
static_assert(sizeof(HostCreationRecord) == 800);
static_assert(offsetof(HostCreationRecord, services) == 0);
static_assert(offsetof(HostCreationRecord, notRead) == 192);

// Who is logged in on a channel (entry kGetChannelUser).
struct ChannelUserRecord {
    BoundedText<8> userId;       // length byte and up to 8 bytes
    BoundedText<40> handleName;  // length byte and up to 40 bytes, Shift-JIS
    std::int32_t level;          // signed; 3 and above may post
    std::uint8_t notRead[9];     // the host's own
};
static_assert(sizeof(ChannelUserRecord) == 63);
static_assert(offsetof(ChannelUserRecord, userId) == 0);
static_assert(offsetof(ChannelUserRecord, handleName) == 9);
static_assert(offsetof(ChannelUserRecord, level) == 50);
static_assert(offsetof(ChannelUserRecord, notRead) == 54);

// A member's record (entry kGetMember); only the last login is read.
struct MemberRecord {
    std::uint8_t notReadBefore[396];  // the host's own
    double lastLogin;                 // days since 1899-12-30, fraction = time of day
    std::uint8_t notReadAfter[204];   // the host's own
};
static_assert(sizeof(MemberRecord) == 608);
static_assert(offsetof(MemberRecord, lastLogin) == 396);
static_assert(offsetof(MemberRecord, notReadAfter) == 404);

// Filled by the export `InstallInformation`: the menu label and eleven texts
// the board leaves empty.
struct InstallRecord {
    BoundedText<16> label;        // "PORR"
    BoundedText<16> second;       // empty
    BoundedText<16> more[10];     // each empty
};
static_assert(sizeof(InstallRecord) == 204);
static_assert(offsetof(InstallRecord, label) == 0);
static_assert(offsetof(InstallRecord, second) == 17);
static_assert(offsetof(InstallRecord, more[0]) == 34);
static_assert(offsetof(InstallRecord, more[9]) == 34 + 17 * 9);

#pragma pack(pop)

// The host services by their signatures, in the host's parameter order
// (first parameter pushed last). Record-returning entries take the buffer
// in front of the context value.
using IsStoppingFn = std::uint32_t(QUARN_CALL*)(std::uint32_t context);
using TextFn = void(QUARN_CALL*)(std::uint32_t context, const char* text);
using InputLineFn = const char*(QUARN_CALL*)(std::uint32_t context, const char* prompt);
using GetChannelUserFn = void(QUARN_CALL*)(ChannelUserRecord* buffer, std::uint32_t context,
                                           std::int32_t channel);
using FindMemberFn = std::int32_t(QUARN_CALL*)(std::uint32_t context, const char* userId);
using GetMemberFn = void(QUARN_CALL*)(MemberRecord* buffer, std::uint32_t context,
                                      std::int32_t member);

// A host Boolean: only the low byte counts (0x100 is false, 0x02 is true).
inline bool HostTrue(std::uint32_t answer) { return (answer & 0xFFu) != 0; }

// The nine exports, as a host sees them.
using InstallInformationFn = void(QUARN_CALL*)(InstallRecord* record);
using CreateFn = void(QUARN_CALL*)(std::int32_t channel, HostCreationRecord record);
using ChannelFn = void(QUARN_CALL*)(std::int32_t channel);
using IsCalledFn = Bool8(QUARN_CALL*)();
using TextResultFn = const char*(QUARN_CALL*)();
using SetupFn = void(QUARN_CALL*)();

// The nine exports, as a host holds them once it has loaded the plug-in.
struct Exports {
    InstallInformationFn InstallInformation = nullptr;
    CreateFn Create = nullptr;
    ChannelFn Free = nullptr;
    ChannelFn Call = nullptr;
    ChannelFn OnGoodbye = nullptr;
    IsCalledFn IsCalled = nullptr;
    TextResultFn Name = nullptr;
    TextResultFn Information = nullptr;
    SetupFn Setup = nullptr;
};

// The export names; each one's ordinal is its place here, counted from 1.
inline constexpr const char* kExportNames[] = {"OnGoodbye", "IsCalled",    "Call",
                                               "Free",      "Create",      "Setup",
                                               "Information", "InstallInformation", "Name"};

// Takes every export through `find(name)` (the platform's symbol look-up).
// Returns the name of the first one missing, or nullptr when all are there.
template <typename Find>
const char* TakeExports(Exports& exports, Find find) {
    const char* missing = nullptr;
    auto take = [&](auto& slot, const char* name) {
        slot = reinterpret_cast<std::remove_reference_t<decltype(slot)>>(find(name));
        if (slot == nullptr && missing == nullptr) missing = name;
    };
    take(exports.OnGoodbye, "OnGoodbye");
    take(exports.IsCalled, "IsCalled");
    take(exports.Call, "Call");
    take(exports.Free, "Free");
    take(exports.Create, "Create");
    take(exports.Setup, "Setup");
    take(exports.Information, "Information");
    take(exports.InstallInformation, "InstallInformation");
    take(exports.Name, "Name");
    return missing;
}

}  // namespace quarn
