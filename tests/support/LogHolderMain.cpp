// log_holder FILE read|write: another program that holds the log open, the
// way a viewer or an editor on the sysop's machine would, until its standard
// input ends. It says it holds the file by creating FILE.held.
#include <cstdio>
#include <cstring>
#include <string>

#if defined(_WIN32)
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#endif

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: log_holder FILE read|write\n");
        return 2;
    }
    const std::string name = argv[1];
    const bool writing = std::strcmp(argv[2], "write") == 0;
#if defined(_WIN32)
    HANDLE file = CreateFileA(name.c_str(), writing ? GENERIC_READ | GENERIC_WRITE : GENERIC_READ, FILE_SHARE_READ,
                              nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 1;
#else
    // Programs that share a file on Linux lock it: shared to read, exclusive to write.
    const int file = ::open(name.c_str(), (writing ? O_RDWR : O_RDONLY) | O_CREAT, 0644);
    if (file < 0 || ::flock(file, writing ? LOCK_EX : LOCK_SH) != 0) return 1;
#endif
    std::FILE* marker = std::fopen((name + ".held").c_str(), "w");
    if (marker != nullptr) std::fclose(marker);
    while (std::fgetc(stdin) != EOF) {
    }
#if defined(_WIN32)
    CloseHandle(file);
#else
    ::close(file);
#endif
    std::remove((name + ".held").c_str());
    return 0;
}
