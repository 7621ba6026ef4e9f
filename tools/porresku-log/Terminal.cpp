// The platform-neutral half of the conversions; the platform's own
// converter lives in TerminalPosix.cpp or TerminalWin32.cpp.
#include "Terminal.h"

#include <array>
#include <bit>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <memory>

#include "LineRules.h"
#include "Threads.h"

namespace porresku_log {

// The platform's converter for a run of valid Shift-JIS.
void AppendConvertedRun(std::string_view cp932, std::string& out);

namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

// A character's UTF-8 (at most three bytes: CP932 has nothing beyond the
// BMP) with its size in the last byte, so that it is stored as one word.
struct alignas(4) Utf8Char {
    char bytes[4];
    std::size_t size() const { return static_cast<unsigned char>(bytes[3]); }
};
// An entry read as a little-endian word: its size is the top byte.
static_assert(std::endian::native == std::endian::little);
constexpr int kSizeShift = 24;
constexpr std::uint32_t kSizeOne = std::uint32_t{1} << kSizeShift;
constexpr Utf8Char kReplacementChar{{'\xEF', '\xBF', '\xBD', 3}};
constexpr Utf8Char kNoPair{};  // no character: the first byte leads none, or the second is no trail byte
constexpr unsigned char kUnlearnt = 0xFF;  // a size that tells the row is still to be learnt

// A row for each first byte of a pair, with room for every second byte.
using PairRow = std::array<Utf8Char, 256>;

constexpr PairRow FilledRow(Utf8Char entry) {
    PairRow row{};
    for (Utf8Char& character : row) character = entry;
    return row;
}
constexpr PairRow kNoPairs = FilledRow(kNoPair);
constexpr PairRow kUnlearntRow = FilledRow(Utf8Char{{0, 0, 0, static_cast<char>(kUnlearnt)}});

// The converter, asked once per character rather than once per text: a log
// converts a hundred megabytes in the time it takes to read it twice.
class Cp932Table {
public:
    Cp932Table() {
        for (int c = 0; c < 256; ++c) {
            singles_[c] = kReplacementChar;
            rows_[c].store(IsLeadByte(static_cast<unsigned char>(c)) ? &kUnlearntRow : &kNoPairs,
                           std::memory_order_relaxed);
        }
        // Only the half-width katakana stand alone; Windows' converter
        // would also give the bytes that are no Shift-JIS a character.
        for (int c = 0xA1; c <= 0xDF; ++c) {
            const char one = static_cast<char>(c);
            singles_[c] = Learn({&one, 1});
        }
    }
    const Utf8Char& Single(unsigned char c) const { return singles_[c]; }
    // The characters that begin with `first`: kNoPair throughout when it
    // leads none, kUnlearnt throughout until LearnRow(first).
    const PairRow& Row(unsigned char first) const { return *rows_[first].load(std::memory_order_acquire); }
    // Two threads may convert at once: one learns a row at a time, and the
    // row is seen only once it is whole.
    void LearnRow(unsigned char lead) {
        while (learning_.test_and_set(std::memory_order_acquire)) PauseInSpin();
        if (rows_[lead].load(std::memory_order_relaxed) == &kUnlearntRow) {
            std::unique_ptr<PairRow>& row = learnt_[lead];
            row = std::make_unique<PairRow>(kNoPairs);
            for (int t = 0x40; t <= 0xFC; ++t) {
                if (!IsTrailByte(static_cast<unsigned char>(t))) continue;
                const char two[2] = {static_cast<char>(lead), static_cast<char>(t)};
                (*row)[static_cast<std::size_t>(t)] = Learn({two, 2});
            }
            rows_[lead].store(row.get(), std::memory_order_release);
        }
        learning_.clear(std::memory_order_release);
    }

private:
    static Utf8Char Learn(std::string_view character) {
        std::string utf8;
        AppendConvertedRun(character, utf8);
        if (utf8.empty() || utf8.size() > 3 || utf8 == kReplacement) return kReplacementChar;
        Utf8Char entry{};
        std::memcpy(entry.bytes, utf8.data(), utf8.size());
        entry.bytes[3] = static_cast<char>(utf8.size());
        return entry;
    }

