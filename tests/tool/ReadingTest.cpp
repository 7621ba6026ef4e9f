// The tool's reading of the log below its command line: the Shift-JIS test
// of a line and the marks on a whole stretch against a plain walk of the rules, the conversion to UTF-8
// against the system's own converter, and postings that lie across the
// reading buffer's edge.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <iconv.h>
#endif

#include "Check.h"
#include "ConvertedHandles.h"
#include "LineRules.h"
#include "LogFiles.h"
#include "Postings.h"
#include "Selection.h"
#include "Terminal.h"
#include "TroubleMarks.h"
#include "log/LineEnds.h"
#include "support/TempDir.h"

namespace {

using porresku_log::LineKind;
constexpr std::size_t kNone = std::string_view::npos;

// The rules walked byte by byte: a lead (81-9F, E0-FC) needs a trail
// (40-FC but 7F) after it; 80, A0 and FD-FF start nothing. A message
// line's handle (its first 14 bytes) may end in a lone lead, as may a line
// of exactly its room (80 bytes for a message line, 96 for any other).
std::size_t PlainFirstBad(std::string_view line, std::size_t from, std::size_t to, bool cutAtEnd) {
    for (std::size_t at = from; at < to; ++at) {
        const auto c = static_cast<unsigned char>(line[at]);
        const bool lead = (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
        if (!lead) {
            if (c == 0x80 || c == 0xA0 || c >= 0xFD) return at;
            continue;
        }
        if (at + 1 == to) return cutAtEnd ? kNone : at;
        const auto t = static_cast<unsigned char>(line[at + 1]);
        if (t < 0x40 || t > 0xFC || t == 0x7F) return at;
        ++at;
    }
    return kNone;
}

std::size_t PlainFirstBad(std::string_view line, LineKind kind) {
    if (kind == LineKind::kMessage || kind == LineKind::kTooLongMessage) {
        const std::size_t handle = PlainFirstBad(line, 0, 14, true);
        return handle != kNone ? handle : PlainFirstBad(line, 15, line.size(), line.size() == 80);
    }
    return PlainFirstBad(line, 0, line.size(), line.size() == 96);
}

struct FaultCase {
    const char* name;
    std::string line;
    std::size_t badByte;
    std::size_t loneLf;
};

const std::string kHandle = "\x82\xB5\x82\xB7\x82\xA8\x82\xD8      >";  // しすおぺ, 14 bytes, ">"

const FaultCase kFaultCases[] = {
    {"ASCII header", "01/02 10:30 GUEST1", kNone, kNone},
    {"Japanese message", kHandle + "\x82\xA0\x82\xAF\x82\xDC\x82\xB5\x82\xC4", kNone, kNone},
    {"trail in lead range before ASCII", kHandle + "\x83\x82\x83\x66\x83\x80/usr!", kNone, kNone},
    {"half-width katakana", kHandle + "\xB5\xD4\xBD\xD0", kNone, kNone},
    {"lead before an ASCII byte below 40", kHandle + "ab\x82!", 17, kNone},
    {"lead before 7F", kHandle + "ab\x82\x7F" "cd", 17, kNone},
    {"80 alone", kHandle + "abc\x80", 18, kNone},
    {"A0 alone", kHandle + "\xA0", 15, kNone},
    {"FD alone", "01/02 10:30 GUEST\xFD", 17, kNone},
    {"lone lead at the end of a short line", kHandle + "abc\x82", 18, kNone},
    {"lone lead at the end of a full message line", kHandle + std::string(64, 'x') + "\x82", kNone, kNone},
    {"lone lead at the end of a full header", "01/02 10:30 " + std::string(83, 'A') + "\x82", kNone, kNone},
    {"handle cut in half", "a\x82\xB5\x82\xB7\x82\xA8\x82\xD8\x82\xB1\x82\xF1\x82>hi", kNone, kNone},
    {"an LF inside", kHandle + "one\ntwo", kNone, 18},
    {"an LF and a bad byte", kHandle + "\xFF one\ntwo", 15, 20},
    {"odd run of leads, then a trail", kHandle + "\x81\x81\x81\x40", kNone, kNone},
    {"odd run of leads, then no trail", kHandle + "\x81\x81\x81 ", 17, kNone},
    {"even run of leads, then FD", kHandle + "\x81\x81\x81\x81\xFD", 19, kNone},
    {"a fault past the sixteenth byte", kHandle + std::string(20, 'a') + "\x82" " ", 35, kNone},
};

class ByteFaultsTest : public testing::TestWithParam<FaultCase> {};

TEST_P(ByteFaultsTest, FirstBadByteAndFirstLineFeed) {
    const FaultCase& c = GetParam();
    const LineKind kind = porresku_log::Classify(c.line);
    const porresku_log::ByteFaults faults = porresku_log::FindByteFaults(c.line, kind);
    EXPECT_EQ(faults.badByte, c.badByte);
    EXPECT_EQ(faults.loneLf, c.loneLf);
    EXPECT_EQ(faults.badByte, PlainFirstBad(c.line, kind));
}

INSTANTIATE_TEST_SUITE_P(Cases, ByteFaultsTest, testing::ValuesIn(kFaultCases),
                         [](const testing::TestParamInfo<FaultCase>& info) {
                             std::string name;
                             for (const char c : std::string_view(info.param.name)) name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
                             return name;
                         });

// Random lines from the bytes at the edges of every rule, as headers, as
// message lines and as neither, of every length up to well past a block.
TEST(ByteFaultsAgreeWithTheRules, OnRandomLines) {
    const unsigned char edges[] = {'a',  ' ',  '>',  '\n', 0x3F, 0x40, 0x7E, 0x7F, 0x80, 0x81, 0x82, 0x9F,
                                   0xA0, 0xA1, 0xDF, 0xE0, 0xEA, 0xFC, 0xFD, 0xFF};
    std::mt19937 random(20261210);
    for (int round = 0; round < 200000; ++round) {
        const std::size_t size = random() % 110;
        std::string line;
        switch (round % 3) {
            case 0: line = "01/02 10:30 "; break;
            case 1: line = std::string(14, 'h') + ">"; break;
            default: break;
        }
        // Mostly lead-range bytes now and then, so that long runs of them occur.
        const bool leadHeavy = round % 7 == 0;
        while (line.size() < size) {
            const unsigned char b = leadHeavy && random() % 2 ? 0x81 + random() % 0x1F : edges[random() % sizeof edges];
            line += static_cast<char>(b);
        }
        const LineKind kind = porresku_log::Classify(line);
        const porresku_log::ByteFaults faults = porresku_log::FindByteFaults(line, kind);
        ASSERT_EQ(faults.badByte, PlainFirstBad(line, kind)) << "round " << round << ", " << line.size() << " bytes";
        ASSERT_EQ(faults.loneLf, line.find('\n')) << "round " << round;
    }
}

// Strict Shift-JIS: no character cut in half anywhere, no LF.
bool StrictlyShiftJis(std::string_view text) {
    return PlainFirstBad(text, 0, text.size(), false) == kNone && text.find('\n') == kNone;
}

// Each way of marking the machine has: plain, SSE2, AVX2.
class TroubleMarksTest : public testing::TestWithParam<porresku_log::VectorWidth> {
protected:
    void SetUp() override {
        if (!porresku_log::MachineHas(GetParam())) GTEST_SKIP() << "the processor lacks these instructions";
        porresku_log::LimitMarkingTo(GetParam());
    }
    void TearDown() override { porresku_log::LimitMarkingTo(porresku_log::VectorWidth::kAvx2); }
};

std::string WidthName(const testing::TestParamInfo<porresku_log::VectorWidth>& info) {
    switch (info.param) {
    case porresku_log::VectorWidth::kPlain:
        return "Plain";
    case porresku_log::VectorWidth::kSse2:
        return "Sse2";
    case porresku_log::VectorWidth::kAvx2:
        break;
    }
    return "Avx2";
}

INSTANTIATE_TEST_SUITE_P(Widths, TroubleMarksTest,
                         testing::Values(porresku_log::VectorWidth::kPlain, porresku_log::VectorWidth::kSse2,
                                         porresku_log::VectorWidth::kAvx2),
                         WidthName);

// Stretches of random lines, each ended by CR LF or a CR alone: some
// strictly Shift-JIS, some heavy with leads, some of any bytes near the
// edges of the rules, LFs among them.
struct PlacedLine {
    std::size_t from;
    std::string line;
};
struct RandomStretch {
    std::string bytes;
    std::vector<PlacedLine> lines;
};
RandomStretch MakeRandomStretch(std::mt19937& random) {
    static const unsigned char edges[] = {'a',  ' ',  '>',  '\n', 0x3F, 0x40, 0x7E, 0x7F, 0x80, 0x81, 0x82, 0x9F,
                                          0xA0, 0xA1, 0xDF, 0xE0, 0xEA, 0xFC, 0xFD, 0xFF};
    RandomStretch stretch;
    const int count = 1 + static_cast<int>(random() % 8);
    for (int i = 0; i < count; ++i) {
        std::string line = random() % 2 ? std::string(14, 'h') + ">" : "";
        const std::size_t size = line.size() + random() % 70;
        const bool leadHeavy = random() % 5 == 0;
        const bool clean = random() % 3 == 0;
        while (line.size() < size) {
            if (clean) {
                // Whole characters only.
                if (random() % 2) {
                    line += static_cast<char>(0x82);
                    line += static_cast<char>(0x9F + random() % 0x5D);
                } else {
                    line += static_cast<char>(random() % 2 ? 'a' + random() % 26 : 0xA1 + random() % 0x3F);
                }
                continue;
            }
            line += static_cast<char>(leadHeavy && random() % 2 ? 0x81 + random() % 0x1F : edges[random() % sizeof edges]);
        }
        // After a CR alone, an LF that starts a line would belong to the
        // line end before it, as the board reads it: that end takes it.
        if (!line.empty() && line[0] == '\n' && !stretch.bytes.empty() && stretch.bytes.back() == '\r') {
            stretch.bytes += '\n';
        }
        stretch.lines.push_back({stretch.bytes.size(), line});
        stretch.bytes += line;
        stretch.bytes += random() % 4 ? "\r\n" : "\r";
    }
    return stretch;
}

// A line with no mark up to its CR is sound in its bytes, and a line
// strictly Shift-JIS with no LF has no mark.
TEST_P(TroubleMarksTest, AMarkLessLineIsSoundAndASoundLineHasNoMark) {
    std::mt19937 random(1210);
    porresku_log::TroubleMarks marks;
    for (int round = 0; round < 20000; ++round) {
        const RandomStretch stretch = MakeRandomStretch(random);
        std::vector<std::uint32_t> lineEnds(messagelog::LineEndWords(stretch.bytes.size()));
        marks.Mark(stretch.bytes.data(), stretch.bytes.size(), lineEnds.data());
        for (const PlacedLine& placed : stretch.lines) {
            const bool marked = marks.AnyIn(placed.from, placed.from + placed.line.size() + 1);
            const LineKind kind = porresku_log::Classify(placed.line);
            if (!marked) {
                ASSERT_EQ(PlainFirstBad(placed.line, kind), kNone) << "round " << round;
                ASSERT_EQ(placed.line.find('\n'), kNone) << "round " << round;
            }
            if (StrictlyShiftJis(placed.line)) {
                ASSERT_FALSE(marked) << "round " << round << ", line at " << placed.from;
            }
        }
    }
}

// The lines of a marked stretch made one after another, as a piece's are:
// each has the faults that the exact test finds in it alone, whichever of
// its marks are only where the board cuts a character on purpose.
TEST_P(TroubleMarksTest, LinesMadeInOrderHaveTheFaultsOfTheExactTest) {
    std::mt19937 random(1211);
    porresku_log::TroubleMarks marks;
    for (int round = 0; round < 20000; ++round) {
        const RandomStretch stretch = MakeRandomStretch(random);
        std::vector<std::uint32_t> lineEnds(messagelog::LineEndWords(stretch.bytes.size()));
        marks.Mark(stretch.bytes.data(), stretch.bytes.size(), lineEnds.data());
        porresku_log::LineMaker maker(marks, 0);
        for (const PlacedLine& placed : stretch.lines) {
            porresku_log::LogLine made;
            const std::string_view bytes(stretch.bytes.data() + placed.from, placed.line.size());
            maker.Make(made, {bytes, false, true, static_cast<std::int64_t>(placed.from), placed.line.size()});
            const porresku_log::ByteFaults exact = porresku_log::FindByteFaults(placed.line, made.kind);
            ASSERT_EQ(made.badByte, exact.badByte) << "round " << round << ", line at " << placed.from;
            ASSERT_EQ(made.loneLf, exact.loneLf) << "round " << round << ", line at " << placed.from;
        }
    }
}

// An LF just after a CR belongs to the line end and has no mark, so that a
// clean log has almost none; any other LF is marked, one at the stretch's
// first byte too (what came before is not known). Across the edges of the
// 32 bytes marked at once as well.
TEST_P(TroubleMarksTest, MarksAnLfUnlessACrIsJustBeforeIt) {
    struct Case {
        const char* name;
        std::string text;
        std::vector<std::size_t> marked;
    };
    const std::string a31(31, 'a');
    const std::string a63(63, 'a');
    const Case cases[] = {
        {"CrLf", "ab\r\ncd\r\n", {}},
        {"LfAlone", "ab\ncd\r\n", {2}},
        {"LfFirstInTheStretch", "\nab\r\n", {0}},
        {"SecondLfAfterCrLf", "ab\r\n\ncd", {4}},
        {"LfBeforeCr", "ab\n\rcd", {2}},
        // Edges between two stretches of 32 marked at once: enough after them.
        {"CrLfAcrossTheFirstEdge", a31 + "\r\nb\n" + std::string(64, 'b'), {34}},
        {"LfFirstInTheSecond32", a31 + "a\nb" + std::string(64, 'b'), {32}},
        // The edge before the last few bytes, marked one at a time.
        {"CrLfAcrossTheEdgeOfTheLastBytes", a63 + "\r\nb\r\n", {}},
        {"LfAloneAfterTheEdgeOfTheLastBytes", a63 + "a\nb", {64}},
    };
    porresku_log::TroubleMarks marks;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::uint32_t> lineEnds(messagelog::LineEndWords(c.text.size()) + 1, 0);
        marks.Mark(c.text.data(), c.text.size(), lineEnds.data());
        std::vector<std::size_t> marked;
        for (std::size_t i = 0; i < c.text.size(); ++i) {
            if (marks.AnyIn(i, i + 1)) marked.push_back(i);
        }
        EXPECT_EQ(marked, c.marked);
        EXPECT_EQ(marks.NextFrom(0, c.text.size()), c.marked.empty() ? c.text.size() : c.marked.front());
        if (!c.marked.empty()) {
            EXPECT_EQ(marks.NextFrom(c.marked.front() + 1, c.text.size()), c.text.size());
        }
    }
}

// Marking a filling for the scanner too, in the same pass: the CRs and the
// first Ctrl-Z exactly as the scanner's own marker finds them.
TEST_P(TroubleMarksTest, MarksTheLineEndsAsTheScannersOwnMarkerDoes) {
    std::mt19937 random(1210);
    const char bytes[] = {'a', '\r', '\n', '\x1A', '\x82', '\xA0', '\xFF'};
    porresku_log::TroubleMarks marks;
    for (int round = 0; round < 5000; ++round) {
        std::string text;
        const std::size_t size = random() % 300;
        for (std::size_t i = 0; i < size; ++i) {
            char c = bytes[random() % sizeof bytes];
            if (c == '\x1A' && random() % 16 != 0) c = 'b';
            text += c;
        }
        std::vector<std::uint32_t> own(messagelog::LineEndWords(size) + 1, 0);
        std::vector<std::uint32_t> both(messagelog::LineEndWords(size) + 1, 0);
        const std::size_t ownCtrlZ = messagelog::MarkLineEnds(text.data(), size, own.data());
        const std::size_t bothCtrlZ = marks.Mark(text.data(), size, both.data());
        ASSERT_EQ(bothCtrlZ, ownCtrlZ) << "round " << round;
        for (std::size_t i = 0; i < ownCtrlZ; ++i) {
            ASSERT_EQ((both[i / 32] >> (i % 32)) & 1, (own[i / 32] >> (i % 32)) & 1) << "round " << round << ", byte " << i;
        }
    }
}

// The system's converter, asked for the whole text at once; empty when it
// finds a code it does not know.
std::optional<std::string> SystemUtf8(std::string_view cp932) {
    if (cp932.empty()) return std::string();
#ifdef _WIN32
    const int wideSize =
        MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, cp932.data(), static_cast<int>(cp932.size()), nullptr, 0);
    if (wideSize <= 0) return std::nullopt;
    std::wstring wide(static_cast<std::size_t>(wideSize), L'\0');
    MultiByteToWideChar(932, 0, cp932.data(), static_cast<int>(cp932.size()), wide.data(), wideSize);
    const int size = WideCharToMultiByte(CP_UTF8, 0, wide.data(), wideSize, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), wideSize, out.data(), size, nullptr, nullptr);
    return out;
