// The sysop's tool on arbitrary bytes as porresku.log: repair always leaves
// a log that check finds clean and that keeps every whole posting (and
// leaves a clean log as it was); remove of one line's posting takes out
// exactly that posting's lines and keeps every other byte, the ones behind
// a Ctrl-Z too. The harness reads the bytes its own plain way.
//
// Input: one control byte, then the log.
//   bits 0-6  the line number remove is given (0: the last line)
//   bit 7     put a filler of almost one read buffer (128 KiB) in front, so
//             lines and Ctrl-Z bytes fall across the buffer's end
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "Check.h"
#include "log/LogFormat.h"
#include "FuzzSupport.h"
#include "LogFiles.h"
#include "Remove.h"
#include "Repair.h"

namespace {

constexpr std::size_t kReadBuffer = 128 * 1024;

// One long line (no posting: repair takes it out, check reports it), so the
// filler costs little to pass over.
std::string Filler(std::size_t size) { return std::string(size - 2, '.') + "\r\n"; }

// Strict Shift-JIS: no character cut in half anywhere.
bool IsShiftJis(std::string_view text) {
    for (std::size_t at = 0; at < text.size(); ++at) {
        const unsigned char c = static_cast<unsigned char>(text[at]);
        if (c < 0x80 || (c >= 0xA1 && c <= 0xDF)) continue;
        if (!((c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC)) || at + 1 == text.size()) return false;
        const unsigned char t = static_cast<unsigned char>(text[++at]);
        if (t < 0x40 || t > 0xFC || t == 0x7F) return false;
    }
    return true;
}

struct PlainLine {
    std::string bytes;
    std::size_t offset;
    std::size_t end;  // after its line end
    bool crLf;        // ended by CR LF
};

// The board's reading: CR ends a line, one LF after it belongs to the line
// end, the text stops at a Ctrl-Z.
std::vector<PlainLine> BoardLines(std::string_view bytes) {
    const std::string_view text = bytes.substr(0, bytes.find('\x1A'));
    std::vector<PlainLine> lines;
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t cr = text.find('\r', at);
        if (cr == std::string_view::npos) {
            lines.push_back({std::string(text.substr(at)), at, text.size(), false});
            break;
        }
        const bool lf = cr + 1 < text.size() && text[cr + 1] == '\n';
        lines.push_back({std::string(text.substr(at, cr - at)), at, cr + 1 + lf, lf});
        at = cr + 1 + lf;
    }
    return lines;
}

bool SoundHeader(const std::string& line) {
    return fuzz::IsWrittenHeader(line) && !(line.size() >= 15 && line[14] == '>') && IsShiftJis(line);
}
bool SoundMessage(const std::string& line) {
    return fuzz::IsWrittenMessage(line) && !(line[2] == '/' && line.size() >= 9 && line[8] == ':') &&
           IsShiftJis(line);
}

// The whole postings, each as its lines joined with CR LF.
std::vector<std::string> WholePostings(const std::vector<PlainLine>& lines) {
    std::vector<std::string> postings;
    for (std::size_t i = 0; i < lines.size();) {
        if (!lines[i].crLf || !SoundHeader(lines[i].bytes)) {
            ++i;
            continue;
        }
        std::size_t next = i + 1;
        while (next < lines.size() && lines[next].crLf && SoundMessage(lines[next].bytes)) ++next;
        if (next > i + 1) {
            std::string posting;
            for (std::size_t j = i; j < next; ++j) posting += lines[j].bytes + "\r\n";
            postings.push_back(posting);
        }
        i = next;
    }
    return postings;
}

std::int64_t Findings(const std::string& bytes) {
    fuzz::WriteLog(bytes);
    const porresku_log::ReadableLog log(messagelog::kLogName);
    return porresku_log::CheckLog(log.handle(), [](const porresku_log::Finding&) {}).findings;
}

std::string Repaired(const std::string& bytes) {
    std::string out;
    porresku_log::Repairer repairer([&](std::string_view piece) { out.append(piece); },
                                    [](const porresku_log::LogUnit&) {});
    // In two pieces, so a CR LF may be split between them.
    repairer.Feed(std::string_view(bytes).substr(0, bytes.size() / 2));
    repairer.Feed(std::string_view(bytes).substr(bytes.size() / 2));
    repairer.Finish();
    return out;
}

