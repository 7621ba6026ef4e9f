#include "support/BoardSandbox.h"

#include "board/BoardState.h"
#include "log/LogFormat.h"
#include "board/ListingYears.h"

namespace testing_host {

platform::LocalTime BoardSandbox::now{};
std::vector<std::string> BoardSandbox::diagnostics;
std::vector<unsigned> BoardSandbox::waits;

namespace {

platform::LocalTime Clock() { return BoardSandbox::now; }
void Diagnostic(const char* text) { BoardSandbox::diagnostics.emplace_back(text); }
void Wait(unsigned milliseconds) { BoardSandbox::waits.push_back(milliseconds); }

}  // namespace

BoardSandbox::BoardSandbox() {
    now = {2026, 12, 10, 9, 5, 0, 0};
    diagnostics.clear();
    waits.clear();
    platform::Active() = platform::SystemCalls();
    platform::Active().localTime = Clock;
    platform::Active().diagnostic = Diagnostic;
    platform::Active().sleep = Wait;
    ResetBoard();
}

BoardSandbox::~BoardSandbox() {
    platform::Active() = platform::SystemCalls();
    ResetBoard();
}

void BoardSandbox::ResetBoard() {
    board::Board().history.Clear();
    board::Board().busy = false;
    board::Board().queued.clear();
    board::ForgetLogYears();
}

std::vector<std::string> BoardSandbox::HistoryLines() {
    std::vector<std::string> lines;
    for (int entry = 0; entry < board::RecentHistory::kEntries; ++entry) {
        const messagelog::MessageLine& line = board::Board().history.Entry(entry);
        if (!line.empty()) lines.emplace_back(line.view());
    }
    return lines;
}

}  // namespace testing_host