#else
    iconv_t converter = iconv_open("UTF-8", "CP932");
    std::string out(cp932.size() * 3, '\0');
    char* from = const_cast<char*>(cp932.data());
    std::size_t left = cp932.size();
    char* to = out.data();
    std::size_t room = out.size();
    const std::size_t done = iconv(converter, &from, &left, &to, &room);
    iconv_close(converter);
    if (done == static_cast<std::size_t>(-1)) return std::nullopt;
    out.resize(out.size() - room);
    return out;
#endif
}

// Every two-byte character of the rows a log uses most, among ASCII and
// half-width katakana, in texts of every length.
TEST(Utf8Conversion, AgreesWithTheSystemsConverter) {
    std::string text;
    for (const unsigned char lead : {0x81, 0x82, 0x83, 0x88, 0x93, 0x9F, 0xE0, 0xEA}) {
        for (int trail = 0x40; trail <= 0xFC; ++trail) {
            if (trail == 0x7F) continue;
            // Only assigned characters: the system maps the others differently.
            const char pair[2] = {static_cast<char>(lead), static_cast<char>(trail)};
            const std::optional<std::string> known = SystemUtf8({pair, 2});
            if (!known || *known == "\xEF\xBF\xBD") continue;
            text.append(pair, 2);
            if (trail % 5 == 0) text += "abc";
            if (trail % 7 == 0) text += "\xB1\xDF";
        }
    }
    for (std::size_t size = 0; size < text.size(); size += 1 + size / 3) {
        std::size_t cut = size;
        // Whole characters only.
        std::size_t at = 0;
        while (at < cut) at += porresku_log::IsLeadByte(static_cast<unsigned char>(text[at])) ? 2 : 1;
        const std::string piece = text.substr(0, at);
        ASSERT_EQ(std::optional<std::string>(porresku_log::ToUtf8(piece)), SystemUtf8(piece)) << piece.size() << " bytes";
    }
}

