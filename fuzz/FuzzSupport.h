// What the libFuzzer harnesses share: a private working folder for the log,
// a clock they set, the board's state put back between runs, and checks of
// what the board wrote and sent.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Platform.h"
#include "support/FakeHost.h"

// A broken invariant is a finding: say which and end the run as a crash.
#define FUZZ_CHECK(condition, ...)                                                            \
    do {                                                                                      \
        if (!(condition)) {                                                                   \
            std::fprintf(stderr, "%s:%d: invariant failed: %s: ", __FILE__, __LINE__, #condition); \
            std::fprintf(stderr, __VA_ARGS__);                                                \
            std::fputc('\n', stderr);                                                         \
            std::abort();                                                                     \
        }                                                                                     \
    } while (0)

namespace fuzz {

// Once per process: makes a fresh folder under the temporary folder, moves
// into it (the log lives in the current folder), quiets the diagnostic
// output and puts the clock under the harness's control.
void EnterScratchFolder();

// The moment the board's clock shows from now on.
void SetClock(const platform::LocalTime& now);

// The board as a freshly loaded library has it, and no log.
void ResetBoard();

bool LogExists();
std::string ReadLog();
void WriteLog(std::string_view bytes);
void RemoveLog();

// The lines the board's reader sees in `bytes`: CR ends a line, one LF after
// it is skipped, a Ctrl-Z ends the text, a last line needs no line end.
std::vector<std::string> ReaderLines(std::string_view bytes);

// "MM/DD hh:mm ID" or "MM/DD ID", the ID at most 8 bytes.
bool IsWrittenHeader(std::string_view line);
// The handle prefix (14 bytes and ">") and at most 65 more bytes.
bool IsWrittenMessage(std::string_view line);

// A log the board wrote from nothing: CR LF ended lines, each posting a
// header followed by one or two message lines, no CR, LF or Ctrl-Z inside a
// line. Returns the postings, each as its lines.
std::vector<std::vector<std::string>> CheckWrittenLog(const std::string& bytes);

// Every line sent to the caller fits the host's 254 bytes.
void CheckSentLines(const testing_host::FakeChannel& channel);

// A zero-terminated text ends at its first NUL: what a host records of it.
std::string AsSent(std::string_view text);

}  // namespace fuzz
