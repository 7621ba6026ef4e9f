// The terminal's side of the tool: the log holds Shift-JIS (CP932), the
// sysop's terminal shows UTF-8. Texts from the log are converted on the way
// out and texts from the command line on the way in, as the host stand-in
// converts them; with --raw the log's bytes pass unchanged both ways.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ConvertedHandles.h"
#include "LineRules.h"

namespace porresku_log {

// CP932 to UTF-8. A byte that is no Shift-JIS (a character the board cut in
// half at a line's end, say) becomes U+FFFD.
void AppendUtf8(std::string_view cp932, std::string& out);
std::string ToUtf8(std::string_view cp932);
// The same into room for at least Utf8Room(cp932.size()) bytes; returns the
// end of what it wrote.
constexpr std::size_t Utf8Room(std::size_t cp932Size) { return cp932Size * 3 + 4; }
char* PutUtf8(std::string_view cp932, char* to);
// The ASCII bytes that CSV or JSON take care of in a field: the control
// bytes (line ends among them), the quote, the comma and the backslash.
constexpr bool IsWatchedByte(unsigned char c) { return c < 0x20 || c == '"' || c == ',' || c == '\\'; }
// PutUtf8 that also tells whether the UTF-8 holds a watched byte. Its ASCII
// comes only from the text's single-byte characters, so that is seen on
// the way, where a second look at the text would be needed otherwise.
char* PutUtf8Watching(std::string_view cp932, char* to, bool& watched);
// A number's decimal digits, written backwards so that they end at `end`
// (room before it: kDecimalRoom); returns where they begin. Two digits at a
// time, in 32 bits while the number fits: a 64-bit division is a library
// call on x86.
inline constexpr std::size_t kDecimalRoom = 20;
inline char* PutDigitsBefore(std::uint64_t number, char* end) {
    static constexpr char kPairs[] =
        "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
        "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
        "8081828384858687888990919293949596979899";
    while (number > 0xFFFFFFFF) {
        *--end = static_cast<char>('0' + number % 10);
        number /= 10;
    }
    auto small = static_cast<std::uint32_t>(number);
    while (small >= 100) {
        end -= 2;
        std::memcpy(end, kPairs + 2 * (small % 100), 2);
        small /= 100;
    }
    if (small >= 10) {
        end -= 2;
        std::memcpy(end, kPairs + 2 * small, 2);
    } else {
        *--end = static_cast<char>('0' + small);
    }
    return end;
}
// The same at `to`, which has kDecimalRoom; returns their end. Inline, with
// the digits counted first, for a number below 2^32 (a line number, say).
char* PutLongDecimal(std::uint64_t number, char* to);
inline char* PutDecimal(std::uint64_t number, char* to) {
    if (number > 0xFFFFFFFF) return PutLongDecimal(number, to);
    const auto small = static_cast<std::uint32_t>(number);
    const std::size_t digits = 1 + (small >= 10) + (small >= 100) + (small >= 1000) + (small >= 10'000) +
                               (small >= 100'000) + (small >= 1'000'000) + (small >= 10'000'000) +
                               (small >= 100'000'000) + (small >= 1'000'000'000);
    PutDigitsBefore(small, to + digits);
    return to + digits;
}
// UTF-8 to CP932; empty when a character has no CP932 form.
std::optional<std::string> ToCp932(std::string_view utf8);

// The program's arguments as UTF-8 (on Windows from the wide command line).
std::vector<std::string> Utf8Arguments(int argc, char** argv);
// A file name from the command line as the system's file calls take it (on
// Windows the ANSI code page); empty when it has no such form.
std::optional<std::string> SystemFileName(const std::string& utf8);

// Buffered output to standard output or standard error, written in large
// pieces. On a Windows console the text goes out as UTF-16, so it shows
// whatever the console's code page; elsewhere its bytes go out unchanged.
class Output {
public:
    explicit Output(std::FILE* stream);
    ~Output() { Flush(); }
    Output(const Output&) = delete;
    Output& operator=(const Output&) = delete;

    Output& operator<<(std::string_view text) {
        char* to = Room(text.size());
        if (!text.empty()) std::memcpy(to, text.data(), text.size());
        Wrote(to + text.size());
        return *this;
    }
    Output& operator<<(long long number) { return *this << std::string_view(std::to_string(number)); }
    Output& operator<<(int number) { return *this << static_cast<long long>(number); }
    Output& operator<<(std::size_t number) { return *this << static_cast<long long>(number); }
    Output& operator<<(char c) { return *this << std::string_view(&c, 1); }
    Output& operator<<(const char* text) { return *this << std::string_view(text); }

    // Room for at least `size` bytes, written to directly and then told
    // with Wrote(the end of what was written).
    char* Room(std::size_t size) {
        if (size > room_.size() - used_) MakeRoom(size);
        return room_.data() + used_;
    }
    void Wrote(const char* end) {
        used_ = static_cast<std::size_t>(end - room_.data());
        if (used_ >= kFlushAt && !held_) Flush();
    }
    void Flush();
    // Keeps what is written, in room for `size` bytes to begin with, until
    // Release(): the output of a piece of the log waits for its turn.
    void Hold(std::size_t size);
    void Release() { held_ = false; }
    // Throws away what is held (it must never go out).
    void Drop() { used_ = 0; }
    // How much is written, and what was written after that taken back: only
    // while held, when none of it went out yet.
    std::size_t Written() const { return used_; }
    void TakeBack(std::size_t written) { used_ = written; }
    std::FILE* stream() const { return stream_; }
    // Bytes go out as they are, a console's too (--raw).
    void KeepBytes() { console_ = false; }

private:
    static constexpr std::size_t kFlushAt = 64 * 1024;
    // Beyond kFlushAt: more than the largest piece usually written at once.
    static constexpr std::size_t kSpare = 16 * 1024;
    void MakeRoom(std::size_t size);

    std::FILE* stream_;
    [[maybe_unused]] bool console_;  // Windows only
    std::vector<char> room_;
    std::size_t used_ = 0;
    bool held_ = false;
};

// "1 posting", "2 postings".
inline std::string Counted(long long count, const char* one, const char* many) {
    return std::to_string(count) + ' ' + (count == 1 ? one : many);
}

// Texts from the log as the terminal gets them: converted, or raw.
class Terminal {
public:
    Terminal(Output& out, bool raw) : out_(out), raw_(raw) {}
    Output& out() { return out_; }
    bool raw() const { return raw_; }
    // A text from the log.
    void Text(std::string_view cp932) { out_.Wrote(PutText(cp932, out_.Room(Utf8Room(cp932.size())))); }
    // The same at `to`, which has Utf8Room(cp932.size()); returns its end.
    char* PutText(std::string_view cp932, char* to) const {
        if (!raw_) return PutUtf8(cp932, to);
        if (!cp932.empty()) std::memcpy(to, cp932.data(), cp932.size());
        return to + cp932.size();
    }
    // The same, telling whether what it wrote holds a watched byte.
    char* PutTextWatching(std::string_view cp932, char* to, bool& watched) const {
        if (!raw_) return PutUtf8Watching(cp932, to, watched);
        watched = std::any_of(cp932.begin(), cp932.end(),
                              [](char c) { return IsWatchedByte(static_cast<unsigned char>(c)); });
        return PutText(cp932, to);
    }
    // A sound header at `to`, which has Utf8Room(line.size()); returns its
    // end. Its time key is digits and marks, and goes out as it stands.
    char* PutHeaderLine(std::string_view line, char* to) const {
        constexpr std::size_t kLongKey = 12;  // "MM/DD hh:mm "
        constexpr std::size_t kShortKey = 6;  // "MM/DD "
        std::size_t key = kShortKey;
        if (HeaderHasLongKey(line)) {
            std::memcpy(to, line.data(), kLongKey);
            key = kLongKey;
        } else {
            std::memcpy(to, line.data(), kShortKey);
        }
        return PutText(line.substr(key), to + key);
    }
    // A sound message line at `to`, which has Utf8Room(line.size()) +
    // ConvertedHandles::kRoom; returns its end.
    char* PutMessageLine(std::string_view line, ConvertedHandles& handles, char* to) const {
        return PutText(line.substr(ConvertedHandles::kLongest), PutHandlePrefix(line, handles, to));
    }
    // A message line's handle prefix (its first ConvertedHandles::kLongest
    // bytes, the mark last) at `to`, which has ConvertedHandles::kRoom;
    // returns its end.
    char* PutHandlePrefix(std::string_view line, ConvertedHandles& handles, char* to) const {
        return raw_ ? std::copy_n(line.data(), ConvertedHandles::kLongest, to) : handles.PutPrefix(line, to);
    }
    // A text from the command line, as the log holds it.
    std::optional<std::string> FromArgument(std::string_view text) const {
        return raw_ ? std::optional<std::string>(std::string(text)) : ToCp932(text);
    }

private:
    Output& out_;
    bool raw_;
};

}  // namespace porresku_log