// What CSV and JSON take care of is seen while a text is converted: the
// conversion says so exactly when its UTF-8 holds one of those bytes, and
// a 5C that trails a character ("ソ", "表") is none of them.
TEST(Utf8Conversion, TellsWhetherItWroteAByteThatCsvOrJsonWatch) {
    std::mt19937 random(5);
    const std::vector<std::string> pieces = {"a",   "09",  ",",        "\"",       "\\",   "\t",      "\x1F",
                                             " ",   "~",   "\x83\x5C", "\x95\x5C", "\xB1", "\x82\xA0", "\x81",
                                             "\xFD", "\x80", std::string(1, '\0'), "abcdefgh", "\x88\x9F"};
    std::string room;
    for (int round = 0; round < 20000; ++round) {
        std::string text;
        for (int n = static_cast<int>(random() % 12); n > 0; --n) text += pieces[random() % pieces.size()];
        room.assign(porresku_log::Utf8Room(text.size()), '\0');
        bool watched = true;
        const auto size = static_cast<std::size_t>(porresku_log::PutUtf8Watching(text, room.data(), watched) - room.data());
        const std::string utf8 = room.substr(0, size);
        ASSERT_EQ(utf8, porresku_log::ToUtf8(text));
        const bool holds = std::any_of(utf8.begin(), utf8.end(), [](char c) {
            return porresku_log::IsWatchedByte(static_cast<unsigned char>(c));
        });
        ASSERT_EQ(watched, holds) << testing::PrintToString(text);
    }
}

