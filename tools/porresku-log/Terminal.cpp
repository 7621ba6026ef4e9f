// The platform-neutral half of the conversions; the platform's own
// converter lives in TerminalPosix.cpp or TerminalWin32.cpp.
#include "Terminal.h"

#include <array>
#include <cstdint>
#include <cstring>
#include <memory>

#include "LineRules.h"

namespace porresku_log {

// The platform's converter for a run of valid Shift-JIS.
void AppendConvertedRun(std::string_view cp932, std::string& out);

namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

// A character's UTF-8, learnt once from the platform's converter.
struct Utf8Char {
    char bytes[4];
    std::uint8_t size;  // 0: the converter knows no such character
};

// The converter, asked once per character rather than once per text: a log
// converts a hundred megabytes in the time it takes to read it twice.
class Cp932Table {
public:
    const Utf8Char& Single(unsigned char c) {
        Utf8Char& entry = singles_[c];
        if (!singleKnown_[c]) {
            entry = Learn(std::string_view(reinterpret_cast<const char*>(&c), 1));
            singleKnown_[c] = true;
        }
        return entry;
    }
    const Utf8Char& Pair(unsigned char lead, unsigned char trail) {
        std::unique_ptr<Utf8Char[]>& row = pairs_[lead];
        if (!row) {
            row = std::make_unique<Utf8Char[]>(256);
            for (int t = 0x40; t <= 0xFC; ++t) {
                if (!IsTrailByte(static_cast<unsigned char>(t))) continue;
                const char two[2] = {static_cast<char>(lead), static_cast<char>(t)};
                row[static_cast<std::size_t>(t)] = Learn({two, 2});
            }
        }
        return row[trail];
    }

private:
    static Utf8Char Learn(std::string_view character) {
        std::string utf8;
        AppendConvertedRun(character, utf8);
        Utf8Char entry{};
        if (utf8.size() > sizeof entry.bytes || utf8 == kReplacement) return entry;
        std::memcpy(entry.bytes, utf8.data(), utf8.size());
        entry.size = static_cast<std::uint8_t>(utf8.size());
        return entry;
    }

    Utf8Char singles_[256] = {};
    bool singleKnown_[256] = {};
    std::array<std::unique_ptr<Utf8Char[]>, 256> pairs_;
};

Cp932Table& Table() {
    static Cp932Table table;
    return table;
}

char* Put(char* to, const Utf8Char& character) {
    if (character.size == 0) {
        std::memcpy(to, kReplacement.data(), kReplacement.size());
        return to + kReplacement.size();
    }
    std::memcpy(to, character.bytes, 4);
    return to + character.size;
}

}  // namespace

void AppendUtf8(std::string_view cp932, std::string& out) {
    // No character grows by more than half again, but a lone byte becomes
    // three: room for the worst, cut back after.
    const std::size_t before = out.size();
    out.resize(before + cp932.size() * 3 + 4);
    char* to = out.data() + before;
    Cp932Table& table = Table();
    const unsigned char* at = reinterpret_cast<const unsigned char*>(cp932.data());
    const unsigned char* const end = at + cp932.size();
    while (at != end) {
        const unsigned char c = *at;
        if (c < 0x80) {
            *to++ = static_cast<char>(c);
            ++at;
        } else if (IsLeadByte(c) && at + 1 != end && IsTrailByte(at[1])) {
            to = Put(to, table.Pair(c, at[1]));
            at += 2;
        } else {
            // Only the half-width katakana stand alone; Windows' converter
            // would also give the bytes that are no Shift-JIS a character.
            to = Put(to, c >= 0xA1 && c <= 0xDF ? table.Single(c) : Utf8Char{});
            ++at;
        }
    }
    out.resize(static_cast<std::size_t>(to - out.data()));
}

std::string ToUtf8(std::string_view cp932) {
    std::string out;
    AppendUtf8(cp932, out);
    return out;
}

}  // namespace porresku_log
