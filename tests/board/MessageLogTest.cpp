#include "board/BoardState.h"
#include "board/BoardTexts.h"
#include "board/HistoryLoad.h"
#include "board/ListingYears.h"
#include "board/WaitingPostings.h"
#include "log/LineEnds.h"
#include "log/LogAppender.h"
#include "log/LogError.h"
#include "log/LogFormat.h"
#include "log/LogScanner.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "support/ExpectedTexts.h"
#include "support/PlainLog.h"
#include "support/TempDir.h"

namespace board {
namespace {

using namespace messagelog;

using testing_host::ReadFileBytes;
using testing_host::WriteFileBytes;

// The scanner's buffer: files longer than this make it refill.
constexpr std::size_t kBuffer = 128 * 1024;
// The error code every injected failure reports.
constexpr platform::ErrorCode kInjected = 5;

// ---- fault injection --------------------------------------------------------

// What the replaced platform entries do; plain function pointers cannot
// capture, so they read this.
struct Faults {
    int readsBeforeFailure = 0;     // successful reads before the failing one
    std::size_t bytesBeforeWriteFailure = 0;
    int writeCalls = 0;
    std::vector<std::string> diagnostics;
};

Faults& TheFaults() {
    static Faults faults;
    return faults;
}

platform::ErrorCode FailingRead(platform::FileHandle file, void* buffer, std::size_t size, std::size_t* got) {
    if (TheFaults().readsBeforeFailure-- > 0) return platform::SystemCalls().read(file, buffer, size, got);
    *got = 0;
    return kInjected;
}

// Lets the first bytes reach the file, then fails, as a full disk does.
platform::ErrorCode PartialWrite(platform::FileHandle file, const void* data, std::size_t size,
                                 std::size_t* written) {
    ++TheFaults().writeCalls;
    const std::size_t part = std::min(size, TheFaults().bytesBeforeWriteFailure);
    if (const platform::ErrorCode error = platform::SystemCalls().write(file, data, part, written)) return error;
    return kInjected;
}

platform::ErrorCode CountedWrite(platform::FileHandle file, const void* data, std::size_t size,
                                 std::size_t* written) {
    ++TheFaults().writeCalls;
    return platform::SystemCalls().write(file, data, size, written);
}

platform::ErrorCode FailingSeek(platform::FileHandle, std::int64_t, platform::SeekFrom, std::int64_t*) {
    return kInjected;
}

platform::ErrorCode FailingTruncate(platform::FileHandle) { return kInjected; }

platform::ErrorCode FailingOpen(const char*, platform::OpenMode, platform::FileHandle* file) {
    *file = platform::kNoFile;
    return kInjected;
}

void CapturedDiagnostic(const char* text) { TheFaults().diagnostics.emplace_back(text); }

// A fresh folder, an empty board and the system's platform calls; whatever a
// test replaced is put back when it ends.
class MessageLogTest : public ::testing::Test {
protected:
    MessageLogTest() {
        ResetBoard();
        TheFaults() = Faults{};
    }
    ~MessageLogTest() override {
        platform::Active() = platform::SystemCalls();
        ResetBoard();
    }

    static void ResetBoard() {
        Board().history.Clear();
        Board().busy = false;
        Board().queued.clear();
    }

    static void FailReadAfter(int successfulReads) {
        TheFaults().readsBeforeFailure = successfulReads;
        platform::Active().read = FailingRead;
    }
    static void FailWriteAfter(std::size_t bytes) {
        TheFaults().bytesBeforeWriteFailure = bytes;
        platform::Active().write = PartialWrite;
    }
    static void CaptureDiagnostics() { platform::Active().diagnostic = CapturedDiagnostic; }

    // True when the log can be opened for appending with the system's calls:
    // nothing of ours still holds it open.
    static bool LogOpensForAppending() {
        platform::FileHandle file = platform::kNoFile;
        if (platform::SystemCalls().open(kLogName, platform::OpenMode::kAppend, &file) != 0) return false;
        platform::SystemCalls().close(file);
        return true;
    }

    static std::string Log() { return ReadFileBytes(kLogName); }

    // The operation a failing WriteQueuedPostings reports; empty when it did not throw.
    static std::optional<LogError::Operation> WriteFailure() {
        try {
            WriteQueuedPostings();
        } catch (const LogError& error) {
            return error.operation();
        }
        return std::nullopt;
    }

