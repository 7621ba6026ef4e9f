// The load and the listing read through the scanner for the benchmarks'
// sake: it hands out lines in place, found with one memchr for each. It
// must give exactly the lines a plain reading of the bytes gives, wherever
// lines, line ends and Ctrl-Z fall against the 128 KiB buffer; and the load
// must keep the last ten message lines whichever buffer they were read in.
#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "LogGenerator.h"
#include "board/BoardState.h"
#include "board/HistoryLoad.h"
#include "log/LogAppender.h"
#include "log/LogFormat.h"
#include "log/LogScanner.h"
#include "support/PlainLog.h"
#include "support/TempDir.h"

namespace {

using testing_host::TempDir;
using testing_host::WriteFileBytes;

constexpr std::size_t kBuffer = 128 * 1024;

using testing_host::PlainLines;

// The lines as the scanner hands them over: each line's first kilobyte (all
// a copied line keeps) and a mark for its whole length.
std::vector<std::string> ScannedLines() {
    platform::FileHandle handle = platform::kNoFile;
    EXPECT_EQ(platform::Active().open(messagelog::kLogName, platform::OpenMode::kRead, &handle), 0);
    const messagelog::OpenFile file(handle);
    messagelog::LogScanner scanner(file.handle());
    std::vector<std::string> lines;
    scanner.Scan(
        [&](const messagelog::ScannedLine& line) {
            lines.push_back(std::string(line.bytes.substr(0, messagelog::LogScanner::kCopiedRoom)) + " #" +
                            std::to_string(line.length));
            return true;
        },
        [] {});
    return lines;
}

std::vector<std::string> LoadedHistory() {
    board::LoadHistory();
    std::vector<std::string> history;
    for (int entry = 0; entry < board::RecentHistory::kEntries; ++entry) {
        history.emplace_back(board::Board().history.Entry(entry).view());
    }
    return history;
}

void ExpectPlainReading(const std::string& bytes) {
    WriteFileBytes(messagelog::kLogName, bytes);
    const std::vector<std::string> lines = PlainLines(bytes);
    std::vector<std::string> scanned;
    for (const std::string& line : lines) {
        scanned.push_back(line.substr(0, messagelog::LogScanner::kCopiedRoom) + " #" + std::to_string(line.size()));
    }
    EXPECT_EQ(ScannedLines(), scanned);
}

class ReadPathTest : public ::testing::Test {
protected:
    ReadPathTest() { platform::Active() = platform::SystemCalls(); }
    ~ReadPathTest() override { board::Board().history.Clear(); }
    TempDir dir;
};

// Lines of every kind and length, joined by every kind of line end.
std::string RandomLog(std::uint64_t seed, std::size_t size, bool ctrlZ) {
    bench::Random random(seed);
    std::string log;
    while (log.size() < size) {
        const std::size_t length = random.OneIn(8) ? random.Below(300) : random.Below(90);
        std::string line;
        switch (random.Below(4)) {
            case 0: line = "12/31 23:59 ID"; break;   // a header
            case 1: line = "12/31 ID"; break;         // a header in the first second of a day
            default: line = "handle" + std::string(8, ' ') + ">"; break;
        }
        while (line.size() < length) {
            static constexpr char kBytes[] = {'a', ' ', '>', '/', ':', '\n', '\x82', '\xA0', '\x0E', '\x0C'};
            line += kBytes[random.Below(sizeof kBytes)];
        }
        line.resize(length);
        log += line;
        static constexpr std::string_view kEnds[] = {"\r\n", "\r\n", "\r\n", "\r", "\r\r\n", "\r\n\n"};
        log += kEnds[random.Below(std::size(kEnds))];
    }
    if (ctrlZ) log[size / 2 + random.Below(static_cast<std::uint32_t>(size / 2))] = '\x1A';
    return log;
}

TEST_F(ReadPathTest, RandomLogsReadAsPlainReadingReadsThem) {
    struct Case {
        std::uint64_t seed;
        std::size_t size;
        bool ctrlZ;
    };
    const Case kCases[] = {{1, 100, false},       {2, 5000, false},        {3, kBuffer * 3, false},
                           {4, kBuffer * 3, true}, {5, kBuffer + 7, false}, {6, kBuffer * 2, true}};
    for (const Case& c : kCases) {
        SCOPED_TRACE("seed " + std::to_string(c.seed));
        ExpectPlainReading(RandomLog(c.seed, c.size, c.ctrlZ));
    }
}

TEST_F(ReadPathTest, GeneratedLogReadsAsPlainReadingReadsIt) {
    ExpectPlainReading(bench::GenerateLog(3, 3 * kBuffer));
}

// A message line, a line end or a Ctrl-Z placed at each byte around the end
// of the first buffer, and around a place inside it.
TEST_F(ReadPathTest, LinesAroundTheBufferEdgeReadAsPlainReadingReadsThem) {
    const std::string message = "handle        >" + std::string(70, 'm');
    const std::string next = "\r\nnext        >after the edge\r\n";
    struct Shape {
        const char* name;
        std::string atTheEdge;
    };
    const Shape kShapes[] = {
        {"MessageLine", "\r\n" + message + next},
        {"CrLf", "\r\n" + next},
        {"CrAlone", "\r" + next},
        {"CrCrLf", "\r\r\n" + next},
        {"CtrlZ", "\r\n" + message + "\x1A" + next},
        {"LastLineWithoutEnd", "\r\n" + message},
    };
    for (const Shape& shape : kShapes) {
        for (const std::size_t edge : {kBuffer, std::size_t{4096} + 16}) {
            for (std::size_t before = 0; before < 20; ++before) {
                SCOPED_TRACE(std::string(shape.name) + ", " + std::to_string(before) + " bytes before " +
                             std::to_string(edge));
                // One long line, lines of 15 to 17 bytes (mark at byte 15) in the last
                // kilobyte, then the shape starting `before` bytes short of the edge.
                std::string log(edge - before - 1024, 'g');
                log += "\r\n";
                for (int n = 0; log.size() + 40 < edge - before; ++n) {
                    log += std::string(14, 'f') + ">" + std::string(static_cast<std::size_t>(n % 3), 'x') + "\r\n";
                }
                log += std::string(edge - before - log.size(), 'g');
                ExpectPlainReading(log + shape.atTheEdge);
            }
        }
    }
}

// A log of message lines only, numbered, with the buffer's end at every
// byte around each of the last lines: the history is the last ten of them,
// newest first, whichever buffer each was read in.
TEST_F(ReadPathTest, TheLoadKeepsTheLastTenMessageLinesAcrossTheBufferEdge) {
    for (std::size_t shift = 0; shift < 40; ++shift) {
        SCOPED_TRACE(shift);
        std::string log(shift, 'g');
        log += "\r\n";
        std::vector<std::string> made;
        for (int n = 0; log.size() < kBuffer + 200; ++n) {
            made.push_back("handle " + std::to_string(n % 7) + "      >line " + std::to_string(n));
            log += made.back() + (n % 2 == 0 ? "\r\n" : "\r");
        }
        WriteFileBytes(messagelog::kLogName, log);
        const std::vector<std::string> expected(made.rbegin(), made.rbegin() + board::RecentHistory::kEntries);
        EXPECT_EQ(LoadedHistory(), expected);
    }
}

}  // namespace