void CheckRepair(const std::string& bytes) {
    const std::string repaired = Repaired(bytes);
    FUZZ_CHECK(Findings(repaired) == 0, "check finds something in the repaired log");
    if (Findings(bytes) == 0) FUZZ_CHECK(repaired == bytes, "repair changed a clean log");
    FUZZ_CHECK(Repaired(repaired) == repaired, "a second repair changed the log");
    // Every whole posting the board could read is still there, in order.
    std::size_t from = 0;
    for (const std::string& posting : WholePostings(BoardLines(bytes))) {
        const std::size_t found = repaired.find(posting, from);
        FUZZ_CHECK(found != std::string::npos, "repair lost a whole posting: \"%s\"", posting.c_str());
        from = found + posting.size();
    }
}

void CheckRemove(const std::string& bytes, unsigned lineChoice) {
    const std::vector<PlainLine> lines = BoardLines(bytes);
    if (lines.empty()) return;
    const std::size_t chosen = lineChoice == 0 || lineChoice > lines.size() ? lines.size() - 1 : lineChoice - 1;
    fuzz::WriteLog(bytes);
    porresku_log::Selection selection;
    selection.lines = {static_cast<std::int64_t>(chosen + 1)};
    std::vector<porresku_log::KeptRange> kept;
    {
        porresku_log::HeldLog held(messagelog::kLogName);
        kept = porresku_log::PlanRemoval(held.handle(), selection, [](const porresku_log::LogUnit&) {});
        porresku_log::WriteBackup(held, "porresku.log.bak");
        porresku_log::Rewrite(held, "porresku.log.bak", [&](const porresku_log::ByteWriter& write) {
            porresku_log::ReadRanges("porresku.log.bak", kept, write);
        });
    }
    const std::string after = fuzz::ReadLog();
    FUZZ_CHECK(after.size() < bytes.size(), "the chosen line stayed");
    const std::size_t gone = bytes.size() - after.size();
    // What went is one run of whole lines that holds the chosen one; every
    // other byte is where it was.
    std::map<std::size_t, std::size_t> lineEnding;  // end offset -> line
    for (std::size_t i = 0; i < lines.size(); ++i) lineEnding[lines[i].end] = i;
    std::size_t start = lines.size();
    std::size_t stop = lines.size();
    for (std::size_t i = 0; i <= chosen; ++i) {
        const std::size_t from = lines[i].offset;
        const auto ending = lineEnding.find(from + gone);
        if (ending == lineEnding.end() || ending->second < chosen) continue;
        if (after.compare(0, from, bytes, 0, from) == 0 && after.compare(from, std::string::npos, bytes, from + gone) == 0) {
            start = i;
            stop = ending->second;
            break;
        }
    }
    FUZZ_CHECK(start < lines.size(), "what went is no run of whole lines holding the chosen line, or a kept byte changed");
    // A posting holding the chosen line went as one, from its header: its
    // sound message lines after it, whatever their line ends, went with it
    // (and a line the board itself cuts, which this reading does not take
    // for sound, may have gone with them).
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (!SoundHeader(lines[i].bytes)) continue;
        std::size_t next = i + 1;
        while (next < lines.size() && SoundMessage(lines[next].bytes)) ++next;
        if (next > i + 1 && chosen >= i && chosen < next) {
            FUZZ_CHECK(start == i && stop >= next - 1, "remove did not take the chosen posting whole");
            for (std::size_t j = next; j <= stop; ++j) {
                FUZZ_CHECK(lines[j].bytes.size() >= 15 && lines[j].bytes[14] == '>', "remove took a line of no message");
            }
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const bool entered = (fuzz::EnterScratchFolder(), true);
    (void)entered;
    if (size < 1) return 0;
    const unsigned control = data[0];
    std::string bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
    if (control & 0x80) bytes = Filler(kReadBuffer - 7) + bytes;
    CheckRepair(bytes);
    CheckRemove(bytes, control & 0x7F);
    return 0;
}
