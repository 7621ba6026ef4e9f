// remove rewrites the log while another host process keeps posting into it:
// the board's postings made meanwhile wait and are written after, so every
// posting the board acknowledged is in the log once, and the removed ones
// are gone.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/ChildProcess.h"
#include "support/PlainLog.h"
#include "support/PluginLoader.h"
#include "support/TempDir.h"

namespace {

using testing_host::ChildProcess;
using testing_host::ReadFileBytes;

#if defined(_WIN32)
constexpr int kPostings = 120;
constexpr int kSpam = 6;
#else
constexpr int kPostings = 300;
constexpr int kSpam = 12;
#endif

TEST(RemoveWhilePostingTest, NothingLostNothingDoubledTheRemovedGone) {
    testing_host::TempDir dir;
    std::string log;
    for (int spam = 1; spam <= kSpam; ++spam) {
        log += "01/01 00:0" + std::to_string(spam % 10) + " SPAM" + std::to_string(spam) + "\r\n";
        log += "spammer       >buy now " + std::to_string(spam) + "\r\n";
    }
    testing_host::WriteFileBytes("porresku.log", log);

    std::vector<int> statuses;
    {
        ChildProcess host("posting_host", {"P", std::to_string(kPostings), "2", "0", "0"});
        ASSERT_TRUE(host.started());
        for (int spam = 1; spam <= kSpam; ++spam) {
            ChildProcess tool("porresku-log", {"remove", "--user", "SPAM" + std::to_string(spam)}, false,
                              "remove.out", "remove.err");
            statuses.push_back(tool.Wait());
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        EXPECT_EQ(host.Wait(), 0);
    }
    for (int status : statuses) EXPECT_EQ(status, 0) << ReadFileBytes("remove.err");
    // Postings the last unload could not write wait in the side file; the next load adds them.
    {
        testing_host::LoadedPlugin plugin(testing_host::PluginPath());
        ASSERT_TRUE(plugin.loaded()) << plugin.error();
    }

    const std::string bytes = ReadFileBytes("porresku.log");
    std::map<std::string, int> texts;
    std::size_t crLfEnds = 0;
    for (std::size_t at = bytes.find("\r\n"); at != std::string::npos; at = bytes.find("\r\n", at + 2)) ++crLfEnds;
    const std::vector<std::string> lines = testing_host::PlainLines(bytes);
    EXPECT_EQ(crLfEnds, lines.size()) << "every line ends in CR LF";
    for (const std::string& line : lines) {
        if (line.size() > 15 && line[14] == '>') ++texts[line.substr(15)];
        EXPECT_EQ(line.find("SPAM"), std::string::npos) << line;
    }
    std::istringstream acks(ReadFileBytes("P.ack"));
    int acknowledged = 0;
    for (std::string text; std::getline(acks, text); ++acknowledged) EXPECT_EQ(texts[text], 1) << text;
    EXPECT_EQ(acknowledged, kPostings);
    EXPECT_EQ(texts.size(), static_cast<std::size_t>(kPostings)) << "postings nobody acknowledged, or spam left";

    ChildProcess check("porresku-log", {"check"}, false, "check.out", "check.err");
    EXPECT_EQ(check.Wait(), 0) << ReadFileBytes("check.out");
}

}  // namespace
