// porresku_bench --logs DIR [Google Benchmark flags]
//
// The board's costly steps on logs of several sizes, each beside the best
// the machine can do with the same file in the same run:
//  - the load and the listings beside a bare count of the file's line ends
//    (memchr over a buffer of the reader's own 128 KiB): each of them must
//    find every line end at least, so that count is their limit;
//  - one posting beside a bare open-append-write-close of the same bytes;
//  - the load's peak memory beside the load of an empty log;
//  - the sysop's tool (porresku-log check, list, export), run as the sysop
//    runs it, a process of its own with its output thrown away, beside the
//    same line-end count, and its peak memory beside a run on an empty log.
// DIR holds one folder per log (named for its size, e.g. "100MB") with its
// porresku.log; postings go to copies in DIR/scratch, so the logs stay as
// generated. Ends with a table of medians, their ratios and the goals.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "board/BoardState.h"
#include "board/BoardSteps.h"
#include "board/HistoryLoad.h"
#include "board/ListingYears.h"
#include "board/Porresku.h"
#include "common/BoardError.h"
#include "log/LogFormat.h"
#include "support/FakeHost.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

// The line-end count, the best the machine does, reads 1 MiB at a time,
// whatever the board's own buffer.
constexpr std::size_t kReadBuffer = 1024 * 1024;
constexpr double kRatioGoal = 2.0;
// The listing a caller waits for, tighter.
constexpr double kListingGoal = 1.5;
constexpr long kMemoryGoalKiB = 1024;
// The load and listing goals are for the 100 MB log; a generated log stops
// short of its size by less than one posting.
constexpr std::uint64_t kGoalLogBytes = 99'000'000;

// What the caller types when posting: together too long to be joined, so the
// posting has a header and two message lines, as most long postings do.
constexpr std::string_view kFirstLine = "こんばんは、やっとつながった！テレホーダイの時間ですね";
constexpr std::string_view kSecondLine = "今日は寒いです。また来ます(^^;";
// Since this date a listing shows the last day's postings; since the other, all.
constexpr std::string_view kRecentReply = "12/31";
constexpr std::string_view kEveryReply = "01/01";

struct Log {
    std::string label;  // e.g. "100MB"
    fs::path folder;    // holds the generated porresku.log
    fs::path scratch;   // holds a copy that the postings grow
    std::uint64_t bytes = 0;
    std::uint64_t messageLines = 0;
    std::string lastMessageLine;
};

std::vector<Log> logs;
// A posting exactly as the board wrote it, for the bare append.
std::string postingBytes;

// ---- a caller on a host that throws away what the board sends --------------

std::uint64_t linesSent = 0;
void QUARN_CALL DiscardText(std::uint32_t, const char*) { ++linesSent; }

class Caller {
public:
    Caller() {
        host_.Channel(kChannel).SetUser("SYSOP", "ぽれすく", 5);
        quarn::HostCreationRecord record = host_.CreationRecord(kChannel);
        record.services.entry[quarn::kSendText].code =
            static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(&DiscardText));
        channel_ = std::make_unique<Porresku>(kChannel, record);
    }
    void Types(std::string_view reply) { host_.Channel(kChannel).replies.emplace_back(reply); }
    // The fake host remembers every prompt; a long run must not pile them up.
    void ForgetPrompts() { host_.Channel(kChannel).prompts.clear(); }
    const Porresku& channel() const { return *channel_; }

private:
    static constexpr int kChannel = 1;
    testing_host::FakeHost host_;
    std::unique_ptr<Porresku> channel_;
};

Caller& TheCaller() {
    static Caller caller;
    return caller;
}

// ---- helpers -----------------------------------------------------------------

bool Enter(benchmark::State& state, const fs::path& folder) {
    std::error_code error;
    fs::current_path(folder, error);
    if (error) state.SkipWithError(("cannot enter " + folder.string()).c_str());
    return !error;
}

