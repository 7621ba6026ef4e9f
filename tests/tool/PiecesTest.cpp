// The listing's reading in pieces on two threads against the plain reading
// line by line: on random logs, with pieces from a few bytes to the size the
// tool uses, on one thread and on two, every unit must come out whole, in
// order, with the same lines, numbers, places and line ends, and every
// posting as a stream the same but for the line ends; and a read that
// fails on either thread must end the reading with the error, not hang it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "Check.h"
#include "LogFiles.h"
#include "ShowPieces.h"
#include "Postings.h"
#include "Terminal.h"
#include "log/LogError.h"
#include "support/FaultInjector.h"
#include "support/TempDir.h"

namespace {

using porresku_log::LogLine;
using porresku_log::LogUnit;

// Everything a command may look at in a unit, one line of text per line.
std::string Describe(const LogUnit& unit) {
    std::string text = unit.posting ? "posting\n" : "alone\n";
    for (const LogLine& line : unit.lines) {
        text += std::to_string(line.number) + " @" + std::to_string(line.offset) + " +" +
                std::to_string(line.length) + " end " + std::to_string(line.endLength) + " kind " +
                std::to_string(static_cast<int>(line.kind)) + " sound " + std::to_string(line.sound()) + " [" +
                std::string(line.text()) + "]\n";
    }
    return text;
}

// A log of sound postings mixed with what goes wrong in logs: lone headers
// and message lines, long stray lines, faults in the Shift-JIS, LF and CR
// line ends, long runs with no header, Ctrl-Z, an unfinished last line.
std::string RandomLog(std::mt19937& random, std::size_t size) {
    std::string log;
    while (log.size() < size) {
        const unsigned pick = random() % 20;
        std::string line;
        if (pick < 7) {
            line = "12/0" + std::to_string(1 + random() % 9) + " 10:3" + std::to_string(random() % 10) + " U" +
                   std::to_string(random() % 1000);
        } else if (pick < 15) {
            line = "\x82\xA0\x82\xA2 " + std::string(9, ' ') + ">" + std::string(random() % 60, 'm') + "\x88\x9F";
            if (random() % 15 == 0) line += "\x82!";
        } else if (pick < 17) {
            line = std::string(random() % 300, 'z');
        } else if (pick < 18) {
            // A long run of message lines with no header among them.
            const unsigned run = 20 + random() % 80;
            for (unsigned i = 0; i + 1 < run; ++i) log += std::string(14, 'r') + ">run\r\n";
            line = std::string(14, 'r') + ">run";
        } else if (pick < 19) {
            line = std::string(2000 + random() % 3000, 'L');
        } else {
            line = "12/01 10:30 LF";
        }
        const unsigned end = random() % 25;
        log += line + (end == 0 ? "\r" : end == 1 ? "\n" : "\r\n");
    }
    if (random() % 3 == 0) log += "12/31 23:59 UNFINISHED";
    // Now and then a Ctrl-Z in the last half, which ends the text there.
    if (random() % 4 == 0) log.insert(log.size() / 2 + random() % (log.size() / 2), 1, '\x1A');
    return log;
}

std::string FileText(std::FILE* file) {
    std::string text;
    std::rewind(file);
    char buffer[4096];
    for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, file)) != 0;) text.append(buffer, got);
    return text;
}

struct PieceCase {
    const char* name;
    porresku_log::PieceOptions options;
};

class ShowUnitsTest : public testing::TestWithParam<PieceCase> {};

// On random logs, what show(file, out) writes through the pieces, and the
// count it returns, must be what expect(unit, text, count) makes of the
// line-by-line reading's units.
template <typename Expect, typename Show>
void MatchesTheLineByLineReading(unsigned seed, Expect expect, Show show) {
    const testing_host::TempDir folder;
    std::mt19937 random(seed);
    for (int round = 0; round < 30; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        const std::string log = RandomLog(random, round % 5 == 0 ? 300 * 1024 : 3000 + random() % 20000);
        testing_host::WriteFileBytes("porresku.log", log);

        std::string expected;
        std::int64_t expectedCount = 0;
        {
            const porresku_log::ReadableLog file("porresku.log");
            porresku_log::ReadUnits(file.handle(), [&](const LogUnit& unit) { expect(unit, expected, expectedCount); });
        }

        std::FILE* const stream = std::tmpfile();
        ASSERT_NE(stream, nullptr);
        std::int64_t count = 0;
        {
            porresku_log::Output out(stream);
            const porresku_log::ReadableLog file("porresku.log");
            count = show(file.handle(), out);
        }
        const std::string got = FileText(stream);
        std::fclose(stream);
        ASSERT_EQ(got, expected);
        EXPECT_EQ(count, expectedCount);
    }
}

