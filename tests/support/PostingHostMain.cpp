// posting_host TAG POSTINGS PAUSE_MS LIST_EVERY LINE_MS: one more host
// process on the same board folder. It loads the built plug-in by name, as a
// host does, and lets a caller (user ID TAG) post POSTINGS one-line messages
// "TAG-1", "TAG-2"... at logoff, PAUSE_MS apart; every LIST_EVERY postings
// another caller lists the whole log, each line taking LINE_MS to reach the
// terminal, so the log is held meanwhile. Then it frees the channels and
// unloads the plug-in.
//
// Each posting whose OnGoodbye returned is acknowledged at once in TAG.ack
// (one text a line, unbuffered), so a test that kills this process knows
// what the board had taken. The longest step goes to TAG.steps.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "support/FakeHost.h"
#include "support/PluginLoader.h"

namespace {

constexpr int kPoster = 1;
constexpr int kLister = 2;

double MillisecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 6) {
        std::fprintf(stderr, "usage: posting_host TAG POSTINGS PAUSE_MS LIST_EVERY LINE_MS\n");
        return 2;
    }
    const std::string tag = argv[1];
    const long postings = std::strtol(argv[2], nullptr, 10);
    const long pauseMs = std::strtol(argv[3], nullptr, 10);
    const long listEvery = std::strtol(argv[4], nullptr, 10);
    const long lineMs = std::strtol(argv[5], nullptr, 10);

    std::FILE* acks = std::fopen((tag + ".ack").c_str(), "wb");
    if (acks == nullptr) return 3;
    std::setvbuf(acks, nullptr, _IONBF, 0);

    double longestPosting = 0;
    double longestListing = 0;
    {
        testing_host::LoadedPlugin plugin(testing_host::PluginPath());
        if (!plugin.loaded()) {
            std::fprintf(stderr, "posting_host: %s\n", plugin.error().c_str());
            return 4;
        }
        const testing_host::PluginExports& dll = plugin.exports();
        testing_host::FakeHost host;
        host.Channel(kPoster).SetUser(tag, "host " + tag, 5);
        host.Channel(kLister).SetUser("READER", "reader", 2);
        host.Channel(kLister).duringSend = [lineMs](int) {
            std::this_thread::sleep_for(std::chrono::milliseconds(lineMs));
        };
        dll.Create(kPoster, host.CreationRecord(kPoster));
        dll.Create(kLister, host.CreationRecord(kLister));
        for (long n = 1; n <= postings; ++n) {
            if (pauseMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs));
            const std::string text = tag + "-" + std::to_string(n);
            host.Channel(kPoster).replies = {text, ""};
            const auto start = std::chrono::steady_clock::now();
            dll.OnGoodbye(kPoster);
            longestPosting = std::max(longestPosting, MillisecondsSince(start));
            std::fputs((text + "\n").c_str(), acks);
            if (listEvery > 0 && n % listEvery == 0) {
                host.Channel(kLister).replies = {"1/1"};
                host.Channel(kLister).sent.clear();
                const auto listed = std::chrono::steady_clock::now();
                dll.Call(kLister);
                longestListing = std::max(longestListing, MillisecondsSince(listed));
            }
        }
        dll.Free(kPoster);
        dll.Free(kLister);
    }  // the unload: what still waits goes to the log or its side file
    std::fclose(acks);
    if (std::FILE* steps = std::fopen((tag + ".steps").c_str(), "wb")) {
        std::fprintf(steps, "%.1f %.1f\n", longestPosting, longestListing);
        std::fclose(steps);
    }
    return 0;
}