    testing_host::TempDir dir;
};

std::string MessageText(std::string_view handle, std::string_view text) {
    return expected::Prefix(std::string(handle)) + std::string(text);
}

// A whole posting as the board queues it.
std::string Posting(std::string_view header, std::string_view message) {
    return std::string(header) + "\r\n" + std::string(message) + "\r\n";
}

std::size_t Occurrences(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
    return count;
}

// The log's lines as the listing reads them: each by its first 80 bytes.
std::vector<std::string> ListedLines(LogScanner& scanner) {
    std::vector<std::string> lines;
    scanner.Scan(
        [&](const ScannedLine& line) {
            lines.emplace_back(ListedPart(line.bytes));
            return lines.size() < 1000;
        },
        [] {});
    return lines;
}

std::vector<std::string> ReadAllLines() {
    platform::FileHandle handle = platform::kNoFile;
    EXPECT_EQ(platform::Active().open(kLogName, platform::OpenMode::kRead, &handle), 0);
    const OpenFile file(handle);
    LogScanner scanner(file.handle());
    return ListedLines(scanner);
}

// ---- reading the log as the listing does -------------------------------------

TEST_F(MessageLogTest, ScannerSplitsLinesAtCrAndStopsAtCtrlZ) {
    struct Case {
        const char* name;
        std::string log;
        std::vector<std::string> lines;
    };
    const std::vector<Case> cases = {
        {"CrLfEnds", "one\r\ntwo\r\n", {"one", "two"}},
        {"CrAloneEnds", "one\rtwo\r", {"one", "two"}},
        {"OnlyOneLfIsSkipped", "one\r\n\ntwo\r\n", {"one", "\ntwo"}},
        {"LoneLfIsAByte", "one\ntwo\r\nthree\n", {"one\ntwo", "three\n"}},
        {"CrCrLfGivesAnEmptyLine", "one\r\r\ntwo", {"one", "", "two"}},
        {"EmptyLines", "\r\n\r\n", {"", ""}},
        {"LastLineWithoutEnd", "one\r\ntwo", {"one", "two"}},
        {"EmptyFile", "", {}},
        {"CtrlZEndsText", "one\r\ntw\x1Ao\r\nthree\r\n", {"one", "tw"}},
        {"CtrlZAfterLineEnd", "one\r\n\x1Atwo\r\n", {"one"}},
        {"CtrlZFirst", "\x1Aone\r\n", {}},
        {"CtrlZBetweenCrAndLf", "one\r\x1A\ntwo", {"one"}},
        {"LongLineKeepsItsFirst80Bytes", std::string(100, 'x') + "\r\nnext", {std::string(80, 'x'), "next"}},
        {"ExactlyRoomBytes", std::string(80, 'y') + "\r\n", {std::string(80, 'y')}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WriteFileBytes(kLogName, c.log);
        EXPECT_EQ(ReadAllLines(), c.lines);
    }
}

TEST_F(MessageLogTest, ScannerCarriesLinesAndLineEndsAcrossItsBuffer) {
    struct Case {
        const char* name;
        std::string log;
        std::vector<std::string> lines;
    };
    const std::string a80(80, 'a');
    const std::vector<Case> cases = {
        {"LineLongerThanTheBuffer", std::string(kBuffer * 2 + 100, 'a') + "\r\nnext\r\n", {a80, "next"}},
        {"CrLfSplitByTheBuffer", std::string(kBuffer - 1, 'a') + "\r\ntail\r\n", {a80, "tail"}},
        {"CrLfSplitAtTheEnd", std::string(kBuffer - 1, 'a') + "\r\n", {a80}},
        {"CrThenCrLfSplit", std::string(kBuffer - 1, 'a') + "\r\r\n", {a80, ""}},
        {"LineAcrossTheBuffer", std::string(kBuffer - 5, 'a') + "\r\nabcdef\r\n", {a80, "abcdef"}},
        {"CtrlZFirstInSecondBuffer", std::string(kBuffer - 2, 'a') + "\r\n\x1A" "after\r\n", {a80}},
        {"CtrlZInSecondBuffer", std::string(kBuffer - 2, 'a') + "\r\nb\r\nc\x1A" "after\r\nd\r\n", {a80, "b", "c"}},
        {"CtrlZLastInFirstBuffer", std::string(kBuffer - 1, 'a') + "\x1A" "more\r\n", {a80}},
        {"NothingAfterCtrlZIsRead", "one\r\n\x1A" + std::string(kBuffer * 2, 'z') + "\r\nlater\r\n", {"one"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WriteFileBytes(kLogName, c.log);
        EXPECT_EQ(ReadAllLines(), c.lines);
    }
}

// The CR marks of a filling, made sixteen bytes at a time where the
// processor can and four at a time in the rest, against a plain walk: every
// CR at every place in a word, in stretches of every length up to a few
// words, with and without a Ctrl-Z.
TEST(LineEndsTest, MarksEveryCrAndFindsTheFirstCtrlZ) {
    std::mt19937 random(1210);
    const char bytes[] = {'a', '\r', '\n', '\x1A', '\x8D', '\x0D' + 0x10, '\x00', '\xFF'};
    for (int round = 0; round < 20000; ++round) {
        const std::size_t size = random() % 200;
        std::string text;
        for (std::size_t i = 0; i < size; ++i) {
            // A Ctrl-Z now and then only, so that most stretches have none.
            char c = bytes[random() % sizeof bytes];
            if (c == kCtrlZ && random() % 8 != 0) c = 'b';
            text += c;
        }
        std::vector<std::uint32_t> bits(messagelog::LineEndWords(size) + 1, 0xDEADBEEF);
        const std::size_t ctrlZ = messagelog::MarkLineEnds(text.data(), size, bits.data());
        const std::size_t plainCtrlZ = std::min(text.find(kCtrlZ), size);
        ASSERT_EQ(ctrlZ, plainCtrlZ) << "round " << round;
        for (std::size_t i = 0; i < plainCtrlZ; ++i) {
            ASSERT_EQ((bits[i / 32] >> (i % 32)) & 1, text[i] == '\r' ? 1u : 0u) << "round " << round << ", byte " << i;
        }
        ASSERT_EQ(bits.back(), 0xDEADBEEF) << "wrote past its words";
        for (std::size_t from = 0; from <= plainCtrlZ; ++from) {
            const std::size_t next = std::min(text.find('\r', from), plainCtrlZ);
            ASSERT_EQ(messagelog::LineEndCursor(bits.data(), from, plainCtrlZ).Next(), next) << "round " << round;
        }
    }
}

// The listing goes back to a line it passed: from a line's beginning, from
// the place told right after a line (before the LF after its CR may be
// passed over) and from where a scan stopped at a line goes on, the scanner
// reads the same lines again, whether the place lies in the text the buffer
// still holds or earlier in the file.
TEST_F(MessageLogTest, ScannerGoesOnFromAPlaceItTold) {
    const std::string a(kBuffer - 1, 'a');
    const std::vector<std::pair<const char*, std::string>> cases = {
        {"ShortLog", "one\r\ntwo\rthree\r\n\r\nfour"},
        {"CrLfSplitByTheBuffer", a + "\r\nb\r\n" + std::string(kBuffer, 'c') + "\r\nd\r\n"},
        {"CrLastInTheBufferLfAfter", a + "\r\n\ntwo\r\n"},
        {"CrLastInTheBufferNoLfAfter", a + "\rtwo\r\n"},
        {"LinesInThreeBuffers", std::string(kBuffer / 2, 'a') + "\r\nb\r\n" + std::string(kBuffer, 'c') + "\r\nd\r\n"},
        {"CtrlZInTheLastBuffer", a + "\r\nb\r\nc\x1A" "after\r\n"},
    };
    for (const auto& [name, log] : cases) {
        SCOPED_TRACE(name);
        WriteFileBytes(kLogName, log);
        std::vector<std::string> lines;
        for (const std::string& line : testing_host::PlainLines(log)) lines.push_back(line.substr(0, 80));
        platform::FileHandle handle = platform::kNoFile;
        ASSERT_EQ(platform::Active().open(kLogName, platform::OpenMode::kRead, &handle), 0);
        const OpenFile file(handle);
        LogScanner scanner(file.handle());
        // Each place with the number of the first line read from it.
        std::vector<std::pair<ScanPlace, std::size_t>> places;
        std::size_t count = 0;
        scanner.Scan(
            [&](const ScannedLine& line) {
                places.push_back({{line.offset, false}, count});
                places.push_back({scanner.PlaceAfter(line), count + 1});
                ++count;
                return true;
            },
            [] {});
        ASSERT_EQ(count, lines.size());
        for (std::size_t stopAt = 0; stopAt < lines.size(); ++stopAt) {
            scanner.StartAt({});
            std::size_t seen = 0;
            scanner.Scan([&](const ScannedLine&) { return seen++ != stopAt; }, [] {});
            places.push_back({{scanner.NextLineAt(), false}, stopAt + 1});
        }
        for (auto place = places.rbegin(); place != places.rend(); ++place) {
            SCOPED_TRACE("from " + std::to_string(place->first.offset) + (place->first.skipLineFeed ? " after an LF" : ""));
            scanner.StartAt(place->first);
            EXPECT_EQ(ListedLines(scanner),
                      std::vector<std::string>(lines.begin() + static_cast<std::ptrdiff_t>(place->second), lines.end()));
        }
        // A place past the end reads nothing, and the text is whole again
        // after it, also from the text the buffer held before.
        scanner.StartAt({});
        scanner.Scan([](const ScannedLine&) { return false; }, [] {});
        scanner.StartAt({static_cast<std::int64_t>(log.size()) + 1000, false});
        EXPECT_EQ(ListedLines(scanner), std::vector<std::string>{});
        scanner.StartAt({});
        EXPECT_EQ(ListedLines(scanner), lines);
    }
}

// ---- texts ------------------------------------------------------------------

TEST(MessageLogTextTest, TimeKeyLeavesTheTimeOutOnlyInTheFirstSecondOfADay) {
    struct Case {
        CivilTime moment;
        std::string key;
    };
    const std::vector<Case> cases = {
        {{1998, 11, 18, 9, 5, 30, 0}, "11/18 09:05"},
        {{1998, 11, 18, 0, 0, 0, 0}, "11/18"},
        {{1998, 11, 18, 0, 0, 0, 999}, "11/18"},
        {{1998, 11, 18, 0, 0, 1, 0}, "11/18 00:00"},
        {{1998, 11, 18, 0, 1, 0, 0}, "11/18 00:01"},
        {{1998, 11, 18, 1, 0, 0, 0}, "11/18 01:00"},
        {{2024, 1, 2, 23, 59, 59, 999}, "01/02 23:59"},
        {{2024, 12, 31, 12, 0, 0, 0}, "12/31 12:00"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.key);
        EXPECT_EQ(TimeKey(c.moment).view(), c.key);
    }
}

TEST(MessageLogTextTest, HandlePrefixPadsOrCutsTo14BytesThenMarks) {
    struct Case {
        std::string handle;
        std::string prefix;
    };
    const std::vector<Case> cases = {
        {"abc", "abc" + std::string(11, ' ') + ">"},
        {"", std::string(14, ' ') + ">"},
        {"abcdefghijklmn", "abcdefghijklmn>"},
        {"abcdefghijklmnopqrst", "abcdefghijklmn>"},
        // The cut may split a two-byte character.
        {std::string(13, 'h') + "\x82\xDB", std::string(13, 'h') + "\x82>"},
        {"\x82\xDB\x82\xEA", "\x82\xDB\x82\xEA" + std::string(10, ' ') + ">"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.handle);
        const HandlePrefixText prefix = HandlePrefix(c.handle);
        EXPECT_EQ(prefix.size(), 15u);
        EXPECT_EQ(prefix.view(), c.prefix);
    }
}

TEST(MessageLogTextTest, RowsAndBusyNoticeHaveTheirExactBytes) {
    EXPECT_EQ(kRuleRow, std::string(15, ' ') + std::string(64, '_'));
    EXPECT_EQ(kHeadingRow, " Handle name   " + std::string(64, '='));
    EXPECT_EQ(kClosingRow, std::string(14, '-') + " " + std::string(64, '='));
    EXPECT_EQ(kRuleRow.size(), 79u);
    EXPECT_EQ(kHeadingRow.size(), 79u);
    EXPECT_EQ(kClosingRow.size(), 79u);
    EXPECT_EQ(kBusyNotice,
              "\x91\xBC\x82\xCC\x83\x60\x83\x83\x83\x93\x83\x6C\x83\x8B\x82\xC5\x89\x7B\x97\x97\x92\x86");
    EXPECT_EQ(kBusyNotice.size(), 22u);
}

// ---- RecentHistory ----------------------------------------------------------

TEST(RecentHistoryTest, KeepsTheLastTenNewestFirst) {
    RecentHistory history;
    for (int i = 0; i < RecentHistory::kEntries; ++i) EXPECT_TRUE(history.Entry(i).empty());
    for (int n = 1; n <= 3; ++n) history.Push("line " + std::to_string(n));
    EXPECT_EQ(history.Entry(0).view(), "line 3");
    EXPECT_EQ(history.Entry(2).view(), "line 1");
    for (int i = 3; i < RecentHistory::kEntries; ++i) EXPECT_TRUE(history.Entry(i).empty()) << i;

    for (int n = 4; n <= 12; ++n) history.Push("line " + std::to_string(n));
    for (int i = 0; i < RecentHistory::kEntries; ++i) {
        EXPECT_EQ(history.Entry(i).view(), "line " + std::to_string(12 - i)) << i;
    }

    history.Clear();
    for (int i = 0; i < RecentHistory::kEntries; ++i) EXPECT_TRUE(history.Entry(i).empty()) << i;
    history.Push("again");
    EXPECT_EQ(history.Entry(0).view(), "again");
    EXPECT_TRUE(history.Entry(1).empty());
}

TEST(RecentHistoryTest, PushCutsTo80Bytes) {
    RecentHistory history;
    history.Push(std::string(79, 'a') + "\x82\xDB" + std::string(19, 'b'));
    EXPECT_EQ(history.Entry(0).view(), std::string(79, 'a') + "\x82");
}

// ---- LoadHistory ------------------------------------------------------------

TEST_F(MessageLogTest, LoadHistoryKeepsTheLastTenMessageLinesNewestFirst) {
    struct Case {
        const char* name;
        std::optional<std::string> log;  // empty: no log at all
        std::vector<std::string> entries;
    };
    const std::string m1 = MessageText("SYSOP", "first");
    const std::string m2 = MessageText("\x82\xDB\x82\xEA", "second");
    std::string twelve;
    std::vector<std::string> lastTen;
    for (int n = 1; n <= 12; ++n) {
        char header[32];
        std::snprintf(header, sizeof header, "11/18 09:%02d SYSOP", n);
        twelve += Posting(header, MessageText("SYSOP", "note " + std::to_string(n)));
        if (n >= 3) lastTen.insert(lastTen.begin(), MessageText("SYSOP", "note " + std::to_string(n)));
    }
    const std::string long100 = MessageText("A", std::string(85, 't'));
    const std::vector<Case> cases = {
        {"NoLog", std::nullopt, {}},
        {"EmptyLog", "", {}},
        {"TwelvePostings", twelve, lastTen},
        {"LongLine", Posting("11/18 09:05 A", long100), {long100.substr(0, 80)}},
        // Byte 15 of this header is ">", and it is still no message line.
        {"HeaderWithMark", Posting("11/18 09:05 AB>CDEFG", m1), {m1}},
        {"MidnightHeader", Posting("11/18 SYSOP", m1) + Posting("11/18 SYSOP", m2), {m2, m1}},
        {"EmptyLineAndEmptyUserId", m1 + "\r\n\r\n11/18 09:05 \r\n11/18 09:05\r\n" + m2 + "\r\n", {m2, m1}},
        {"MarkRules",
         "abcdefghijklmn>\r\nabcdefghijklm>xy\r\nabcdefghijklmno>x\r\nshort>\r\nabcdefghijklmn>x\r\n",
         {"abcdefghijklmn>x"}},
        {"CtrlZEndsTheText", m1 + "\r\n\x1A" + m2 + "\r\n", {m1}},
        {"LastLineWithoutEnd", m1 + "\r\n" + m2, {m2, m1}},
        {"CrAloneAndLoneLf", m1 + "\r" + m2 + "\nrest\r\n", {m2 + "\nrest", m1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove(kLogName);
        if (c.log) WriteFileBytes(kLogName, *c.log);
        Board().busy = true;
        Board().history.Push(MessageText("OLD", "stale entry"));
        LoadHistory();
        EXPECT_FALSE(Board().busy);
        for (int i = 0; i < RecentHistory::kEntries; ++i) {
            const std::string expected = i < static_cast<int>(c.entries.size()) ? c.entries[i] : "";
            EXPECT_EQ(Board().history.Entry(i).view(), expected) << "entry " << i;
        }
    }
}

TEST_F(MessageLogTest, LoadHistoryKeepsWhatItReadBeforeAReadErrorAndReportsIt) {
    // The first buffer ends exactly at the end of a line; the second read fails.
    const std::string early1 = MessageText("A", "early one");
    const std::string early2 = MessageText("B", "early two");
    std::string log = early1 + "\r\n" + early2 + "\r\n";
    log = std::string(kBuffer - log.size() - 2, 'f') + "\r\n" + log;
    ASSERT_EQ(log.size(), kBuffer);
    log += MessageText("C", "late") + "\r\n";
    WriteFileBytes(kLogName, log);

    struct Case {
        int successfulReads;
        std::vector<std::string> entries;
    };
    const std::vector<Case> cases = {{0, {}}, {1, {early2, early1}}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.successfulReads);
        TheFaults().diagnostics.clear();
        CaptureDiagnostics();
        FailReadAfter(c.successfulReads);
        Board().history.Push(MessageText("OLD", "stale entry"));
        EXPECT_NO_THROW(LoadHistory());
        platform::Active() = platform::SystemCalls();
        for (int i = 0; i < RecentHistory::kEntries; ++i) {
            const std::string expected = i < static_cast<int>(c.entries.size()) ? c.entries[i] : "";
            EXPECT_EQ(Board().history.Entry(i).view(), expected) << "entry " << i;
        }
        ASSERT_EQ(TheFaults().diagnostics.size(), 1u);
        EXPECT_NE(TheFaults().diagnostics[0].find("read"), std::string::npos) << TheFaults().diagnostics[0];
        EXPECT_EQ(TheFaults().diagnostics[0].find('\n'), std::string::npos);
        EXPECT_TRUE(LogOpensForAppending());
    }
}

// ---- WriteQueuedPostings ----------------------------------------------------

TEST_F(MessageLogTest, WriteCreatesAMissingLog) {
    const std::string p1 = Posting("11/18 09:05 SYSOP", MessageText("SYSOP", "hello"));
    const std::string p2 = Posting("11/18 09:06 GUEST", MessageText("guest", "hi"));
    Board().queued = {p1, p2};
    EXPECT_TRUE(WriteQueuedPostings());
    EXPECT_EQ(Log(), p1 + p2);
    EXPECT_TRUE(Board().queued.empty());
    EXPECT_TRUE(LogOpensForAppending());
}

TEST_F(MessageLogTest, WriteEndsAnUnfinishedLineAndCutsACtrlZNearTheEnd) {
    struct Case {
        const char* name;
        std::string log;
        std::string kept;  // what is left of it before the postings
    };
    const std::string z200(200, 'z');
    const std::vector<Case> cases = {
        {"Empty", "", ""},
        {"EndsInCrLf", "A\r\n", "A\r\n"},
        {"EndsInCr", "A\r", "A\r"},
        {"Unfinished", "A", "A\r\n"},
        {"EndsInLoneLf", "A\n", "A\n\r\n"},
        {"EndsInLfCr", "A\n\r", "A\n\r"},
        {"CtrlZAfterCrLf", "A\r\n\x1A", "A\r\n"},
        {"CtrlZsAndJunk", "A\r\n\x1A\x1Ajunk", "A\r\n"},
        {"CtrlZAfterUnfinishedLine", "AB\x1A", "AB\r\n"},
        {"CtrlZAfterOneByte", "A\x1A", "A\r\n"},
        {"CtrlZAfterCr", "\r\x1A", "\r"},
        {"CtrlZAfterLf", "\n\x1A", "\n\r\n"},
        {"OnlyCtrlZ", "\x1A", ""},
        {"CtrlZFirst", "\x1A" "junk\r\n", ""},
        {"CtrlZ128FromTheEnd", "A\r\n\x1A" + std::string(127, 'y'), "A\r\n"},
        {"CtrlZ129FromTheEnd", "A\r\n\x1A" + std::string(126, 'y') + "\r\n",
         "A\r\n\x1A" + std::string(126, 'y') + "\r\n"},
        {"CtrlZ129FromTheEndUnfinished", "A\r\n\x1A" + std::string(128, 'y'),
         "A\r\n\x1A" + std::string(128, 'y') + "\r\n"},
        {"FirstCtrlZOfTheWindow", z200 + "\r\n\x1A" + std::string(60, 'j') + "\x1A" + std::string(66, 'j'),
         z200 + "\r\n"},
        // The cut leaves one byte of the window, or none: the line end is
        // looked up in front of it.
        {"CutLeavesCrOfTheWindow", z200 + "\r\x1A" + std::string(126, 'j'), z200 + "\r"},
        {"CutLeavesByteOfTheWindow", z200 + "\r\nx\x1A" + std::string(126, 'j'), z200 + "\r\nx\r\n"},
        {"CutLeavesNothingOfTheWindowAfterCrLf", z200 + "\r\n\x1A" + std::string(127, 'j'), z200 + "\r\n"},
        {"CutLeavesNothingOfTheWindowAfterCr", z200 + "\r\x1A" + std::string(127, 'j'), z200 + "\r"},
        {"CutLeavesNothingOfTheWindowUnfinished", z200 + "\x1A" + std::string(127, 'j'), z200 + "\r\n"},
    };
    const std::string posting = Posting("11/18 09:05 SYSOP", MessageText("SYSOP", "hello"));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WriteFileBytes(kLogName, c.log);
        Board().queued = {posting};
        EXPECT_TRUE(WriteQueuedPostings());
        EXPECT_EQ(Log(), c.kept + posting);
        EXPECT_TRUE(Board().queued.empty());
    }
}

TEST_F(MessageLogTest, WriteAppendsEveryQueuedPostingOldestFirstInOneWrite) {
    const std::string p1 = Posting("11/18 09:05 SYSOP", MessageText("SYSOP", "one"));
    const std::string p2 = Posting("11/18 09:06 SYSOP", MessageText("SYSOP", "two"));
    const std::string p3 = Posting("11/18 09:07 SYSOP", MessageText("SYSOP", "three"));
    WriteFileBytes(kLogName, "old line");
    Board().queued = {p1, p2, p3};
    platform::Active().write = CountedWrite;
    EXPECT_TRUE(WriteQueuedPostings());
    EXPECT_EQ(TheFaults().writeCalls, 1);
    EXPECT_EQ(Log(), "old line\r\n" + p1 + p2 + p3);
    EXPECT_TRUE(Board().queued.empty());

    // The log read back: the header line survives the unfinished line before it.
    const std::vector<std::string> lines = ReadAllLines();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[0], "old line");
    EXPECT_EQ(lines[1], "11/18 09:05 SYSOP");
}

TEST_F(MessageLogTest, WriteKeepsTheQueueWhenTheLogCannotBeOpened) {
    const std::string posting = Posting("11/18 09:05 SYSOP", MessageText("SYSOP", "hello"));
    WriteFileBytes(kLogName, "A\r\n");
    Board().queued = {posting};
    {
        // A reader holds the log (a shared lock on POSIX, a read-only share on
        // Windows), and a writer is refused.
        platform::FileHandle reader = platform::kNoFile;
        ASSERT_EQ(platform::SystemCalls().open(kLogName, platform::OpenMode::kRead, &reader), 0);
        EXPECT_FALSE(WriteQueuedPostings());
        platform::SystemCalls().close(reader);
    }
    EXPECT_EQ(Board().queued, std::vector<std::string>{posting});
    EXPECT_EQ(Log(), "A\r\n");

    platform::Active().open = FailingOpen;
    EXPECT_FALSE(WriteQueuedPostings());
    std::filesystem::remove(kLogName);
    EXPECT_FALSE(WriteQueuedPostings());
    EXPECT_FALSE(std::filesystem::exists(kLogName));
    EXPECT_EQ(Board().queued, std::vector<std::string>{posting});

    platform::Active() = platform::SystemCalls();
    EXPECT_TRUE(WriteQueuedPostings());
    EXPECT_EQ(Log(), posting);
}

TEST_F(MessageLogTest, WriteErrorLeavesNoPartOfAPostingAndALaterWriteGivesItOnce) {
    const std::string before = "11/18 09:00 OLD\r\nunfinished";
    const std::string p1 = Posting("11/18 09:05 SYSOP", MessageText("SYSOP", "one"));
    const std::string p2 = Posting("11/18 09:06 GUEST", MessageText("GUEST", "two"));
    const std::size_t all = 2 + p1.size() + p2.size();
    for (const std::size_t reached : {std::size_t{0}, std::size_t{1}, 2 + p1.size() - 1, 2 + p1.size(),
                                      2 + p1.size() + 5, all - 1}) {
        SCOPED_TRACE(reached);
        WriteFileBytes(kLogName, before);
        Board().queued = {p1, p2};
        FailWriteAfter(reached);
        EXPECT_EQ(WriteFailure(), LogError::kWrite);
        platform::Active() = platform::SystemCalls();
        EXPECT_EQ(Log(), before);
        EXPECT_EQ(Board().queued, (std::vector<std::string>{p1, p2}));
        EXPECT_TRUE(LogOpensForAppending());

        EXPECT_TRUE(WriteQueuedPostings());
        EXPECT_EQ(Log(), before + "\r\n" + p1 + p2);
        EXPECT_TRUE(Board().queued.empty());
    }
}

TEST_F(MessageLogTest, WriteErrorWithAFailedCutBackDropsOnlyPostingsThatReachedTheLog) {
    const std::string before = "11/18 09:00 OLD\r\nunfinished";
    const std::string p1 = Posting("11/18 09:05 SYSOP", MessageText("SYSOP", "one"));
    const std::string p2 = Posting("11/18 09:06 GUEST", MessageText("GUEST", "two"));
    const std::string p3 = Posting("11/18 09:07 ADMIN", MessageText("ADMIN", "three"));
    struct Case {
        std::size_t reached;  // bytes of the write that reached the log
        std::vector<std::string> left;
    };
    const std::vector<Case> cases = {
        {0, {p1, p2, p3}},
        {1, {p1, p2, p3}},
        {2, {p1, p2, p3}},
        {2 + p1.size() - 1, {p1, p2, p3}},
        {2 + p1.size(), {p2, p3}},
        {2 + p1.size() + 4, {p2, p3}},
        {2 + p1.size() + p2.size(), {p3}},
        {2 + p1.size() + p2.size() + p3.size() - 1, {p3}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reached);
        WriteFileBytes(kLogName, before);
        Board().queued = {p1, p2, p3};
        FailWriteAfter(c.reached);
        platform::Active().truncate = FailingTruncate;
        EXPECT_EQ(WriteFailure(), LogError::kWrite);
        platform::Active() = platform::SystemCalls();
        EXPECT_EQ(Board().queued, c.left);
        EXPECT_TRUE(LogOpensForAppending());

        // Written again: every posting is in the log whole exactly once.
        EXPECT_TRUE(WriteQueuedPostings());
        const std::string log = Log();
        for (const std::string& posting : {p1, p2, p3}) EXPECT_EQ(Occurrences(log, posting), 1u) << posting;
        EXPECT_EQ(log.substr(0, before.size()), before);
    }
}

TEST_F(MessageLogTest, ErrorsBeforeTheWriteThrowAndLeaveTheLogClosed) {
    struct Case {
        const char* name;
        void (*inject)();
        std::string log;
        LogError::Operation operation;
    };
    const std::vector<Case> cases = {
        {"Seek", [] { platform::Active().seek = FailingSeek; }, "A\r\n", LogError::kSeek},
        {"Read", [] { FailReadAfter(0); }, "A\r\n", LogError::kRead},
        {"TruncateAtCtrlZ", [] { platform::Active().truncate = FailingTruncate; }, "A\r\n\x1Ajunk",
         LogError::kTruncate},
    };
    const std::string posting = Posting("11/18 09:05 SYSOP", MessageText("SYSOP", "hello"));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WriteFileBytes(kLogName, c.log);
        Board().queued = {posting};
        platform::Active().write = CountedWrite;
        TheFaults().writeCalls = 0;
        c.inject();
        EXPECT_EQ(WriteFailure(), c.operation);
        platform::Active() = platform::SystemCalls();
        EXPECT_EQ(TheFaults().writeCalls, 0);
        EXPECT_EQ(Log(), c.log);
        EXPECT_EQ(Board().queued, std::vector<std::string>{posting});
        EXPECT_TRUE(LogOpensForAppending());
    }
}

}  // namespace
}  // namespace board