TEST_P(ShowUnitsTest, GivesTheUnitsTheLineByLineReadingGives) {
    MatchesTheLineByLineReading(
        1211,
        [](const LogUnit& unit, std::string& expected, std::int64_t& postings) {
            expected += Describe(unit);
            postings += unit.posting;
        },
        [](platform::FileHandle file, porresku_log::Output& out) {
            return porresku_log::ShowUnits(
                file, out,
                [] {
                    return [](const LogUnit& unit, porresku_log::Output& pieceOut) {
                        pieceOut << Describe(unit);
                        return unit.posting;
                    };
                },
                GetParam().options);
        });
}

// What a posting sink hears, one line of text per line: the same as
// Describe(unit) of the posting, but for the line ends, which a stream
// does not tell.
std::string DescribeLine(const LogLine& line) {
    return std::to_string(line.number) + " @" + std::to_string(line.offset) + " +" + std::to_string(line.length) +
           " kind " + std::to_string(static_cast<int>(line.kind)) + " sound " + std::to_string(line.sound()) + " [" +
           std::string(line.text()) + "]\n";
}

// Writes each header as it comes and takes it back when no message line
// joins it, as the list and the export do.
class DescribingSink {
public:
    explicit DescribingSink(porresku_log::Output& out) : out_(out) {}
    void Header(const LogLine& line) {
        headerAt_ = out_.Written();
        out_ << "posting\n" << DescribeLine(line);
    }
    void Message(const LogLine& line) { out_ << DescribeLine(line); }
    void Close(bool posting) {
        if (!posting) out_.TakeBack(headerAt_);
    }

private:
    porresku_log::Output& out_;
    std::size_t headerAt_ = 0;
};

// The postings as a stream, against the postings of the line-by-line
// reading: a header left alone must leave nothing behind, however the
// pieces fall.
TEST_P(ShowUnitsTest, StreamsThePostingsTheLineByLineReadingGives) {
    MatchesTheLineByLineReading(
        1212,
        [](const LogUnit& unit, std::string& expected, std::int64_t& postings) {
            if (!unit.posting) return;
            expected += "posting\n";
            for (const LogLine& line : unit.lines) expected += DescribeLine(line);
            ++postings;
        },
        [](platform::FileHandle file, porresku_log::Output& out) {
            return porresku_log::ShowPostings(
                file, out, [](porresku_log::Output& pieceOut) { return DescribingSink(pieceOut); },
                GetParam().options);
        });
}

// A finding as a line of text, its line shown whole.
std::string DescribeFinding(const porresku_log::Finding& finding) {
    std::string text = std::to_string(finding.line) + " @" + std::to_string(finding.offset) + " " + finding.what;
    if (finding.shown != nullptr) text += " [" + std::string(finding.shown->text()) + "]";
    return text + "\n";
}