// Puts the scratch log back to the generated size, so every run posts to the
// same log.
bool Restore(benchmark::State& state, const Log& log) {
    if (::truncate((log.scratch / messagelog::kLogName).c_str(), static_cast<off_t>(log.bytes)) == 0) return true;
    state.SkipWithError(("cannot truncate the scratch log: " + std::string(std::strerror(errno))).c_str());
    return false;
}

std::uint64_t CountLineEnds(const char* name, char* buffer) {
    const int file = ::open(name, O_RDONLY | O_CLOEXEC);
    if (file < 0) return 0;
    std::uint64_t count = 0;
    ssize_t got = 0;
    while ((got = ::read(file, buffer, kReadBuffer)) > 0) {
        const char* at = buffer;
        const char* const end = buffer + got;
        while ((at = static_cast<const char*>(std::memchr(at, '\r', static_cast<std::size_t>(end - at)))) != nullptr) {
            ++count;
            ++at;
        }
    }
    ::close(file);
    return count;
}

void SetBytes(benchmark::State& state, std::uint64_t perIteration) {
    state.SetBytesProcessed(static_cast<std::int64_t>(perIteration * static_cast<std::uint64_t>(state.iterations())));
}

// ---- the benchmarks ----------------------------------------------------------

void LineScan(benchmark::State& state, const Log* log) {
    if (!Enter(state, log->folder)) return;
    std::vector<char> buffer(kReadBuffer);
    for (auto _ : state) benchmark::DoNotOptimize(CountLineEnds(messagelog::kLogName, buffer.data()));
    SetBytes(state, log->bytes);
}

void Load(benchmark::State& state, const Log* log) {
    if (!Enter(state, log->folder)) return;
    for (auto _ : state) {
        board::LoadHistory();
        benchmark::DoNotOptimize(board::Board().history.Entry(0).bytes);
    }
    if (board::Board().history.Entry(0).view() != log->lastMessageLine) {
        state.SkipWithError("the load did not end with the log's last message line");
    }
    SetBytes(state, log->bytes);
}

// `expectedLines`: the message lines the listing must show, 0 for "some".
// A board lists its log again and again: each listing reads on where the
// one before left the log, and the log is listed once before the timing.
// `first`: every listing is the first since the library was loaded.
void List(benchmark::State& state, const Log* log, std::string_view reply, std::uint64_t expectedLines, bool first) {
    if (!Enter(state, log->folder)) return;
    Caller& caller = TheCaller();
    std::uint64_t sentBefore = linesSent;
    try {
        if (!first) {
            caller.Types(reply);
            board::ListSince(caller.channel());
            sentBefore = linesSent;
        }
        for (auto _ : state) {
            if (first) board::ForgetLogYears();
            caller.Types(reply);
            board::ListSince(caller.channel());
        }
    } catch (const board::BoardError& error) {
        state.SkipWithError(error.what());
        return;
    }
    caller.ForgetPrompts();
    // Besides the message lines: a blank line, the title, the heading and the closing row.
    const std::uint64_t shown = (linesSent - sentBefore) / static_cast<std::uint64_t>(state.iterations()) - 4;
    state.counters["shown"] = static_cast<double>(shown);
    if (shown == 0 || (expectedLines != 0 && shown != expectedLines)) {
        state.SkipWithError("the listing did not show the lines it should");
    }
    SetBytes(state, log->bytes);
}

void Post(benchmark::State& state, const Log* log) {
    if (!Enter(state, log->scratch) || !Restore(state, *log)) return;
    Caller& caller = TheCaller();
    std::uint64_t posted = 0;
    try {
        for (auto _ : state) {
            caller.Types(kFirstLine);
            caller.Types(kSecondLine);
            board::PostMessage(caller.channel());
            if ((++posted & 1023) == 0) caller.ForgetPrompts();
        }
    } catch (const board::BoardError& error) {
        state.SkipWithError(error.what());
        return;
    }
    caller.ForgetPrompts();
    // A posting that could not reach the log would wait in memory instead.
    if (!board::Board().queued.empty()) {
        board::Board().queued.clear();
        state.SkipWithError("postings did not reach the log");
    }
}

