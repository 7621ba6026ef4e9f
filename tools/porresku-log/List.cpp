// list: the postings with their line numbers, as the log has them.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "Commands.h"
#include "LogFiles.h"
#include "ShowPieces.h"
#include "Since.h"
#include "Terminal.h"
#include "log/LogError.h"

namespace porresku_log {

namespace {

// A posting's lines as listed (a sound header, then sound message lines):
// each line's number right-aligned in 7 places, two blanks, its text. One
// for each thread.
class LineLister {
public:
    void Header(const LogLine& line, Terminal& terminal) {
        const std::string_view text = line.text();
        char* to = terminal.out().Room(kDecimalRoom + 2 + Utf8Room(text.size()) + 1);
        to = terminal.PutHeaderLine(text, PutNumber(line.number, to));
        *to++ = '\n';
        terminal.out().Wrote(to);
    }
    void Message(const LogLine& line, Terminal& terminal) {
        const std::string_view text = line.text();
        char* to = terminal.out().Room(kDecimalRoom + 2 + Utf8Room(text.size()) + ConvertedHandles::kRoom + 1);
        to = terminal.PutMessageLine(text, handles_, PutNumber(line.number, to));
        *to++ = '\n';
        terminal.out().Wrote(to);
    }

private:
    static constexpr std::size_t kPlaces = 7;
    static constexpr std::uint32_t kPlacesHold = 10'000'000;

    // Most lines listed follow the one listed before: their number is
    // counted on in the last one's text instead of made afresh. Numbers
    // that fit the column fit 32 bits, which 32-bit x86 compares at once.
    char* PutNumber(std::int64_t number, char* to) {
        if (static_cast<std::uint64_t>(number) >= kPlacesHold) {
            to = PutDecimal(static_cast<std::uint64_t>(number), to);
            *to++ = ' ';
            *to++ = ' ';
            return to;
        }
        const auto small = static_cast<std::uint32_t>(number);
        if (small == last_ + 1) {
            // The last number goes out whole, then the digits that change
            // are changed in both, a byte at a time: read whole just after
            // such a change, the column would wait for the bytes to be
            // stored (a third of the line's time).
            std::memcpy(to, column_, sizeof column_);
            CountOn(to);
        } else {
            char* const first = PutDigitsBefore(small, column_ + kPlaces);
            std::fill(column_, first, ' ');
            std::memcpy(to, column_, sizeof column_);
        }
        last_ = small;
        return to + sizeof column_;
    }
    void CountOn(char* copy) {
        std::size_t digit = kPlaces - 1;
        for (; column_[digit] == '9'; --digit) column_[digit] = copy[digit] = '0';
        const char counted = column_[digit] == ' ' ? '1' : static_cast<char>(column_[digit] + 1);
        column_[digit] = counted;
        copy[digit] = counted;
    }

    ConvertedHandles handles_;
    char column_[kPlaces + 2] = {' ', ' ', ' ', ' ', ' ', ' ', '0', ' ', ' '};
    std::uint32_t last_ = 0;
};

// Every posting, each line listed as it comes. A header that no message
// line joins is no posting: what was listed of it is taken back.
class PostingLister {
public:
    PostingLister(Output& out, bool raw) : terminal_(out, raw) {}
    void Header(const LogLine& line) {
        headerAt_ = terminal_.out().Written();
        list_.Header(line, terminal_);
    }
    void Message(const LogLine& line) { list_.Message(line, terminal_); }
    void Close(bool posting) {
        if (!posting) terminal_.out().TakeBack(headerAt_);
    }

private:
    Terminal terminal_;
    LineLister list_;
    std::size_t headerAt_ = 0;
};

}  // namespace

int RunList(const std::string& log, const Selection& selection, const std::optional<std::string>& since,
            Terminal& terminal) {
    std::optional<SinceFilter> sinceFilter;
    if (since) {
        const std::optional<std::string> reply = terminal.FromArgument(*since);
        const platform::LocalTime now = platform::Active().localTime();
        if (reply) {
            sinceFilter = SinceSelection(
                *reply, {now.year, now.month, now.day, now.hour, now.minute, now.second, now.millisecond}, log);
        }
        if (!sinceFilter) throw ToolError("--since: '" + *since + "' is no date or time of day");
    }
    const ReadableLog file(log);
    Output& out = terminal.out();
    const bool raw = terminal.raw();
    std::int64_t shown = 0;
    try {
        if (!sinceFilter && selection.empty()) {
            // Every posting: each line goes out as it comes.
            shown = ShowPostings(file.handle(), out, [&](Output& pieceOut) { return PostingLister(pieceOut, raw); });
        } else {
            // A selection looks at the whole posting first.
            shown = ShowUnits(file.handle(), out, [&] {
                return [&, list = LineLister()](const LogUnit& unit, Output& pieceOut) mutable {
                    if (!unit.posting) return false;
                    if (sinceFilter && !sinceFilter->Takes(unit)) return false;
                    if (!selection.empty() && !selection.Takes(unit)) return false;
                    Terminal pieceTerminal(pieceOut, raw);
                    list.Header(unit.header(), pieceTerminal);
                    for (const LogLine& line : unit.lines.subspan(1)) list.Message(line, pieceTerminal);
                    return true;
                };
            });
        }
    } catch (const messagelog::LogError& error) {
        throw ToolError(log + ": " + error.diagnostic());
    }
    out << static_cast<long long>(shown) << (shown == 1 ? " posting" : " postings");
    if (sinceFilter) out << " since " << sinceFilter->key();
    out << '\n';
    return kFine;
}

}  // namespace porresku_log