// Line numbers as decimals: the digits are counted before they are written,
// at each count's edges, and a number past 32 bits takes the long way.
TEST(Decimal, WritesEachNumberWithItsOwnDigitsOnly) {
    for (const std::uint64_t number :
         {std::uint64_t{0}, std::uint64_t{9}, std::uint64_t{10}, std::uint64_t{99}, std::uint64_t{100},
          std::uint64_t{999'999}, std::uint64_t{1'000'000}, std::uint64_t{999'999'999}, std::uint64_t{1'000'000'000},
          std::uint64_t{4'294'967'295}, std::uint64_t{4'294'967'296}, ~std::uint64_t{0}}) {
        SCOPED_TRACE(number);
        std::string room(porresku_log::kDecimalRoom + 1, '#');
        const auto size = static_cast<std::size_t>(porresku_log::PutDecimal(number, room.data()) - room.data());
        EXPECT_EQ(room.substr(0, size), std::to_string(number));
        EXPECT_EQ(room.find_first_not_of('#', size), std::string::npos);
    }
}

// Handles converted once and copied after give what converting each line
// gives, and a name tells what CSV and JSON watch as its conversion does:
// more handles than the kept entries (so entries are taken over),
// a handle's prefix and its name asked of the same lines in turn, lines of
// just the prefix, and handles of katakana, lone leads, NULs and bytes that
// are no Shift-JIS. Nothing is written past the room.
TEST(ConvertedHandles, GiveWhatConvertingEachLineGives) {
    std::mt19937 random(11);
    auto pick = [&](int below) { return static_cast<int>(random() % static_cast<unsigned>(below)); };
    const std::vector<std::string> pieces = {"a",    "Z9",   " ",        "\x83\x5C", "\x95\x5C", "\x82\xA0",
                                             "\xB1", "\xDF", "\x81",     "\xFD",     "\x80",     "\xEA\xA4",
                                             "\x88\x9F", ",", "\"", "\\", std::string(1, '\0')};
    // A name of NULs is a key of zeros, as an entry not yet used has.
    std::vector<std::string> handles = {std::string(porresku_log::kHandlePrefixSize - 1, '\0') + ">"};
    while (handles.size() < 700) {
        std::string handle;
        for (int n = pick(9); n >= 0; --n) handle += pieces[static_cast<std::size_t>(pick(static_cast<int>(pieces.size())))];
        handle.resize(porresku_log::kHandlePrefixSize - 1, ' ');
        handles.push_back(handle + ">");
        // The same but for its last byte.
        handle.back() = handle.back() == 'q' ? 'r' : 'q';
        handles.push_back(handle + ">");
    }
    porresku_log::ConvertedHandles converted;
    constexpr char kGuard = '\x5A';
    for (int round = 0; round < 20000; ++round) {
        SCOPED_TRACE(round);
        const std::string line = handles[round == 0 ? 0 : static_cast<std::size_t>(pick(static_cast<int>(handles.size())))] +
                                 std::string(static_cast<std::size_t>(pick(3)) * 7, 'x');
        std::string room(porresku_log::ConvertedHandles::kRoom + 8, kGuard);
        const bool name = round == 0 || pick(2) == 0;
        bool watched = false;
        char* const end = name ? converted.PutName(line, room.data(), watched) : converted.PutPrefix(line, room.data());
        const std::string want = porresku_log::ToUtf8(name ? porresku_log::HandleName(line)
                                                           : std::string_view(line).substr(0, porresku_log::kHandlePrefixSize));
        ASSERT_EQ(std::string(room.data(), end), want) << (name ? "name" : "prefix");
        if (name) {
            ASSERT_EQ(watched, std::any_of(want.begin(), want.end(), [](char c) {
                          return porresku_log::IsWatchedByte(static_cast<unsigned char>(c));
                      }));
        }
        ASSERT_EQ(room.substr(porresku_log::ConvertedHandles::kRoom), std::string(8, kGuard));
    }
}