void Append(benchmark::State& state, const Log* log) {
    if (!Enter(state, log->scratch) || !Restore(state, *log)) return;
    for (auto _ : state) {
        const int file = ::open(messagelog::kLogName, O_WRONLY | O_APPEND | O_CLOEXEC);
        if (file < 0 || ::write(file, postingBytes.data(), postingBytes.size()) != static_cast<ssize_t>(postingBytes.size())) {
            state.SkipWithError("the bare append failed");
            if (file >= 0) ::close(file);
            break;
        }
        ::close(file);
    }
}

// The file calls a posting makes on POSIX (see PlatformPosix.cpp), made bare:
// what is left of the posting's time once the board's own code is taken out.
void PostingCalls(benchmark::State& state, const Log* log) {
    if (!Enter(state, log->scratch) || !Restore(state, *log)) return;
    char tail[128];
    for (auto _ : state) {
        const int file = ::open(messagelog::kLogName, O_RDWR | O_CLOEXEC);
        ::flock(file, LOCK_EX | LOCK_NB);                                     // writers exclude everyone
        ::lseek(file, -static_cast<off_t>(sizeof tail), SEEK_END);            // the tail, for the Ctrl-Z check
        const bool tailRead = ::read(file, tail, sizeof tail) == static_cast<ssize_t>(sizeof tail);
        const bool written = ::write(file, postingBytes.data(), postingBytes.size()) == static_cast<ssize_t>(postingBytes.size());
        ::close(file);
        if (!tailRead || !written) {
            state.SkipWithError("the bare posting calls failed");
            break;
        }
    }
}

// ---- the sysop's tool ----------------------------------------------------------

const char* const kToolCommands[][4] = {
    {"tool_check", "check", nullptr, nullptr},
    {"tool_list", "list", nullptr, nullptr},
    {"tool_export", "export", nullptr, nullptr},
    {"tool_csv", "export", "--format", "csv"},
    {"tool_json", "export", "--format", "json"},
};

std::string toolProgram;
// The peak resident memory (KiB) of each of the tool's runs, per command and
// log. The kernel counts a process's pages only roughly, and more roughly
// with two threads (in batches per processor): twenty runs of the same
// JSON export of the 10 MB log peaked anywhere from 3960 to 4584 KiB. So
// each command's peak is the median of its runs, on the log and on the
// empty log alike, as the load's rows are.
std::map<std::string, std::vector<long>> toolPeaksKiB;

