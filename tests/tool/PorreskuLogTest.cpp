// porresku-log through its command line, as a sysop runs it: each case
// starts the built tool in a fresh folder holding a small log, and looks at
// its exit status, its exact output and the log's bytes afterwards.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "support/ChildProcess.h"
#include "support/LocalDays.h"
#include "support/LogHolder.h"
#include "support/TempDir.h"

namespace {

using testing_host::ChildProcess;
using testing_host::ReadFileBytes;
using testing_host::WriteFileBytes;

// The terminal's UTF-8 (plain literals here come out as Shift-JIS).
std::string U8(std::u8string_view text) { return std::string(text.begin(), text.end()); }

struct ToolRun {
    int status;
    std::string out;
    std::string err;
};

ToolRun RunTool(const std::vector<std::string>& arguments) {
    int status = -1;
    {
        ChildProcess tool("porresku-log", arguments, false, "tool.out", "tool.err");
        EXPECT_TRUE(tool.started());
        status = tool.Wait();
    }
    return {status, ReadFileBytes("tool.out"), ReadFileBytes("tool.err")};
}

// Three postings, the middle one with two message lines; Shift-JIS, CR LF.
const std::string kPosting1 = "01/01 09:00 SYSOP\r\nしすおぺ      >あけましておめでとう\r\n";
const std::string kPosting2 = "01/02 10:30 GUEST1\r\nguest         >hello, \"world\"\r\nguest         >second line\r\n";
const std::string kPosting3 = "12/31 23:59 SYSOP\r\nしすおぺ      >fin\r\n";
const std::string kClean = kPosting1 + kPosting2 + kPosting3;

const std::string kCleanListed = U8(
    u8"      1  01/01 09:00 SYSOP\n"
    u8"      2  しすおぺ      >あけましておめでとう\n"
    u8"      3  01/02 10:30 GUEST1\n"
    u8"      4  guest         >hello, \"world\"\n"
    u8"      5  guest         >second line\n"
    u8"      6  12/31 23:59 SYSOP\n"
    u8"      7  しすおぺ      >fin\n");

// A posting, a stray line, a header without a message line, a posting with
// an LF-only line end, then a Ctrl-Z hiding one more posting.
const std::string kDamagedHead = "01/01 09:00 A\r\na             >one\r\n";
const std::string kGarbage = "garbage\r\n";
const std::string kDamagedTail =
    "01/02 10:00 LONE\r\n"
    "01/03 11:00 B\r\n"
    "b             >two\n"
    "01/04 12:00 C\r\n"
    "c             >three\r\n"
    "\x1A"
    "01/05 13:00 D\r\n"
    "d             >hidden\r\n";
const std::string kDamaged = kDamagedHead + kGarbage + kDamagedTail;

const std::string kDamagedChecked =
    "line 3: neither a header nor a message line: garbage\n"
    "line 4: a header without a message line: 01/02 10:00 LONE\n"
    "line 5: a header without a message line: 01/03 11:00 B\n"
    "line 6: an LF without a CR at byte 19: the board does not end a line there (a line end from another system)\n"
    "line 7: a message line without a header before it: c             >three\n"
    "a Ctrl-Z at byte 134: the board reads no further, and it hides the 38 bytes behind it\n"
    "6 findings in 7 lines (1 whole posting); \"porresku-log repair\" mends the line ends and the Ctrl-Z\n";

struct ToolCase {
    const char* name;
    std::string log;  // the log before; none when empty
    std::vector<std::string> arguments;
    int status;
    std::optional<std::string> out = std::nullopt;       // exact standard output
    std::optional<std::string> logAfter = std::nullopt;  // exact log afterwards; unchanged when not given
    bool backup = false;                  // porresku.log.bak holds the log as it was
    std::vector<std::string> thenCheck = {};   // another run's arguments, which must exit 0
};

void PrintTo(const ToolCase& c, std::ostream* out) { *out << c.name; }

class ToolTest : public testing::TestWithParam<ToolCase> {};

TEST_P(ToolTest, ExitStatusOutputAndLog) {
    const ToolCase& c = GetParam();
    testing_host::TempDir dir;
    if (!c.log.empty()) WriteFileBytes("porresku.log", c.log);
    const ToolRun run = RunTool(c.arguments);
    EXPECT_EQ(run.status, c.status) << run.err;
    if (c.out) {
        EXPECT_EQ(run.out, *c.out);
    }
    if (c.status == 2) {
        // One clear line, nothing else.
        EXPECT_EQ(run.err.rfind("porresku-log: ", 0), 0u) << run.err;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    } else {
        EXPECT_EQ(run.err, "");
    }
    if (!c.log.empty()) {
        EXPECT_EQ(ReadFileBytes("porresku.log"), c.logAfter.value_or(c.log));
    }
    EXPECT_EQ(std::filesystem::exists("porresku.log.bak"), c.backup);
    if (c.backup) {
        EXPECT_EQ(ReadFileBytes("porresku.log.bak"), c.log);
    }
    if (!c.thenCheck.empty()) {
        const ToolRun check = RunTool(c.thenCheck);
        EXPECT_EQ(check.status, 0) << check.out;
    }
}

std::string Header80(char last) {
    // A message line the board cut at 80 bytes inside a two-byte character.
    return "01/01 09:00 A\r\na             >" + std::string(64, 'x') + std::string(1, last) + "\r\n";
}

const ToolCase kCases[] = {
    // ---- check ----
    {"CheckClean", kClean, {"check"}, 0, "clean: 3 postings in 7 lines\n"},
    {"CheckEachFinding", kDamaged, {"check"}, 1, kDamagedChecked},
    {"CheckNamedLog", "", {"check", "nosuch.log"}, 2, ""},
    {"CheckUnfinishedLastLine", "01/01 09:00 A\r\na             >x", {"check"}, 1,
     "line 2: the last line is unfinished (no CR LF)\n"
     "1 finding in 2 lines (1 whole posting); \"porresku-log repair\" mends the line ends and the Ctrl-Z\n"},
    {"CheckCrWithoutLf", "01/01 09:00 A\ra             >x\r\n", {"check"}, 1,
     "line 1: ended by a CR without an LF\n"
     "1 finding in 2 lines (1 whole posting); \"porresku-log repair\" mends the line ends and the Ctrl-Z\n"},
    {"CheckLinesTheBoardMisreads", "01/01 09:00 AB>\r\na             >x\r\n12/45678:0abcd>y\r\n", {"check"}, 1,
     "line 1: a header with \">\" at byte 15: the listing shows it as a message line: 01/01 09:00 AB>\n"
     "line 2: a message line without a header before it: a             >x\n"
     "line 3: a message line shaped like a header (\"/\" at byte 3, \":\" at byte 9): the board's load takes it for "
     "a header: 12/45678:0abcd>y\n"
     "3 findings in 3 lines (0 whole postings); \"porresku-log repair\" mends the line ends and the Ctrl-Z\n"},
    {"CheckNoShiftJis", "01/01 09:00 A\r\na             >\x80" "A\r\n", {"check"}, 1,
     U8(u8"line 1: a header without a message line: 01/01 09:00 A\n"
        u8"line 2: no Shift-JIS at byte 16: a             >\uFFFDA\n"
        u8"2 findings in 2 lines (0 whole postings); \"porresku-log repair\" mends the line ends and the Ctrl-Z\n")},
    {"CheckTakesTheBoardsOwnCutAt80Bytes", Header80('\x82'), {"check"}, 0, "clean: 1 posting in 2 lines\n"},
    // ---- list ----
    {"ListEverything", kClean, {"list"}, 0, kCleanListed + "3 postings\n"},
    {"ListByUser", kClean, {"list", "--user", "GUEST1"}, 0, "      3  01/02 10:30 GUEST1\n      4  guest         >hello, \"world\"\n"
     "      5  guest         >second line\n1 posting\n"},
    {"ListByText", kClean, {"list", "porresku.log", "--match", "fin"}, 0,
     U8(u8"      6  12/31 23:59 SYSOP\n      7  しすおぺ      >fin\n1 posting\n")},
    {"ListByUserAndText", kClean, {"list", "--user", "SYSOP", "--match", "world"}, 0, "0 postings\n"},
    {"ListSinceNoDate", kClean, {"list", "--since", "yesterday"}, 2, ""},
    {"ListRawBytes", kClean, {"--raw", "list", "--match", "fin"}, 0,
     "      6  12/31 23:59 SYSOP\n      7  しすおぺ      >fin\n1 posting\n"},
    // A header's time key goes out as it stands, and the user ID after it
    // is converted: a day's first second (the short key) and a Shift-JIS ID.
    {"ListShortKeyAndShiftJisUser", "01/01 ユーザ\r\nゆ            >x\r\n01/02 03:04 ユーザ\r\nゆ            >y\r\n",
     {"list"}, 0,
     U8(u8"      1  01/01 ユーザ\n      2  ゆ            >x\n      3  01/02 03:04 ユーザ\n      4  ゆ            >y\n"
        u8"2 postings\n")},
    {"ListLeavesOutBrokenLines", kDamaged, {"list"}, 0,
     "      1  01/01 09:00 A\n      2  a             >one\n1 posting\n"},
    // ---- export ----
    {"ExportText", kClean, {"export"}, 0,
     U8(u8"01/01 09:00 SYSOP\nしすおぺ      >あけましておめでとう\n01/02 10:30 GUEST1\nguest         >hello, \"world\"\n"
        u8"guest         >second line\n12/31 23:59 SYSOP\nしすおぺ      >fin\n")},
    {"ExportCsv", kClean, {"export", "--format", "csv"}, 0,
     U8(u8"line,key,user,handle,text\r\n"
        u8"1,01/01 09:00,SYSOP,しすおぺ,あけましておめでとう\r\n"
        u8"3,01/02 10:30,GUEST1,guest,\"hello, \"\"world\"\"\"\r\n"
        u8"3,01/02 10:30,GUEST1,guest,second line\r\n"
        u8"6,12/31 23:59,SYSOP,しすおぺ,fin\r\n")},
    {"ExportJson", kClean, {"export", "--format", "json"}, 0,
     U8(u8"{\"line\":1,\"key\":\"01/01 09:00\",\"user\":\"SYSOP\",\"messages\":[{\"handle\":\"しすおぺ\",\"text\":"
        u8"\"あけましておめでとう\"}]}\n"
        u8"{\"line\":3,\"key\":\"01/02 10:30\",\"user\":\"GUEST1\",\"messages\":[{\"handle\":\"guest\",\"text\":"
        u8"\"hello, \\\"world\\\"\"},{\"handle\":\"guest\",\"text\":\"second line\"}]}\n"
        u8"{\"line\":6,\"key\":\"12/31 23:59\",\"user\":\"SYSOP\",\"messages\":[{\"handle\":\"しすおぺ\",\"text\":"
        u8"\"fin\"}]}\n")},
    // Headers alone, a stray line, an LF-only line end and a Ctrl-Z: only
    // the first posting goes out, in each format.
    {"ExportTextLeavesOutBrokenLines", kDamaged, {"export"}, 0, "01/01 09:00 A\na             >one\n"},
    {"ExportCsvLeavesOutBrokenLines", kDamaged, {"export", "--format", "csv"}, 0,
     "line,key,user,handle,text\r\n1,01/01 09:00,A,a,one\r\n"},
    {"ExportJsonLeavesOutBrokenLines", kDamaged, {"export", "--format", "json"}, 0,
     "{\"line\":1,\"key\":\"01/01 09:00\",\"user\":\"A\",\"messages\":[{\"handle\":\"a\",\"text\":\"one\"}]}\n"},
    {"ExportUnknownFormat", kClean, {"export", "--format", "xml"}, 2, ""},
    // ---- remove ----
    {"RemoveByLine", kClean, {"remove", "--line", "4"}, 0,
     "removes line 3: 01/02 10:30 GUEST1\n"
     "removes line 4: guest         >hello, \"world\"\n"
     "removes line 5: guest         >second line\n"
     "removed 1 posting (3 lines); the old log is in porresku.log.bak\n"
     "the board shows its recent ten from memory until the host loads the plug-in again\n",
     kPosting1 + kPosting3, true, {"check"}},
    {"RemoveByUserAndKey", kClean, {"remove", "--user", "SYSOP", "--key", "12/31 23:59"}, 0, std::nullopt,
     kPosting1 + kPosting2, true},
    {"RemoveByUsers", kClean, {"remove", "--user", "SYSOP", "--user", "GUEST1"}, 0, std::nullopt, "", true},
    {"RemoveDryRun", kClean, {"remove", "--line", "2", "--dry-run"}, 0,
     U8(u8"would remove line 1: 01/01 09:00 SYSOP\nwould remove line 2: しすおぺ      >あけましておめでとう\n"
        u8"dry run: the log is unchanged\n")},
    {"RemoveNothingMatches", kClean, {"remove", "--match", "spam"}, 0, "no posting matches: the log is unchanged\n"},
    {"RemoveNeedsASelection", kClean, {"remove"}, 2, ""},
    {"RemoveBadLineNumber", kClean, {"remove", "--line", "zero"}, 2, ""},
    // Every other byte stays, the ones behind the Ctrl-Z too.
    {"RemoveAStrayLine", kDamaged, {"remove", "--line", "3"}, 0, std::nullopt,
     kDamagedHead + kDamagedTail, true},
    {"RemoveNoLog", "", {"remove", "--line", "1"}, 2, ""},
    // ---- repair ----
    {"Repair", kDamaged, {"repair"}, 0,
     "  takes out line 3 (byte 36): garbage\n"
     "  takes out line 4 (byte 45): 01/02 10:00 LONE\n"
     "  1 Ctrl-Z taken out\n"
     "  1 LF line end made CR LF\n"
     "  2 lines of no whole posting taken out\n"
     "repaired: 4 postings; the old log is in porresku.log.bak\n",
     "01/01 09:00 A\r\na             >one\r\n01/03 11:00 B\r\nb             >two\r\n01/04 12:00 C\r\n"
     "c             >three\r\n01/05 13:00 D\r\nd             >hidden\r\n",
     true, {"check"}},
    {"RepairDryRun", kDamaged, {"repair", "--dry-run"}, 0, std::nullopt},
    {"RepairEndsTheLastLine", "01/01 09:00 A\r\na             >x", {"repair"}, 0, std::nullopt,
     "01/01 09:00 A\r\na             >x\r\n", true, {"check"}},
    {"RepairOfACleanLog", kClean, {"repair"}, 0, "nothing to repair: 3 postings, every line ends in CR LF\n"},
    // ---- usage ----
    {"NoCommand", kClean, {}, 2, ""},
    {"UnknownOption", kClean, {"list", "--bogus"}, 2, ""},
};

INSTANTIATE_TEST_SUITE_P(Cases, ToolTest, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<ToolCase>& info) { return std::string(info.param.name); });