// Postings whose lines lie across the 128 KiB reading buffer's edge, some
// of them longer than the kept bytes: every unit comes out with its own
// bytes, the lines before the edge too.
TEST(ReadUnits, PostingsAcrossTheBuffersEdgeKeepTheirBytes) {
    const testing_host::TempDir folder;
    std::string log;
    std::vector<std::vector<std::string>> expected;
    std::mt19937 random(7);
    for (int posting = 0; log.size() < 5 * 128 * 1024; ++posting) {
        std::vector<std::string> lines = {"12/0" + std::to_string(1 + posting % 9) + " 10:30 U" + std::to_string(posting)};
        const int messages = 1 + static_cast<int>(random() % 40);
        for (int m = 0; m < messages; ++m) {
            lines.push_back(std::string(14, static_cast<char>('a' + (posting + m) % 26)) + ">" +
                            std::string(random() % 66, static_cast<char>('A' + m % 26)) + std::to_string(posting));
        }
        // Now and then a line that belongs to no posting, long and cut in the copy.
        if (posting % 50 == 0) lines.push_back(std::string(300 + posting % 700, 'z'));
        for (const std::string& line : lines) log += line + "\r\n";
        expected.push_back(lines);
    }
    testing_host::WriteFileBytes("porresku.log", log);
    std::vector<std::string> got;
    const porresku_log::ReadableLog file("porresku.log");
    porresku_log::ReadUnits(file.handle(), [&](const porresku_log::LogUnit& unit) {
        for (const porresku_log::LogLine& line : unit.lines) got.emplace_back(line.text());
    });
    std::vector<std::string> want;
    for (const auto& lines : expected) {
        for (const std::string& line : lines) want.push_back(line.substr(0, porresku_log::LogLine::kKeptBytes));
    }
    ASSERT_EQ(got.size(), want.size());
    for (std::size_t i = 0; i < got.size(); ++i) ASSERT_EQ(got[i], want[i]) << "line " << i + 1;
}

