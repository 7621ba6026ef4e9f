// The built library as the host sees it: loaded by file name, reached only
// through its nine exports, serving a host whose services are stdcall
// functions behind a real creation record.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "Porreskusys/Version.h"
#include "support/FakeHost.h"
#include "support/PluginLoader.h"
#include "support/TempDir.h"

namespace {

using testing_host::FakeHost;
using testing_host::LoadedPlugin;

class AbiTest : public ::testing::Test {
protected:
    void SetUp() override { Load(); }

    // (Re)loads the library inside this test's working folder.
    void Load() {
        plugin.reset();
        plugin = std::make_unique<LoadedPlugin>(testing_host::PluginPath());
        ASSERT_TRUE(plugin->loaded()) << plugin->error();
        ASSERT_TRUE(plugin->error().empty()) << plugin->error();
    }

    const testing_host::PluginExports& dll() const { return plugin->exports(); }

    void Create(std::int32_t channel) { dll().Create(channel, host.CreationRecord(channel)); }

    testing_host::TempDir dir;
    FakeHost host;
    std::unique_ptr<LoadedPlugin> plugin;
};

TEST_F(AbiTest, ExportsTheNineNamesWithTheirOrdinals) {
    for (int ordinal = 1; ordinal <= 9; ++ordinal) {
        const char* name = quarn::kExportNames[ordinal - 1];
        SCOPED_TRACE(name);
        void* byName = plugin->ByName(name);
        ASSERT_NE(byName, nullptr);
#if defined(_WIN32)
        EXPECT_EQ(plugin->ByOrdinal(ordinal), byName);
#endif
    }
    EXPECT_EQ(plugin->ByName("_Create@804"), nullptr);
    EXPECT_EQ(plugin->ByName("Create@804"), nullptr);
}

TEST_F(AbiTest, CreateAsksTheHostForTheChannelUserWithBufferContextAndChannel) {
    host.Channel(42).SetUser("GUEST", "guest", 1);
    Create(42);
    EXPECT_EQ(host.Channel(42).userQueries, std::vector<std::int32_t>{42});
    EXPECT_TRUE(host.Channel(42).wrongContexts.empty()) << testing_host::Joined(host.Channel(42).wrongContexts);
    dll().Free(42);
}

TEST_F(AbiTest, IsCalledAnswersWhetherAnyChannelHasAnObject) {
    EXPECT_EQ(dll().IsCalled(), 0);
    Create(0);
    EXPECT_EQ(dll().IsCalled(), 1);
    Create(99);
    dll().Free(0);
    EXPECT_EQ(dll().IsCalled(), 1);
    dll().Free(99);
    EXPECT_EQ(dll().IsCalled(), 0);
}

TEST_F(AbiTest, ChannelNumbersOutsideTheTableAreIgnored) {
    plugin->ObserveBoxes();
    for (std::int32_t channel : {-1, 100, 1000}) {
        SCOPED_TRACE(channel);
        Create(channel);
        EXPECT_EQ(dll().IsCalled(), 0);
        dll().Call(channel);
        dll().OnGoodbye(channel);
        EXPECT_TRUE(host.Channel(channel).activities.empty());
        EXPECT_TRUE(host.Channel(channel).userQueries.empty());
    }
    // A channel without an object: nothing happens either.
    dll().Call(5);
    dll().OnGoodbye(5);
    EXPECT_TRUE(host.Channel(5).activities.empty());
    EXPECT_TRUE(plugin->TakeBoxes().empty());
}

TEST_F(AbiTest, CallAndOnGoodbyeGiveTheHostTheBoardLabel) {
    host.Channel(3).SetUser("SYSOP", "sysop", 2);
    Create(3);
    dll().Call(3);
    EXPECT_EQ(host.Channel(3).activities, std::vector<std::string>{"PORRESKU"});
    dll().OnGoodbye(3);
    EXPECT_EQ(host.Channel(3).activities, (std::vector<std::string>{"PORRESKU", "PORRESKU"}));
    EXPECT_TRUE(host.Channel(3).wrongContexts.empty()) << testing_host::Joined(host.Channel(3).wrongContexts);
    dll().Free(3);
}

const std::string kFreeErrorBox =
    "[Error] \x93\xE0\x95\x94\x83\x47\x83\x89\x81\x5B / Create\x82\xB3\x82\xEA\x82\xC4\x82\xA2\x82\xC8\x82\xA2"
    "\x82\xC9\x82\xE0\x8A\xD6\x82\xED\x82\xE7\x82\xB8QUARN\x82\xA9\x82\xE7" "Free\x82\xB3\x82\xEA\x82\xBD (style 16)";

TEST_F(AbiTest, FreeWithoutCreateShowsTheErrorBox) {
    plugin->ObserveBoxes();
    dll().Free(8);
    EXPECT_EQ(plugin->TakeBoxes(), std::vector<std::string>{kFreeErrorBox});
}

TEST_F(AbiTest, SecondFreeShowsTheErrorBoxAndChangesNothing) {
    Create(8);
    Create(9);
    plugin->ObserveBoxes();
    dll().Free(8);
    dll().Free(8);
    EXPECT_EQ(plugin->TakeBoxes(), std::vector<std::string>{kFreeErrorBox});
    EXPECT_EQ(dll().IsCalled(), 1);
    dll().Free(9);
}

TEST_F(AbiTest, FreeOutsideTheTableShowsTheErrorBox) {
    plugin->ObserveBoxes();
    dll().Free(100);
    dll().Free(-1);
    EXPECT_EQ(plugin->TakeBoxes(), (std::vector<std::string>{kFreeErrorBox, kFreeErrorBox}));
}

TEST_F(AbiTest, SecondCreateReplacesTheObjectAndOneFreeEmptiesTheSlot) {
    host.Channel(4).SetUser("FIRST", "first", 5);
    Create(4);
    host.Channel(4).SetUser("SECOND", "second", 5);
    Create(4);
    EXPECT_EQ(host.Channel(4).userQueries.size(), 2u);
    plugin->ObserveBoxes();
    dll().Free(4);
    EXPECT_EQ(dll().IsCalled(), 0);
    EXPECT_TRUE(plugin->TakeBoxes().empty());
}

// The host frees the channel, or makes it anew, while the channel's own step
// waits inside a host service (a host whose input call pumps its window
// messages does this when the sysop kicks the caller). The step finishes on
// its own object, and the table answers as the host expects after its call.
TEST_F(AbiTest, FreeOrCreateDuringTheChannelsOwnStepTakesEffectWhenTheStepReturns) {
    struct Case {
        const char* name;
        bool freeIt;
        bool createAnew;
    };
    const Case cases[] = {{"Free", true, false}, {"Create", false, true}, {"Free, then Create", true, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        testing_host::WriteFileBytes("porresku.log", "");
        host.Channel(3) = {};
        host.Channel(3).SetUser("SYSOP", "sysop", 5);
        Create(3);
        host.Channel(3).replies = {"kicked", ""};
        int calledInside = -1;
        host.Channel(3).duringInput = [&](int input) {
            if (input != 1) return;
            if (c.freeIt) dll().Free(3);
            if (c.createAnew) {
                host.Channel(3).SetUser("NEXT", "next", 1);
                Create(3);
            }
            calledInside = dll().IsCalled();
        };
        dll().OnGoodbye(3);
        host.Channel(3).duringInput = nullptr;
        EXPECT_EQ(calledInside, c.createAnew ? 1 : 0);
        EXPECT_EQ(dll().IsCalled(), c.createAnew ? 1 : 0);
        // The step went on as the caller who was kicked: the posting is theirs.
        const std::string log = testing_host::ReadFileBytes("porresku.log");
        EXPECT_NE(log.find(" SYSOP\r\nsysop         >kicked\r\n"), std::string::npos) << log;

        plugin->ObserveBoxes();
        host.Channel(3).prompts.clear();
        dll().OnGoodbye(3);
        if (c.createAnew) {
            // The new object's caller (level 1) is shown the recent messages, not asked to post.
            EXPECT_EQ(host.Channel(3).sent.back(), "");
            EXPECT_TRUE(host.Channel(3).prompts.empty());
            dll().Free(3);
            EXPECT_TRUE(plugin->TakeBoxes().empty());
        } else {
            EXPECT_TRUE(host.Channel(3).prompts.empty()) << "no object left for the channel";
            dll().Free(3);
            EXPECT_EQ(plugin->TakeBoxes(), std::vector<std::string>{kFreeErrorBox});
        }
        EXPECT_EQ(dll().IsCalled(), 0);
    }
}

// Channels the host never freed: their objects go with the unload. The leak
// checkers that run these tests (AddressSanitizer, valgrind) see any left.
TEST_F(AbiTest, UnloadFreesTheObjectsOfChannelsTheHostNeverFreed) {
    Create(1);
    Create(99);
    plugin.reset();
    Load();
    EXPECT_EQ(dll().IsCalled(), 0);
}

TEST_F(AbiTest, SetupShowsTheSettingsBox) {
    plugin->ObserveBoxes();
    dll().Setup();
    // "設定項目はありません" captioned "ぽれすくプラグイン", plain OK box.
    EXPECT_EQ(plugin->TakeBoxes(),
              std::vector<std::string>{"[\x82\xDB\x82\xEA\x82\xB7\x82\xAD\x83\x76\x83\x89\x83\x4F\x83\x43\x83\x93] "
                                       "\x90\xDD\x92\xE8\x8D\x80\x96\xDA\x82\xCD\x82\xA0\x82\xE8\x82\xDC\x82\xB9\x82\xF1"
                                       " (style 0)"});
}

TEST_F(AbiTest, InstallInformationWritesOnlyTheLengthBytesAndTheLabel) {
    unsigned char record[204];
    std::memset(record, 0xAB, sizeof record);
    dll().InstallInformation(reinterpret_cast<quarn::InstallRecord*>(record));
    EXPECT_EQ(record[0], 4);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(record + 1), 4), "PORR");
    for (int offset = 5; offset < 204; ++offset) {
        const bool lengthByte = offset >= 17 && (offset - 17) % 17 == 0;
        SCOPED_TRACE(offset);
        EXPECT_EQ(record[offset], lengthByte ? 0 : 0xAB);
    }
}

