// Porreskusys: the nine exports the host calls, the table of channel
// objects, and what runs when the host loads and unloads the library.
//
// The host is a 32-bit Windows program that loads us into its own process.
// A C++ exception that left an export would end that process (and every
// caller on every channel with it), so each export catches everything.
#include <cstdint>
#include <exception>
#include <new>
#include <string>

#include "Porreskusys/ChannelTable.h"
#include "Porreskusys/Version.h"
#include "QuarnAPI/QuarnAPI.h"
#include "common/BoardError.h"
#include "board/BoardSteps.h"
#include "board/BoardState.h"
#include "board/HistoryLoad.h"
#include "board/WaitingPostings.h"
#include "board/Porresku.h"
#include "platform/Platform.h"

#if defined(_WIN32)
#define PORRESKU_EXPORT  // exported by name and ordinal through Porreskusys.def
#else
#define PORRESKU_EXPORT __attribute__((visibility("default")))
#endif

namespace {

#define PORRESKU_STRINGIFY2(x) #x
#define PORRESKU_STRINGIFY(x) PORRESKU_STRINGIFY2(x)

#if defined(__MINGW32__)
#define PORRESKU_RUNTIME "MinGW-w64 " __MINGW64_VERSION_STR ", libstdc++ " PORRESKU_STRINGIFY(__GLIBCXX__)
#else
#define PORRESKU_RUNTIME "libstdc++ " PORRESKU_STRINGIFY(__GLIBCXX__)
#endif

constexpr char kDisplayName[] = "ぽれすくFor QUARN";
constexpr char kInformation[] =
    "ぽれすくFor QUARN " PORRESKU_VERSION_TEXT
    "\r\n"
    "Built with GCC " __VERSION__ " and " PORRESKU_RUNTIME
    "\r\n"
    "Porresku project";
constexpr char kMenuLabel[] = "PORR";
constexpr char kSettingsText[] = "設定項目はありません";
constexpr char kSettingsCaption[] = "ぽれすくプラグイン";
constexpr char kFreeErrorText[] = "内部エラー / Createされていないにも関わらずQUARNからFreeされた";
constexpr char kFreeErrorCaption[] = "Error";
constexpr char kInternalError[] = "ぽれすく: 内部エラーのため処理を中断しました";
constexpr char kNoMemory[] = "ぽれすく: メモリが足りないため処理を中断しました";

ChannelTable channels;

// Runs one board step for a channel. An error ends the step; its text goes
// to that channel's caller as one line and the host carries on.
template <typename Step>
void RunStep(std::int32_t channel, Step step) noexcept {
    Porresku* object = channels.Find(channel);
    if (object == nullptr) return;
    const ChannelTable::RunningStep running(channels, object);
    const char* failure = nullptr;
    std::string board_error;
    try {
        step(*object);
        return;
    } catch (const board::BoardError& error) {
        try {
            board_error = error.what();
        } catch (...) {
            failure = kNoMemory;
        }
    } catch (const std::bad_alloc&) {
        failure = kNoMemory;
    } catch (...) {
        failure = kInternalError;
    }
    try {
        object->SendLine(failure != nullptr ? std::string_view(failure) : std::string_view(board_error));
    } catch (...) {
    }
}

void StartLibrary() noexcept {
    try {
        board::Board();
        board::LoadHistory();
    } catch (...) {
        // The load reports its own failures; the library loads all the same.
    }
}

void StopLibrary() noexcept {
    try {
        board::WriteQueuedPostingsAtUnload();
    } catch (...) {
    }
    // Objects of channels the host never freed.
    channels.ReleaseAll();
}

}  // namespace

extern "C" {

PORRESKU_EXPORT void QUARN_CALL InstallInformation(quarn::InstallRecord* record) {
    if (record == nullptr) return;
    record->label.assign(kMenuLabel);
    record->second.assign({});
    for (auto& text : record->more) text.assign({});
}

PORRESKU_EXPORT void QUARN_CALL Create(std::int32_t channel, quarn::HostCreationRecord record) {
    if (!ChannelTable::IsChannel(channel)) return;
    try {
        channels.Put(channel, new Porresku(channel, record));
    } catch (...) {
        // Out of memory: the channel stays as it was.
    }
}

PORRESKU_EXPORT void QUARN_CALL Free(std::int32_t channel) {
    try {
        if (!channels.Release(channel)) {
            platform::Active().messageBox(kFreeErrorText, kFreeErrorCaption,
                                          platform::kBoxErrorIcon | platform::kBoxOk);
        }
    } catch (...) {
        // The box could not be shown (out of memory where it is made).
    }
}

PORRESKU_EXPORT void QUARN_CALL Call(std::int32_t channel) {
    RunStep(channel, [](const Porresku& object) { object.MenuCall(); });
}

PORRESKU_EXPORT void QUARN_CALL OnGoodbye(std::int32_t channel) {
    RunStep(channel, [](const Porresku& object) { object.Goodbye(); });
}

PORRESKU_EXPORT quarn::Bool8 QUARN_CALL IsCalled() { return channels.AnyObject() ? 1 : 0; }

PORRESKU_EXPORT const char* QUARN_CALL Name() { return kDisplayName; }

PORRESKU_EXPORT const char* QUARN_CALL Information() { return kInformation; }

PORRESKU_EXPORT void QUARN_CALL Setup() {
    try {
        platform::Active().messageBox(kSettingsText, kSettingsCaption, platform::kBoxOk);
    } catch (...) {
        // The box could not be shown (out of memory where it is made).
    }
}

}  // extern "C"

namespace {

// Lives from the library's load to its unload. Its constructor runs when the
// host loads the library, before any export can be called; as the board's
// state is made inside it, the board outlives it, and its destructor can
// still write what waits for the log when the host unloads the library.
struct LibraryLifetime {
    LibraryLifetime() noexcept { StartLibrary(); }
    ~LibraryLifetime() { StopLibrary(); }
} lifetime;

}  // namespace
