#include "support/BoardSandbox.h"

#include "board/ListingYears.h"
#include "board/MessageLog.h"

namespace testing_host {

platform::LocalTime BoardSandbox::now{};
std::vector<std::string> BoardSandbox::diagnostics;

namespace {

platform::LocalTime Clock() { return BoardSandbox::now; }
void Diagnostic(const char* text) { BoardSandbox::diagnostics.emplace_back(text); }

}  // namespace

BoardSandbox::BoardSandbox() {
    now = {2026, 12, 10, 9, 5, 0, 0};
    diagnostics.clear();
    platform::Active() = platform::SystemCalls();
    platform::Active().localTime = Clock;
    platform::Active().diagnostic = Diagnostic;
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
        const board::MessageLine& line = board::Board().history.Entry(entry);
        if (!line.empty()) lines.emplace_back(line.view());
    }
    return lines;
}

}  // namespace testing_host