const char kDisplayName[] = "\x82\xDB\x82\xEA\x82\xB7\x82\xAD" "For QUARN";  // ぽれすくFor QUARN

TEST_F(AbiTest, NameIsTheDisplayNameInShiftJisAndStaysValid) {
    const char* name = dll().Name();
    EXPECT_STREQ(name, kDisplayName);
    // The host keeps the pointer: other calls must not reuse its bytes.
    dll().Information();
    Create(1);
    dll().Free(1);
    EXPECT_STREQ(name, kDisplayName);
}

TEST_F(AbiTest, InformationIsThreeLinesJoinedByCrLf) {
    const std::string text = dll().Information();
    const std::size_t first = text.find("\r\n");
    ASSERT_NE(first, std::string::npos);
    const std::size_t second = text.find("\r\n", first + 2);
    ASSERT_NE(second, std::string::npos);
    EXPECT_EQ(text.find_first_of("\r\n", second + 2), std::string::npos) << "exactly three lines";
    const std::string line1 = text.substr(0, first);
    const std::string line2 = text.substr(first + 2, second - first - 2);
    const std::string line3 = text.substr(second + 2);
    // The version the build was configured with, which also names the release zip.
    EXPECT_EQ(line1, std::string(kDisplayName) + " " + PORRESKU_VERSION_TEXT);
    EXPECT_NE(line2.find("GCC"), std::string::npos) << line2;
    EXPECT_NE(line2.find("libstdc++"), std::string::npos) << line2;
    EXPECT_EQ(line3, "Porresku project");
}

#if defined(_WIN32)
TEST_F(AbiTest, VersionResourceNamesTheBoard) {
    const std::string path = testing_host::PluginPath();
    // What the file's properties show, in Shift-JIS as the ANSI calls give it.
    EXPECT_EQ(testing_host::VersionResourceValue(path, "ProductName"), kDisplayName);
    EXPECT_EQ(testing_host::VersionResourceValue(path, "FileVersion"), PORRESKU_VERSION_TEXT);
    EXPECT_EQ(testing_host::VersionResourceValue(path, "ProductVersion"), PORRESKU_VERSION_TEXT);
    EXPECT_EQ(testing_host::VersionResourceValue(path, "OriginalFilename"), "Porresku.dll");
    EXPECT_NE(testing_host::VersionResourceValue(path, "FileDescription"), "");
    EXPECT_NE(testing_host::VersionResourceValue(path, "LegalCopyright").find("Porresku project"), std::string::npos);
}
#endif

}  // namespace