// The places where the board cuts a character in half on purpose, read in
// place from the buffer: a message line after a header is sound (a posting)
// or not exactly as its bytes say.
TEST(ReadUnits, ALeadLeftAloneWhereTheBoardCutsIsNoFault) {
    const std::string cutHandle = "a\x82\xA0\x82\xA0\x82\xA0\x82\xA0\x82\xA0\x82\xA0\x82>";  // 14 bytes, then ">"
    struct Case {
        const char* name;
        std::string message;
        bool sound;
    };
    const Case cases[] = {
        {"handle cut in half", cutHandle + "text", true},
        {"handle cut in half, a fault after it", cutHandle + "te\x82!", false},
        {"handle cut in half, a lone lead in the text", cutHandle + "\x82", false},
        {"full line ending in a lone lead", std::string(14, 'h') + ">" + std::string(64, 'x') + "\x82", true},
        {"one byte short, ending in a lone lead", std::string(14, 'h') + ">" + std::string(63, 'x') + "\x82", false},
        {"full line, a fault before its end", std::string(14, 'h') + ">\x82!" + std::string(62, 'x') + "\x82", false},
        {"cut handle and full line", cutHandle + std::string(64, 'x') + "\x82", true},
    };
    const testing_host::TempDir folder;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        testing_host::WriteFileBytes("porresku.log", "12/01 10:30 U1\r\n" + c.message + "\r\n");
        const porresku_log::ReadableLog file("porresku.log");
        std::vector<bool> postings;
        porresku_log::ReadUnits(file.handle(), [&](const porresku_log::LogUnit& unit) { postings.push_back(unit.posting); });
        const std::vector<bool> expected = c.sound ? std::vector<bool>{true} : std::vector<bool>{false, false};
        EXPECT_EQ(postings, expected);
    }
}

