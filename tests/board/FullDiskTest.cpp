// A posting that meets a real full disk: the kernel's file-size limit stops
// the write part-way, as a full file system does. The posting waits and
// reaches the log whole once there is room again.
#include <gtest/gtest.h>

#if !defined(_WIN32)

#include <sys/resource.h>

#include <csignal>
#include <memory>
#include <string>

#include "board/BoardState.h"
#include "board/BoardSteps.h"
#include "board/Porresku.h"
#include "log/LogError.h"
#include "support/BoardSandbox.h"
#include "support/ExpectedTexts.h"
#include "support/FakeHost.h"
#include "support/TempDir.h"

namespace {

using testing_host::ReadFileBytes;
using testing_host::WriteFileBytes;

using expected::Prefix;

// Lowers the file-size limit for its lifetime; a write past it fails with
// EFBIG instead of killing the process.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        previousHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &previous_);
        rlimit lowered = previous_;
        lowered.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &lowered);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &previous_);
        std::signal(SIGXFSZ, previousHandler_);
    }

private:
    rlimit previous_{};
    void (*previousHandler_)(int) = nullptr;
};

TEST(FullDiskTest, PostingWaitsAndReachesTheLogWhenRoomReturns) {
    testing_host::BoardSandbox sandbox;
    testing_host::FakeHost host;

    const std::string old = "11/18 10:00 A\r\n" + Prefix("a") + "old\r\n";
    WriteFileBytes("porresku.log", old);
    host.Channel(3).SetUser("SYSOP", "sysop", 5);
    Porresku poster(3, host.CreationRecord(3));

    host.Channel(3).replies = {std::string(60, 'x'), ""};
    bool failed = false;
    {
        FileSizeLimit full(old.size() + 20);  // room for part of the header line only
        try {
            board::PostMessage(poster);
        } catch (const messagelog::LogError&) {
            failed = true;
        }
    }
    EXPECT_TRUE(failed) << "the full disk reaches the caller";
    EXPECT_EQ(ReadFileBytes("porresku.log"), old) << "no part of the posting stays";
    EXPECT_EQ(board::Board().queued.size(), 1u);
    EXPECT_FALSE(board::Board().busy);

    host.Channel(3).replies = {"room again", ""};
    board::PostMessage(poster);
    EXPECT_EQ(ReadFileBytes("porresku.log"), old + "12/10 09:05 SYSOP\r\n" + Prefix("sysop") + std::string(60, 'x') +
                                                 "\r\n12/10 09:05 SYSOP\r\n" + Prefix("sysop") + "room again\r\n");
    EXPECT_TRUE(board::Board().queued.empty());
}

}  // namespace

#endif
