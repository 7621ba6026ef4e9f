#include "FuzzSupport.h"

#include "support/PlainLog.h"

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "board/BoardState.h"
#include "log/LogFormat.h"
#include "board/ListingYears.h"

namespace fuzz {

namespace {

platform::LocalTime clockNow{2025, 12, 10, 9, 5, 0, 0};

platform::LocalTime FixedClock() { return clockNow; }

// Thousands of runs would drown the fuzzer's own output.
void Quiet(const char*) {}

std::filesystem::path scratch;

void LeaveScratchFolder() {
    std::error_code ignored;
    std::filesystem::current_path(std::filesystem::temp_directory_path(ignored), ignored);
    std::filesystem::remove_all(scratch, ignored);
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool IsDateKey(std::string_view text) {
    return text.size() == 5 && IsDigit(text[0]) && IsDigit(text[1]) && text[2] == '/' && IsDigit(text[3]) &&
           IsDigit(text[4]);
}

bool IsClockKey(std::string_view text) {
    return text.size() == 5 && IsDigit(text[0]) && IsDigit(text[1]) && text[2] == ':' && IsDigit(text[3]) &&
           IsDigit(text[4]);
}

bool HasLineBreak(std::string_view text) { return text.find_first_of("\r\n\x1A") != std::string_view::npos; }

}  // namespace

void EnterScratchFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "porresku-fuzz-XXXXXX").string();
    FUZZ_CHECK(::mkdtemp(pattern.data()) != nullptr, "cannot make a scratch folder");
    scratch = pattern;
    std::filesystem::current_path(scratch);
    std::atexit(LeaveScratchFolder);
    platform::Active().localTime = FixedClock;
    platform::Active().diagnostic = Quiet;
    platform::Active().messageBox = [](const char*, const char*, unsigned) {};
    // No other program holds the scratch log; a wait would only slow the fuzzer.
    platform::Active().sleep = [](unsigned) {};
}

void SetClock(const platform::LocalTime& now) { clockNow = now; }

void ResetBoard() {
    board::BoardState& state = board::Board();
    state.history.Clear();
    state.busy = false;
    state.queued.clear();
    board::ForgetLogYears();
    RemoveLog();
}

bool LogExists() { return std::filesystem::is_regular_file(messagelog::kLogName); }

std::string ReadLog() {
    std::ifstream in(messagelog::kLogName, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteLog(std::string_view bytes) {
    std::ofstream out(messagelog::kLogName, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    FUZZ_CHECK(out.good(), "cannot write the log");
}

void RemoveLog() {
    std::error_code ignored;
    std::filesystem::remove(messagelog::kLogName, ignored);
}

std::vector<std::string> ReaderLines(std::string_view bytes) { return testing_host::PlainLines(bytes); }

bool IsWrittenHeader(std::string_view line) {
    if (HasLineBreak(line) || line.size() < 6 || !IsDateKey(line.substr(0, 5)) || line[5] != ' ') return false;
    // The ID may itself look like a clock, so either reading will do.
    if (line.size() - 6 <= 8) return true;
    return line.size() >= 12 && IsClockKey(line.substr(6, 5)) && line[11] == ' ' && line.size() - 12 <= 8;
}

bool IsWrittenMessage(std::string_view line) {
    return !HasLineBreak(line) && line.size() >= 15 && line.size() <= 80 && line[14] == '>';
}

std::vector<std::vector<std::string>> CheckWrittenLog(const std::string& bytes) {
    std::vector<std::vector<std::string>> postings;
    FUZZ_CHECK(bytes.empty() || bytes.ends_with("\r\n"), "the log ends in an unfinished line");
    std::size_t at = 0;
    while (at < bytes.size()) {
        const std::size_t end = bytes.find("\r\n", at);
        const std::string line = bytes.substr(at, end - at);
        at = end + 2;
        if (!postings.empty() && postings.back().size() < 3 && IsWrittenMessage(line)) {
            postings.back().push_back(line);
            continue;
        }
        FUZZ_CHECK(IsWrittenHeader(line), "log line %zu is no header where one is due: \"%s\"", postings.size(),
                   line.c_str());
        FUZZ_CHECK(postings.empty() || postings.back().size() >= 2, "a header without a message line");
        postings.push_back({line});
    }
    FUZZ_CHECK(postings.empty() || postings.back().size() >= 2, "the last header has no message line");
    return postings;
}

void CheckSentLines(const testing_host::FakeChannel& channel) {
    for (const std::string& line : channel.sent) {
        FUZZ_CHECK(line.size() <= 254, "a sent line of %zu bytes", line.size());
    }
    FUZZ_CHECK(channel.wrongContexts.empty(), "a service got the wrong context: %s", channel.wrongContexts[0].c_str());
}

std::string AsSent(std::string_view text) { return std::string(text.substr(0, text.find('\0'))); }

}  // namespace fuzz