long Median(std::vector<long> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// One run of porresku-log in `folder`, its output thrown away. Returns its
// peak memory in KiB, or -1 when it failed. A fork rather than a spawn: a
// spawned child runs in this process's memory until it starts the tool,
// and its peak would count this process's largest.
long RunTool(const fs::path& folder, const char* const* command) {
    const std::string log = (folder / messagelog::kLogName).string();
    std::vector<char*> args = {const_cast<char*>(toolProgram.c_str())};
    for (int i = 1; i < 4 && command[i] != nullptr; ++i) args.push_back(const_cast<char*>(command[i]));
    args.push_back(const_cast<char*>(log.c_str()));
    args.push_back(nullptr);
    const pid_t child = ::fork();
    if (child == 0) {
        const int null = ::open("/dev/null", O_WRONLY);
        if (null >= 0) ::dup2(null, STDOUT_FILENO);
        ::execv(toolProgram.c_str(), args.data());
        ::_exit(127);
    }
    if (child < 0) return -1;
    int status = 0;
    struct rusage usage {};
    if (::wait4(child, &status, 0, &usage) < 0 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return -1;
    return usage.ru_maxrss;
}

void Tool(benchmark::State& state, const Log* log, const char* const* command) {
    std::vector<long>& peaks = toolPeaksKiB[std::string(command[0]) + "/" + log->label];
    for (auto _ : state) {
        const long run = RunTool(log->folder, command);
        if (run < 0) {
            state.SkipWithError("porresku-log failed");
            return;
        }
        peaks.push_back(run);
    }
    SetBytes(state, log->bytes);
}

// ---- set-up ------------------------------------------------------------------

std::string ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::string text(static_cast<std::size_t>(fs::file_size(path)), '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(in.gcount()));
    return text;
}

// Counts the message lines (byte 15 is ">") and keeps the last one.
void Survey(Log& log) {
    const std::string text = ReadAll(log.folder / messagelog::kLogName);
    log.bytes = text.size();
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t end = text.find('\r', at);
        if (end == std::string::npos) end = text.size();
        const std::string_view line(text.data() + at, end - at);
        if (line.size() > 15 && line[14] == '>') {
            ++log.messageLines;
            log.lastMessageLine = line.substr(0, 80);
        }
        at = end + 1;
        if (at < text.size() && text[at] == '\n') ++at;
    }
}

bool CopyForPosting(Log& log, const fs::path& scratchRoot) {
    log.scratch = scratchRoot / log.label;
    std::error_code error;
    fs::create_directories(log.scratch, error);
    const fs::path copy = log.scratch / messagelog::kLogName;
    fs::copy_file(log.folder / messagelog::kLogName, copy, fs::copy_options::overwrite_existing, error);
    if (error) {
        std::fprintf(stderr, "porresku_bench: %s: %s\n", copy.c_str(), error.message().c_str());
        return false;
    }
    // Written back to the disk now rather than in the middle of a measurement.
    const int file = ::open(copy.c_str(), O_RDONLY | O_CLOEXEC);
    if (file >= 0) {
        ::fsync(file);
        ::close(file);
    }
    return true;
}

// One posting through the board on the first scratch log, to learn the bytes
// it writes.
bool LearnPostingBytes(const Log& log) {
    fs::current_path(log.scratch);
    const auto before = fs::file_size(messagelog::kLogName);
    Caller& caller = TheCaller();
    caller.Types(kFirstLine);
    caller.Types(kSecondLine);
    board::PostMessage(caller.channel());
    const std::string all = ReadAll(log.scratch / messagelog::kLogName);
    if (all.size() <= before) return false;
    postingBytes = all.substr(before);
    return ::truncate(messagelog::kLogName, static_cast<off_t>(log.bytes)) == 0;
}

// Peak resident memory (KiB) of a process that loads the log in `folder`.
long PeakKiB(const std::string& program, const fs::path& folder) {
    int pipe[2];
    if (::pipe(pipe) != 0) return -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipe[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, pipe[0]);
    std::string folderText = folder.string();
    char* args[] = {const_cast<char*>(program.c_str()), folderText.data(), nullptr};
    pid_t child = 0;
    const int error = posix_spawn(&child, program.c_str(), &actions, nullptr, args, environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipe[1]);
    std::string output;
    char chunk[256];
    ssize_t got = 0;
    while (error == 0 && (got = ::read(pipe[0], chunk, sizeof chunk)) > 0) output.append(chunk, static_cast<std::size_t>(got));
    ::close(pipe[0]);
    if (error != 0) return -1;
    int status = 0;
    ::waitpid(child, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return -1;
    return std::strtol(output.c_str(), nullptr, 10);
}

long MedianPeakKiB(const std::string& program, const fs::path& folder) {
    std::vector<long> peaks;
    for (int run = 0; run < 5; ++run) peaks.push_back(PeakKiB(program, folder));
    return Median(std::move(peaks));
}

// ---- the table ---------------------------------------------------------------

// Keeps each benchmark's median time per iteration (seconds, wall clock).
class MedianCollector : public benchmark::BenchmarkReporter {
public:
    bool ReportContext(const Context&) override { return true; }
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            const std::string name = run.run_name.function_name;
            if (run.error_occurred) {
                errors[name] = run.error_message;
                std::fprintf(stderr, "  %-24s error: %s\n", name.c_str(), run.error_message.c_str());
                continue;
            }
            if (run.run_type != Run::RT_Aggregate || run.aggregate_name != "median") continue;
            medians[name] = run.GetAdjustedRealTime() / benchmark::GetTimeUnitMultiplier(run.time_unit);
            std::fprintf(stderr, "  %-24s median %s\n", name.c_str(), Time(medians[name]).c_str());
        }
    }

    static std::string Time(double seconds) {
        char text[32];
        if (seconds >= 1) std::snprintf(text, sizeof text, "%.2f s", seconds);
        else if (seconds >= 1e-3) std::snprintf(text, sizeof text, "%.2f ms", seconds * 1e3);
        else if (seconds >= 1e-6) std::snprintf(text, sizeof text, "%.2f us", seconds * 1e6);
        else std::snprintf(text, sizeof text, "%.0f ns", seconds * 1e9);
        return text;
    }

    bool Ran(const std::string& name) const { return medians.count(name) != 0 || errors.count(name) != 0; }

    std::map<std::string, double> medians;
    std::map<std::string, std::string> errors;
};