// ---- an export read back ----------------------------------------------------

struct ReadBack {
    long line;
    std::string key, user, handle, text;
    bool operator==(const ReadBack&) const = default;
};

// RFC 4180 records: quoted fields may hold commas, quotes and line ends.
std::vector<std::vector<std::string>> ParseCsv(const std::string& text) {
    std::vector<std::vector<std::string>> records(1, std::vector<std::string>(1));
    bool quoted = false;
    for (std::size_t at = 0; at < text.size(); ++at) {
        const char c = text[at];
        std::string& field = records.back().back();
        if (quoted) {
            if (c == '"' && at + 1 < text.size() && text[at + 1] == '"') {
                field += '"';
                ++at;
            } else if (c == '"') {
                quoted = false;
            } else {
                field += c;
            }
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            records.back().emplace_back();
        } else if (c == '\r' && at + 1 < text.size() && text[at + 1] == '\n') {
            ++at;
            if (at + 1 < text.size()) records.emplace_back(1);
        } else {
            field += c;
        }
    }
    return records;
}

TEST(ToolExportTest, CsvAndJsonReadBackGiveThePostings) {
    testing_host::TempDir dir;
    // "ソ表" end in 0x5C, a backslash in ASCII: only the real one at the end is
    // escaped. A handle may need quotes and escapes too.
    const std::string log = kClean + "01/05 08:00 Q\r\nq             >a,b\"c\"\r\nq             >\r\n" +
                            "01/06 09:00 R\r\nr             >\x83\x5C\x95\x5C\\\r\n" +
                            "01/07 10:00 S\r\nh,\"i\"\\        >t\r\n";
    WriteFileBytes("porresku.log", log);
    const std::vector<ReadBack> expected = {
        {1, "01/01 09:00", "SYSOP", U8(u8"しすおぺ"), U8(u8"あけましておめでとう")},
        {3, "01/02 10:30", "GUEST1", "guest", "hello, \"world\""},
        {3, "01/02 10:30", "GUEST1", "guest", "second line"},
        {6, "12/31 23:59", "SYSOP", U8(u8"しすおぺ"), "fin"},
        {8, "01/05 08:00", "Q", "q", "a,b\"c\""},
        {8, "01/05 08:00", "Q", "q", ""},
        {11, "01/06 09:00", "R", "r", U8(u8"ソ表\\")},
        {13, "01/07 10:00", "S", "h,\"i\"\\", "t"},
    };

    const ToolRun csv = RunTool({"export", "--format", "csv"});
    ASSERT_EQ(csv.status, 0);
    const auto records = ParseCsv(csv.out);
    ASSERT_EQ(records.size(), expected.size() + 1);
    EXPECT_EQ(records[0], (std::vector<std::string>{"line", "key", "user", "handle", "text"}));
    std::vector<ReadBack> fromCsv;
    for (std::size_t row = 1; row < records.size(); ++row) {
        ASSERT_EQ(records[row].size(), 5u);
        fromCsv.push_back({std::stol(records[row][0]), records[row][1], records[row][2], records[row][3], records[row][4]});
    }
    EXPECT_EQ(fromCsv, expected);

    const ToolRun json = RunTool({"export", "--format", "json"});
    ASSERT_EQ(json.status, 0);
    std::vector<ReadBack> fromJson;
    std::size_t at = 0;
    while (at < json.out.size()) {
        const std::size_t end = json.out.find('\n', at);
        ASSERT_NE(end, std::string::npos);
        const nlohmann::json posting = nlohmann::json::parse(json.out.substr(at, end - at));
        for (const auto& message : posting["messages"]) {
            fromJson.push_back({posting["line"].get<long>(), posting["key"], posting["user"], message["handle"],
                                message["text"]});
        }
        at = end + 1;
    }
    EXPECT_EQ(fromJson, expected);
}