// The check in pieces against the check line by line: the same findings in
// the same order, the same counts, however the pieces fall.
TEST_P(ShowUnitsTest, ChecksAsTheLineByLineCheckDoes) {
    const testing_host::TempDir folder;
    std::mt19937 random(1213);
    for (int round = 0; round < 30; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        testing_host::WriteFileBytes("porresku.log",
                                     RandomLog(random, round % 5 == 0 ? 300 * 1024 : 3000 + random() % 20000));
        std::string expected;
        porresku_log::CheckSummary expectedSummary;
        {
            const porresku_log::ReadableLog file("porresku.log");
            expectedSummary = porresku_log::CheckLog(
                file.handle(), [&](const porresku_log::Finding& finding) { expected += DescribeFinding(finding); });
        }
        std::FILE* const stream = std::tmpfile();
        ASSERT_NE(stream, nullptr);
        porresku_log::CheckSummary summary;
        {
            porresku_log::Output out(stream);
            const porresku_log::ReadableLog file("porresku.log");
            summary = porresku_log::CheckLogInPieces(
                file.handle(), out,
                [](const porresku_log::Finding& finding, porresku_log::Output& to) { to << DescribeFinding(finding); },
                GetParam().options);
        }
        const std::string got = FileText(stream);
        std::fclose(stream);
        ASSERT_EQ(got, expected);
        EXPECT_EQ(summary.findings, expectedSummary.findings);
        EXPECT_EQ(summary.postings, expectedSummary.postings);
        EXPECT_EQ(summary.lines, expectedSummary.lines);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Pieces, ShowUnitsTest,
    testing::Values(PieceCase{"OneThreadAsTheToolReads", {64 * 1024, 4 * 1024 * 1024, 1}},
                    PieceCase{"TwoThreadsAsTheToolReads", {64 * 1024, 4 * 1024 * 1024, 2}},
                    // Pieces of a line or two, which must grow to find an end.
                    PieceCase{"TwoThreadsTinyPieces", {16, 4 * 1024 * 1024, 2}},
                    PieceCase{"TwoThreadsSmallPieces", {700, 4 * 1024 * 1024, 2}},
                    // The rest of the log read line by line once a piece can't end.
                    PieceCase{"TwoThreadsRestLineByLine", {256, 1024, 2}},
                    PieceCase{"OneThreadRestLineByLine", {256, 1024, 1}}),
    [](const testing::TestParamInfo<PieceCase>& info) { return std::string(info.param.name); });

// A marked piece lists the places of its CRs before the text's end, in
// order, however many fall in 32 bytes (a run of empty lines puts 32 there).
TEST(MarkedPiece, ListsTheCrsBeforeTheTextsEnd) {
    std::mt19937 random(1214);
    porresku_log::MarkedPiece marked;
    for (int round = 0; round < 3000; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        porresku_log::Piece piece;
        const std::size_t size = random() % 400;
        const unsigned crShare = 1 + random() % 16;  // some pieces nearly all CRs
        for (std::size_t i = 0; i < size; ++i) {
            const unsigned pick = random() % 16;
            piece.bytes.push_back(pick < crShare ? '\r' : pick == 15 && random() % 8 == 0 ? '\x1A' : 'a');
        }
        piece.size = size;
        marked.Mark(piece);
        std::vector<std::uint32_t> expected;
        const std::size_t textEnd = std::min(size, static_cast<std::size_t>(
                                                       std::find(piece.bytes.begin(), piece.bytes.end(), '\x1A') -
                                                       piece.bytes.begin()));
        for (std::size_t i = 0; i < textEnd; ++i) {
            if (piece.bytes[i] == '\r') expected.push_back(static_cast<std::uint32_t>(i));
        }
        ASSERT_EQ(marked.textEnd, textEnd);
        ASSERT_EQ(marked.lineEnds, expected);
        ASSERT_EQ(marked.lines, static_cast<std::int64_t>(expected.size()));
    }
}

// A read that fails, on the first piece or a later one, on either thread:
// the reading ends with the error, and what went out before it is the
// units of the pieces before, whole and in order.
TEST(ShowUnitsFailure, AFailedReadEndsTheReadingWithItsError) {
    const testing_host::TempDir folder;
    std::string log;
    for (int posting = 0; log.size() < 200 * 1024; ++posting) {
        log += "12/01 10:30 U" + std::to_string(posting) + "\r\n" + std::string(14, 'h') + ">text\r\n";
    }
    testing_host::WriteFileBytes("porresku.log", log);
    std::string expected;
    {
        const porresku_log::ReadableLog file("porresku.log");
        porresku_log::ReadUnits(file.handle(), [&](const LogUnit& unit) { expected += Describe(unit); });
    }
    for (const int nth : {1, 2, 3, 7}) {
        SCOPED_TRACE("read " + std::to_string(nth) + " fails");
        std::FILE* const stream = std::tmpfile();
        ASSERT_NE(stream, nullptr);
        bool threw = false;
        {
            porresku_log::Output out(stream);
            const porresku_log::ReadableLog file("porresku.log");
            const testing_host::FaultInjector fault({{testing_host::FileCall::kRead, nth}});
            try {
                porresku_log::ShowUnits(
                    file.handle(), out,
                    [] {
                        return [](const LogUnit& unit, porresku_log::Output& pieceOut) {
                            pieceOut << Describe(unit);
                            return true;
                        };
                    },
                    {1024, 4 * 1024 * 1024, 2});
            } catch (const messagelog::LogError&) {
                threw = true;
            }
        }
        EXPECT_TRUE(threw);
        const std::string got = FileText(stream);
        std::fclose(stream);
        EXPECT_EQ(got, expected.substr(0, got.size()));
        EXPECT_LT(got.size(), expected.size());
    }
}

}  // namespace
