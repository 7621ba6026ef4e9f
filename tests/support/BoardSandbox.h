// A board of its own for one test: a fresh working folder, an empty board,
// the system's file calls, a clock the test sets, the board's diagnostic
// lines collected instead of printed, and its waits for a held log noted
// instead of slept.
#pragma once

#include <string>
#include <vector>

#include "platform/Platform.h"
#include "support/TempDir.h"

namespace testing_host {

class BoardSandbox {
public:
    BoardSandbox();
    ~BoardSandbox();
    BoardSandbox(const BoardSandbox&) = delete;
    BoardSandbox& operator=(const BoardSandbox&) = delete;

    // Empties the history, the queue and the busy flag.
    static void ResetBoard();
    // The recent history, newest first, without its empty entries.
    static std::vector<std::string> HistoryLines();

    // What the board's clock reads: 2026-12-10 09:05:00 until a test moves it.
    static platform::LocalTime now;
    static std::vector<std::string> diagnostics;
    static std::vector<unsigned> waits;  // milliseconds, in order

private:
    TempDir dir_;
};

}  // namespace testing_host
