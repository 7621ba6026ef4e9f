// porresku_loadpeak FOLDER
// Loads the history from FOLDER's log, as the library does when the host
// loads it, and prints the process's peak resident memory (VmHWM, KiB).
// A fresh process per log, so the peak is the load's and nothing else's.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "board/BoardState.h"
#include "board/HistoryLoad.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: porresku_loadpeak FOLDER\n");
        return 2;
    }
    if (::chdir(argv[1]) != 0) {
        std::perror(argv[1]);
        return 1;
    }
    board::LoadHistory();

    std::FILE* status = std::fopen("/proc/self/status", "r");
    if (status == nullptr) {
        std::perror("/proc/self/status");
        return 1;
    }
    char line[256];
    long peak = -1;
    while (std::fgets(line, sizeof line, status) != nullptr) {
        if (std::strncmp(line, "VmHWM:", 6) == 0) peak = std::strtol(line + 6, nullptr, 10);
    }
    std::fclose(status);
    if (peak < 0) return 1;
    // Keeps the history alive and visible, so the load cannot be left out.
    std::printf("%ld %zu\n", peak, board::Board().history.Entry(0).size());
    return 0;
}
