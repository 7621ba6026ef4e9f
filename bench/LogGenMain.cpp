// porresku_loggen --seed N --size BYTES --out FILE
// Writes a message log of at most BYTES bytes (a K, M or G suffix counts
// decimal thousands), the same bytes for the same seed and size.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "LogGenerator.h"

namespace {

int Usage() {
    std::fprintf(stderr, "usage: porresku_loggen --seed N --size BYTES[K|M|G] --out FILE\n");
    return 2;
}

bool ParseNumber(const char* text, std::uint64_t* value) {
    char* end = nullptr;
    errno = 0;
    const unsigned long long number = std::strtoull(text, &end, 10);
    if (errno != 0 || end == text || text[0] == '-') return false;
    std::uint64_t scale = 1;
    if (*end == 'K' || *end == 'k') scale = 1000, ++end;
    else if (*end == 'M' || *end == 'm') scale = 1000 * 1000, ++end;
    else if (*end == 'G' || *end == 'g') scale = 1000 * 1000 * 1000, ++end;
    if (*end != '\0') return false;
    *value = number * scale;
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    std::uint64_t seed = 0;
    std::uint64_t size = 0;
    std::string out;
    bool haveSeed = false, haveSize = false;
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (i + 1 >= argc) return Usage();
        const char* value = argv[++i];
        if (option == "--seed") {
            haveSeed = ParseNumber(value, &seed);
            if (!haveSeed) return Usage();
        } else if (option == "--size") {
            haveSize = ParseNumber(value, &size);
            if (!haveSize) return Usage();
        } else if (option == "--out") {
            out = value;
        } else {
            return Usage();
        }
    }
    if (!haveSeed || !haveSize || out.empty()) return Usage();

    std::uint64_t postings = 0;
    if (!bench::WriteLog(seed, size, out, &postings)) {
        std::fprintf(stderr, "porresku_loggen: %s: %s\n", out.c_str(), std::strerror(errno));
        return 1;
    }
    std::printf("%s: %llu postings\n", out.c_str(), static_cast<unsigned long long>(postings));
    return 0;
}