// ---- a log another program holds -------------------------------------------

TEST(ToolHeldLogTest, ALogHeldTooLongIsAnErrorAndStaysUntouched) {
    testing_host::TempDir dir;
    WriteFileBytes("porresku.log", kDamaged);
    testing_host::LogHolder holder("porresku.log", testing_host::LogHolder::kWriting);
    ASSERT_TRUE(holder.holding());
    const ToolRun run = RunTool({"repair"});
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find("another program has held the log"), std::string::npos) << run.err;
    EXPECT_FALSE(std::filesystem::exists("porresku.log.bak"));
}

// The local day `back` days before today at noon: its time key and its date
// as a caller types it in full.
struct Day {
    std::string key;   // MM/DD hh:mm
    std::string date;  // YYYY/MM/DD
};

Day DaysAgo(int back) {
    return {testing_host::DayBefore(back, "%m/%d %H:%M"), testing_host::DayBefore(back, "%Y/%m/%d")};
}

// --since reads the reply and the log's years as the board's listing does;
// the log is stamped from the real clock, as the tool reads it.
TEST(ToolListSinceTest, SelectsWhatTheBoardsListingShows) {
    testing_host::TempDir dir;
    const Day twoDaysAgo = DaysAgo(2);
    const Day yesterday = DaysAgo(1);
    const std::string today = DaysAgo(0).key.substr(0, 5);
    WriteFileBytes("porresku.log", twoDaysAgo.key + " A\r\na             >two days ago\r\n" + yesterday.key +
                                       " B\r\nb             >yesterday\r\n");
    const std::string first = "      1  " + twoDaysAgo.key + " A\n      2  a             >two days ago\n";
    const std::string second = "      3  " + yesterday.key + " B\n      4  b             >yesterday\n";
    struct Case {
        std::string reply;
        std::string out;
    };
    const Case cases[] = {
        // Before the log's first year: everything.
        {"2000/1/1", first + second + "2 postings since 01/01\n"},
        {yesterday.date, second + "1 posting since " + yesterday.key.substr(0, 5) + "\n"},
        // A time of day alone: today's, not a day of 1899.
        {"0:00", "0 postings since " + today + "\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reply);
        const ToolRun run = RunTool({"list", "--since", c.reply});
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.out, c.out);
    }
}

}  // namespace