    Utf8Char singles_[256];
    std::atomic<const PairRow*> rows_[256];
    std::array<std::unique_ptr<PairRow>, 256> learnt_;
    std::atomic_flag learning_ = ATOMIC_FLAG_INIT;
};

// Inline, so that the table's place is known where it is read.
inline __attribute__((always_inline)) Cp932Table& Table() {
    static Cp932Table table;
    return table;
}

// Stores all four bytes; the next character overwrites the spare one.
char* Put(char* to, const Utf8Char& character) {
    std::memcpy(to, character.bytes, 4);
    return to + character.size();
}

// IsWatchedByte of each ASCII byte, looked up as a run of ASCII is copied.
struct WatchedBytes {
    bool watched[128];
    constexpr WatchedBytes() : watched() {
        for (int c = 0; c < 128; ++c) watched[c] = IsWatchedByte(static_cast<unsigned char>(c));
    }
};
constexpr WatchedBytes kWatchedBytes;

// Converts `cp932` to `to`; with kWatch, sets `*watched` when a watched
// byte goes out. On 32-bit x86 every register counts: the flag is kept in
// one only while a run of ASCII is copied, so that the loop of two-byte
// characters keeps all of its own.
template <bool kWatch>
char* Convert(std::string_view cp932, char* to, bool* watched) {
    Cp932Table& table = Table();
    const unsigned char* at = reinterpret_cast<const unsigned char*>(cp932.data());
    const unsigned char* const end = at + cp932.size();
    // Runs of ASCII and runs of two-byte characters, each in a loop of its
    // own: a log's text changes between them only a few times a line.
    while (at != end) {
        // Watching, ASCII goes a byte at a time (a field's ASCII is a few
        // bytes): a test of eight at once takes registers the other loops need.
        while (!kWatch && end - at >= 8) {
            std::uint32_t first;
            std::uint32_t second;
            std::memcpy(&first, at, 4);
            std::memcpy(&second, at + 4, 4);
            if (((first | second) & 0x80808080u) != 0) break;
            std::memcpy(to, at, 8);
            to += 8;
            at += 8;
        }
        if constexpr (kWatch) {
            bool seen = false;
            while (at != end && *at < 0x80) {
                seen |= kWatchedBytes.watched[*at];
                *to++ = static_cast<char>(*at++);
            }
            *watched |= seen;
        } else {
            while (at != end && *at < 0x80) *to++ = static_cast<char>(*at++);
        }
        // The hottest loop of a listing or an export: each character's
        // entry is read as one word, its size in the top byte, so that on
        // 32-bit x86 every value stays in a register, and a character ends
        // no run but in a branch taken rarely.
        while (end - at >= 2) {
            std::uint32_t pair;
            std::memcpy(&pair, table.Row(at[0])[at[1]].bytes, sizeof pair);
            if (__builtin_expect(pair - kSizeOne >= 3 * kSizeOne, 0)) {
                if ((pair >> kSizeShift) != kUnlearnt) break;
                table.LearnRow(at[0]);
                continue;
            }
            std::memcpy(to, &pair, sizeof pair);
            to += pair >> kSizeShift;
            at += 2;
        }
        if (at == end || *at < 0x80) continue;
        // A half-width katakana, or a byte that is no Shift-JIS: a lead
        // without its trail, or one that starts nothing.
        to = Put(to, IsLeadByte(*at) ? kReplacementChar : table.Single(*at));
        ++at;
    }
    return to;
}

}  // namespace

char* PutUtf8(std::string_view cp932, char* to) { return Convert<false>(cp932, to, nullptr); }

char* PutUtf8Watching(std::string_view cp932, char* to, bool& watched) {
    watched = false;
    return Convert<true>(cp932, to, &watched);
}

char* PutLongDecimal(std::uint64_t number, char* to) {
    char digits[kDecimalRoom];
    const char* const first = PutDigitsBefore(number, digits + sizeof digits);
    const auto size = static_cast<std::size_t>(digits + sizeof digits - first);
    std::memcpy(to, first, size);
    return to + size;
}

void AppendUtf8(std::string_view cp932, std::string& out) {
    // Room for the worst, cut back after.
    const std::size_t before = out.size();
    out.resize(before + Utf8Room(cp932.size()));
    char* const start = out.data();
    out.resize(static_cast<std::size_t>(PutUtf8(cp932, start + before) - start));
}

void Output::Hold(std::size_t size) {
    held_ = true;
    if (room_.size() - used_ < size) room_.resize(used_ + size);
}

void Output::MakeRoom(std::size_t size) {
    if (!held_) Flush();
    if (room_.size() - used_ < size) room_.resize(used_ + size + kSpare);
}

std::string ToUtf8(std::string_view cp932) {
    std::string out;
    AppendUtf8(cp932, out);
    return out;
}

}  // namespace porresku_log