struct Tally {
    int met = 0;
    int missed = 0;
};

void Row(const char* what, const std::string& log, const std::string& time, const char* baseline,
         const std::string& baselineTime, const std::string& ratio, const std::string& goal, const char* result) {
    std::printf("| %-26s | %-6s | %10s | %-23s | %10s | %9s | %-10s | %-7s |\n", what, log.c_str(), time.c_str(),
                baseline, baselineTime.c_str(), ratio.c_str(), goal.c_str(), result);
}

// A time against its baseline; the goal (a largest ratio) applies when it is not 0.
void TimeRow(const MedianCollector& results, Tally& tally, const char* what, const Log& log, const std::string& name,
             const char* baseline, const std::string& baselineName, double ratioGoal) {
    const auto time = results.medians.find(name + "/" + log.label);
    const auto base = results.medians.find(baselineName + "/" + log.label);
    if (!results.Ran(name + "/" + log.label)) return;  // filtered out
    if (time == results.medians.end() || base == results.medians.end()) {
        Row(what, log.label, "error", baseline, "", "", "", "-");
        ++tally.missed;
        return;
    }
    const double ratio = time->second / base->second;
    char ratioText[32];
    std::snprintf(ratioText, sizeof ratioText, "%.2fx", ratio);
    char goal[32] = "(none)";
    const char* result = "-";
    if (ratioGoal != 0) {
        std::snprintf(goal, sizeof goal, "<= %gx", ratioGoal);
        const bool met = ratio <= ratioGoal;
        result = met ? "met" : "NOT met";
        ++(met ? tally.met : tally.missed);
    }
    Row(what, log.label, MedianCollector::Time(time->second), baseline, MedianCollector::Time(base->second), ratioText,
        goal, result);
}

