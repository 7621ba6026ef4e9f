// Several host processes on one board folder, each loading the built
// library by name (posting_host): postings made while other processes'
// listings hold the log, and a posting process killed again and again. No
// posting the board acknowledged is lost or written twice, and the log keeps
// whole lines ended by CR LF.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/ChildProcess.h"
#include "support/ExpectedTexts.h"
#include "support/PluginLoader.h"
#include "support/TempDir.h"

namespace {

using testing_host::ChildProcess;
using testing_host::ReadFileBytes;

// The log read back line by line, independently of the board's reader.
struct LogContents {
    std::map<std::string, int> messages;  // text of each whole message line -> how often
    std::vector<std::string> brokenLines; // neither a whole header nor a whole message line
    bool crLfOnly = true;                 // every line ends in CR LF, no CR or LF elsewhere
};

bool IsDigits(const std::string& text, std::size_t from, std::size_t count) {
    if (text.size() < from + count) return false;
    for (std::size_t i = from; i < from + count; ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
    }
    return true;
}

// "MM/DD hh:mm TAG" or "MM/DD TAG" (the first second of a day).
bool IsHeader(const std::string& line, const std::string& tagPrefix) {
    if (!IsDigits(line, 0, 2) || line.size() < 7 || line[2] != '/' || !IsDigits(line, 3, 2) || line[5] != ' ') {
        return false;
    }
    std::size_t id = 6;
    if (line.size() > 12 && IsDigits(line, 6, 2) && line[8] == ':' && IsDigits(line, 9, 2) && line[11] == ' ') id = 12;
    return line.compare(id, tagPrefix.size(), tagPrefix) == 0;
}

LogContents ReadLog(const std::string& tagPrefix) {
    const std::string log = ReadFileBytes("porresku.log");
    LogContents contents;
    std::size_t at = 0;
    bool afterHeader = false;
    while (at < log.size()) {
        const std::size_t end = log.find("\r\n", at);
        if (end == std::string::npos) {
            contents.crLfOnly = false;
            contents.brokenLines.push_back(log.substr(at));
            break;
        }
        const std::string line = log.substr(at, end - at);
        at = end + 2;
        if (line.find_first_of("\r\n") != std::string::npos) contents.crLfOnly = false;
        const std::string prefix = line.size() > 15 ? line.substr(0, 15) : std::string();
        const std::string text = line.size() > 15 ? line.substr(15) : std::string();
        const bool message = !text.empty() && prefix == expected::Prefix("host " + text.substr(0, text.find('-'))) &&
                             text.compare(0, tagPrefix.size(), tagPrefix) == 0;
        if (message && afterHeader) {
            ++contents.messages[text];
        } else if (IsHeader(line, tagPrefix)) {
            if (afterHeader) contents.brokenLines.push_back("(header without a message line)");
            afterHeader = true;
            continue;
        } else {
            contents.brokenLines.push_back(line);
        }
        afterHeader = false;
    }
    if (afterHeader) contents.brokenLines.push_back("(header without a message line at the end)");
    return contents;
}

std::vector<std::string> Acknowledged(const std::string& tag) {
    std::istringstream acks(ReadFileBytes(tag + ".ack"));
    std::vector<std::string> texts;
    for (std::string line; std::getline(acks, line);) texts.push_back(line);
    return texts;
}

// Every acknowledged text is in the log exactly once; returns how many were.
int ExpectEachOnce(const LogContents& log, const std::vector<std::string>& acknowledged) {
    int found = 0;
    for (const std::string& text : acknowledged) {
        const auto entry = log.messages.find(text);
        const int times = entry == log.messages.end() ? 0 : entry->second;
        EXPECT_EQ(times, 1) << text;
        found += times == 1;
    }
    return found;
}

#if defined(_WIN32)
// Each Wine process costs more: fewer and shorter runs, the same kinds of clash.
constexpr int kHosts = 3;
constexpr int kPostingsEach = 150;
constexpr int kListEvery = 30;
constexpr int kKills = 12;
#else
constexpr int kHosts = 4;
constexpr int kPostingsEach = 200;
constexpr int kListEvery = 30;
constexpr int kKills = 20;
#endif

TEST(ManyHostsTest, PostingsWhileOtherProcessesListingsHoldTheLogAreAllWrittenOnce) {
    testing_host::TempDir dir;
    {
        std::vector<std::unique_ptr<ChildProcess>> hosts;
        // Each lists at its own pace, so one's listing holds the log while others post.
        for (int host = 1; host <= kHosts; ++host) {
            hosts.push_back(std::make_unique<ChildProcess>(
                "posting_host", std::vector<std::string>{"P" + std::to_string(host), std::to_string(kPostingsEach), "2",
                                                         std::to_string(kListEvery + 10 * host), "1"}));
            ASSERT_TRUE(hosts.back()->started());
        }
        for (auto& host : hosts) EXPECT_EQ(host->Wait(), 0);
    }
    const bool sideFileLeft = std::filesystem::exists("porresku.pending");
    // The next load adds what the unloads could not write.
    {
        testing_host::LoadedPlugin plugin(testing_host::PluginPath());
        ASSERT_TRUE(plugin.loaded()) << plugin.error();
    }
    EXPECT_FALSE(std::filesystem::exists("porresku.pending"));

    const LogContents log = ReadLog("P");
    EXPECT_TRUE(log.crLfOnly);
    EXPECT_TRUE(log.brokenLines.empty()) << log.brokenLines.front();
    int acknowledged = 0;
    int found = 0;
    double longestPosting = 0;
    double longestListing = 0;
    for (int host = 1; host <= kHosts; ++host) {
        const std::string tag = "P" + std::to_string(host);
        const std::vector<std::string> acks = Acknowledged(tag);
        EXPECT_EQ(acks.size(), static_cast<std::size_t>(kPostingsEach)) << tag;
        acknowledged += static_cast<int>(acks.size());
        found += ExpectEachOnce(log, acks);
        double posting = 0, listing = 0;
        if (std::FILE* steps = std::fopen((tag + ".steps").c_str(), "rb")) {
            if (std::fscanf(steps, "%lf %lf", &posting, &listing) != 2) posting = listing = 0;
            std::fclose(steps);
        }
        longestPosting = std::max(longestPosting, posting);
        longestListing = std::max(longestListing, listing);
    }
    EXPECT_EQ(static_cast<std::size_t>(found), log.messages.size()) << "postings nobody acknowledged";
    std::printf("%d host processes: %d postings acknowledged, %d found once in the log; side file used: %s; "
                "longest posting step %.1f ms, longest listing %.1f ms\n",
                kHosts, acknowledged, found, sideFileLeft ? "yes" : "no", longestPosting, longestListing);
}

TEST(ManyHostsTest, APostingProcessKilledAgainAndAgainLosesNothingItAcknowledged) {
    testing_host::TempDir dir;
    std::mt19937 random(20261210);
    std::uniform_int_distribution<int> lifetime(30, 200);
    std::vector<std::string> tags;
    for (int kill = 1; kill <= kKills; ++kill) {
        tags.push_back("K" + std::to_string(kill));
        ChildProcess host("posting_host", {tags.back(), "1000000", "0", "0", "0"});
        ASSERT_TRUE(host.started());
        std::this_thread::sleep_for(std::chrono::milliseconds(lifetime(random)));
        host.Kill();
    }
    // A host that ends normally: its first posting ends a line a kill left unfinished.
    tags.push_back("KEND");
    {
        ChildProcess host("posting_host", {tags.back(), "3", "0", "0", "0"});
        ASSERT_EQ(host.Wait(), 0);
    }
    EXPECT_FALSE(std::filesystem::exists("porresku.pending"));

    const LogContents log = ReadLog("K");
    EXPECT_TRUE(log.crLfOnly);
    // At most the posting in flight at each kill is torn.
    EXPECT_LE(log.brokenLines.size(), static_cast<std::size_t>(kKills));
    int acknowledged = 0;
    int found = 0;
    for (const std::string& tag : tags) {
        const std::vector<std::string> acks = Acknowledged(tag);
        acknowledged += static_cast<int>(acks.size());
        found += ExpectEachOnce(log, acks);
    }
    EXPECT_GT(acknowledged, kKills) << "the kills came before any posting";
    // Beyond the acknowledged ones, only a posting in flight at a kill.
    EXPECT_LE(log.messages.size(), static_cast<std::size_t>(found + kKills));
    std::printf("%d kills: %d postings acknowledged, %d found once in the log, %zu torn lines\n", kKills,
                acknowledged, found, log.brokenLines.size());
}

}  // namespace
