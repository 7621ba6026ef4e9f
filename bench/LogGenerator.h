// Message logs for the benchmarks: postings as callers leave them, in the
// log's own format and in Shift-JIS, the same bytes for the same seed and
// size on every machine.
//
// The stamps run through one year from January 1 to December 31 whatever
// the size, so a listing since "12/31" always finds the last few postings,
// and one since "01/01" finds all of them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace bench {

// A small generator whose sequence is fixed by its seed alone (the
// standard library's distributions differ between implementations).
class Random {
public:
    explicit Random(std::uint64_t seed) : state_(seed) {}
    std::uint64_t Next();
    // Uniform in [0, bound); bound > 0.
    std::uint32_t Below(std::uint32_t bound);
    bool OneIn(std::uint32_t n) { return Below(n) == 0; }

private:
    std::uint64_t state_;
};

// One member who posts: user ID (ASCII, at most 8 bytes) and handle
// (Shift-JIS, possibly longer than the 14 bytes the log keeps).
struct Member {
    std::string userId;
    std::string handle;
};

class LogGenerator {
public:
    // Postings until the next one would make the log longer than `size` bytes.
    LogGenerator(std::uint64_t seed, std::uint64_t size);

    // The next posting (header line, one or two message lines, each ended by
    // CR LF) into `posting`; false once the log is complete.
    bool Next(std::string& posting);

    std::uint64_t bytes() const { return bytes_; }
    std::uint64_t postings() const { return postings_; }

private:
    std::string Text();
    void Stamp(std::string& out);

    Random random_;
    std::uint64_t size_;
    std::vector<Member> members_;
    std::uint64_t bytes_ = 0;
    std::uint64_t postings_ = 0;
    std::int64_t lastDay_ = -1;
    bool done_ = false;
};

// The whole log in memory, for small sizes.
std::string GenerateLog(std::uint64_t seed, std::uint64_t size);

// Writes the log to `path` through a temporary file renamed at the end, so
// an interrupted run never leaves a partial log under that name. False on
// an output error (errno tells).
bool WriteLog(std::uint64_t seed, std::uint64_t size, const std::string& path, std::uint64_t* postings = nullptr);

}  // namespace bench