// check reads line by line, the other commands by postings: on logs of
// random headers, message lines and stray lines, some lone, some across the
// buffer's edge, with CR LF, CR or LF ends, check must count the postings
// the grouping makes, and report exactly the lone headers and message lines
// it leaves, with their texts.
TEST(CheckLog, FindsThePostingsAndLoneLinesTheGroupingMakes) {
    const testing_host::TempDir folder;
    std::mt19937 random(1210);
    for (int round = 0; round < 40; ++round) {
        std::string log;
        const std::size_t size = round % 4 == 0 ? 3 * 128 * 1024 : 2000;
        while (log.size() < size) {
            const unsigned pick = random() % 10;
            std::string line;
            if (pick < 4) {
                line = "12/0" + std::to_string(1 + random() % 9) + " 10:3" + std::to_string(random() % 10) + " U" +
                       std::to_string(random() % 1000);
            } else if (pick < 8) {
                line = std::string(14, 'h') + ">" + std::string(random() % 70, 'm');
                // Now and then a fault inside, or a full line that ends in a lone lead.
                if (random() % 20 == 0) line += "\x82!";
                if (random() % 20 == 0) line = std::string(14, 'h') + ">" + std::string(64, 'x') + "\x82";
            } else {
                line = std::string(random() % 200, 'z');
            }
            const unsigned end = random() % 20;
            log += line + (end == 0 ? "\r" : end == 1 ? "\n" : "\r\n");
        }
        testing_host::WriteFileBytes("porresku.log", log);
        std::int64_t postings = 0;
        std::vector<std::string> lone;
        {
            const porresku_log::ReadableLog file("porresku.log");
            porresku_log::ReadUnits(file.handle(), [&](const porresku_log::LogUnit& unit) {
                postings += unit.posting;
                if (!unit.posting && unit.header().sound()) {
                    lone.push_back(std::to_string(unit.header().number) + " " + std::string(unit.header().text()));
                }
            });
        }
        std::vector<std::string> reported;
        const porresku_log::ReadableLog file("porresku.log");
        const porresku_log::CheckSummary summary = porresku_log::CheckLog(file.handle(), [&](const porresku_log::Finding& finding) {
            if (finding.what == "a header without a message line" ||
                finding.what == "a message line without a header before it") {
                reported.push_back(std::to_string(finding.line) + " " + std::string(finding.shown->text()));
            }
        });
        ASSERT_EQ(summary.postings, postings) << "round " << round;
        ASSERT_EQ(reported, lone) << "round " << round;
    }
}

}  // namespace