// Adds the defaults ahead of the caller's flags: later flags win.
std::vector<char*> WithDefaults(int argc, char** argv) {
    static char repetitions[] = "--benchmark_repetitions=7";
    static char interleave[] = "--benchmark_enable_random_interleaving=true";
    static char aggregates[] = "--benchmark_report_aggregates_only=true";
    static char minTime[] = "--benchmark_min_time=0.2";
    std::vector<char*> args = {argv[0], repetitions, interleave, aggregates, minTime};
    args.insert(args.end(), argv + 1, argv + argc);
    return args;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<char*> args = WithDefaults(argc, argv);
    fs::path root;
    for (auto at = args.begin() + 1; at != args.end();) {
        if (std::string_view(*at) == "--logs" && at + 1 != args.end()) {
            root = *(at + 1);
            at = args.erase(at, at + 2);
        } else {
            ++at;
        }
    }
    int count = static_cast<int>(args.size());
    args.push_back(nullptr);
    benchmark::Initialize(&count, args.data());
    if (root.empty() || benchmark::ReportUnrecognizedArguments(count, args.data())) {
        std::fprintf(stderr, "usage: porresku_bench --logs DIR [benchmark flags]\n");
        return 2;
    }
    root = fs::absolute(root);
    // The generated stamps run to December 31; on the board's clock that is
    // today, so the whole log is of this year and the replies mean it.
    platform::Active().localTime = [] { return platform::LocalTime{2026, 12, 31, 23, 59, 59, 0}; };
    const fs::path startFolder = fs::current_path();
    const fs::path scratchRoot = root / "scratch";

    for (const fs::directory_entry& entry : fs::directory_iterator(root)) {
        if (entry.path() == scratchRoot || !fs::is_regular_file(entry.path() / messagelog::kLogName)) continue;
        Log log;
        log.label = entry.path().filename().string();
        log.folder = entry.path();
        logs.push_back(std::move(log));
    }
    if (logs.empty()) {
        std::fprintf(stderr, "porresku_bench: no folder with a %s in %s\n", messagelog::kLogName, root.c_str());
        return 2;
    }
    for (Log& log : logs) {
        Survey(log);
        if (!CopyForPosting(log, scratchRoot)) return 1;
    }
    std::sort(logs.begin(), logs.end(), [](const Log& a, const Log& b) { return a.bytes < b.bytes; });
    if (!LearnPostingBytes(logs.front())) {
        std::fprintf(stderr, "porresku_bench: the board's posting did not reach the scratch log\n");
        return 1;
    }
    const fs::path emptyFolder = scratchRoot / "empty";
    fs::create_directories(emptyFolder);
    std::ofstream(emptyFolder / messagelog::kLogName, std::ios::binary | std::ios::trunc);
    // Output files named on the command line are relative to where it was given.
    fs::current_path(startFolder);

    for (const Log& log : logs) {
        const Log* l = &log;
        const std::string& s = log.label;
        benchmark::RegisterBenchmark(("linescan/" + s).c_str(), LineScan, l)->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("load/" + s).c_str(), Load, l)->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("list_recent/" + s).c_str(), List, l, kRecentReply, std::uint64_t{0}, false)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("list_every/" + s).c_str(), List, l, kEveryReply, log.messageLines, false)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("list_first/" + s).c_str(), List, l, kEveryReply, log.messageLines, true)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("post/" + s).c_str(), Post, l)->Unit(benchmark::kMicrosecond);
        benchmark::RegisterBenchmark(("append/" + s).c_str(), Append, l)->Unit(benchmark::kMicrosecond);
        benchmark::RegisterBenchmark(("postcalls/" + s).c_str(), PostingCalls, l)->Unit(benchmark::kMicrosecond);
        for (const auto& command : kToolCommands) {
            benchmark::RegisterBenchmark((std::string(command[0]) + "/" + s).c_str(), Tool, l, command)
                ->Unit(benchmark::kMillisecond);
        }
    }

    MedianCollector results;
    toolProgram = (fs::read_symlink("/proc/self/exe").parent_path() / "porresku-log").string();
    std::fprintf(stderr, "running %zu benchmarks on %zu logs (medians of the repetitions):\n", logs.size() * 13,
                 logs.size());
    benchmark::RunSpecifiedBenchmarks(&results);
    benchmark::Shutdown();
    for (const Log& log : logs) ::truncate((log.scratch / messagelog::kLogName).c_str(), static_cast<off_t>(log.bytes));

    const std::string peakProgram = (fs::read_symlink("/proc/self/exe").parent_path() / "porresku_loadpeak").string();
    const long emptyPeak = MedianPeakKiB(peakProgram, emptyFolder);

    Tally tally;
    std::printf("\n");
    Row("benchmark", "log", "time", "baseline", "time", "ratio", "goal", "result");
    std::printf("|%s|%s|%s|%s|%s|%s|%s|%s|\n", std::string(28, '-').c_str(), std::string(8, '-').c_str(),
                std::string(12, '-').c_str(), std::string(25, '-').c_str(), std::string(12, '-').c_str(),
                std::string(11, '-').c_str(), std::string(12, '-').c_str(), std::string(9, '-').c_str());
    for (const Log& log : logs) {
        const bool largest = log.bytes >= kGoalLogBytes;
        const double listingGoal = largest ? kListingGoal : 0;
        const double readingGoal = largest ? kRatioGoal : 0;
        TimeRow(results, tally, "load (LoadHistory)", log, "load", "line-end count", "linescan", readingGoal);
        TimeRow(results, tally, "list since 12/31", log, "list_recent", "line-end count", "linescan", listingGoal);
        TimeRow(results, tally, "list everything", log, "list_every", "line-end count", "linescan", listingGoal);
        // The years are known only once the whole log is read: a first
        // listing of everything reads it twice.
        TimeRow(results, tally, "list everything, first", log, "list_first", "line-end count", "linescan", 0);
        TimeRow(results, tally, "post one message", log, "post", "open-append-write-close", "append", kRatioGoal);
        TimeRow(results, tally, "(its file calls, bare)", log, "postcalls", "open-append-write-close", "append", 0);
        TimeRow(results, tally, "porresku-log check", log, "tool_check", "line-end count", "linescan", readingGoal);
        TimeRow(results, tally, "porresku-log list", log, "tool_list", "line-end count", "linescan", readingGoal);
        TimeRow(results, tally, "porresku-log export", log, "tool_export", "line-end count", "linescan", readingGoal);
        TimeRow(results, tally, "porresku-log export csv", log, "tool_csv", "line-end count", "linescan", readingGoal);
        TimeRow(results, tally, "porresku-log export json", log, "tool_json", "line-end count", "linescan",
                readingGoal);
    }
    for (const Log& log : logs) {
        const long peak = MedianPeakKiB(peakProgram, log.folder);
        char goal[32];
        std::snprintf(goal, sizeof goal, "< %ld KiB", kMemoryGoalKiB);
        if (peak < 0 || emptyPeak < 0) {
            Row("peak memory of the load", log.label, "error", "empty log", "", "", goal, "-");
            ++tally.missed;
            continue;
        }
        const long above = peak - emptyPeak;
        const bool met = above < kMemoryGoalKiB;
        ++(met ? tally.met : tally.missed);
        Row("peak memory of the load", log.label, std::to_string(peak) + " KiB", "load of an empty log",
            std::to_string(emptyPeak) + " KiB", (above >= 0 ? "+" : "") + std::to_string(above) + " KiB", goal,
            met ? "met" : "NOT met");
    }
    // The tool's memory: the most any of its commands took on each log,
    // beside the same commands on an empty log (the median of 5 runs each).
    long toolEmptyPeak = 0;
    for (const auto& command : kToolCommands) {
        std::vector<long> peaks;
        for (int run = 0; run < 5; ++run) peaks.push_back(RunTool(emptyFolder, command));
        if (std::any_of(peaks.begin(), peaks.end(), [](long peak) { return peak < 0; })) {
            toolEmptyPeak = -1;  // a run failed
            break;
        }
        toolEmptyPeak = std::max(toolEmptyPeak, Median(std::move(peaks)));
    }
    for (const Log& log : logs) {
        long peak = -1;
        for (const auto& command : kToolCommands) {
            const auto found = toolPeaksKiB.find(std::string(command[0]) + "/" + log.label);
            if (found != toolPeaksKiB.end() && !found->second.empty()) peak = std::max(peak, Median(found->second));
        }
        if (peak < 0) continue;  // filtered out
        char goal[32];
        std::snprintf(goal, sizeof goal, "< %ld KiB", kMemoryGoalKiB);
        const long above = peak - toolEmptyPeak;
        const bool met = toolEmptyPeak > 0 && above < kMemoryGoalKiB;
        ++(met ? tally.met : tally.missed);
        Row("peak memory of porresku-log", log.label, std::to_string(peak) + " KiB", "the same on an empty log",
            std::to_string(toolEmptyPeak) + " KiB", (above >= 0 ? "+" : "") + std::to_string(above) + " KiB", goal,
            met ? "met" : "NOT met");
    }
    std::printf("\ngoals: %d met, %d not met\n", tally.met, tally.missed);
    return results.errors.empty() ? 0 : 1;
}
