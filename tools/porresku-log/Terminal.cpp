// The platform-neutral half of the conversions; the platform's own
// converter lives in TerminalPosix.cpp or TerminalWin32.cpp.
#include "Terminal.h"

#include "LineRules.h"

namespace porresku_log {

// The platform's converter for a run of valid Shift-JIS.
void AppendConvertedRun(std::string_view cp932, std::string& out);

namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

}  // namespace

void AppendUtf8(std::string_view cp932, std::string& out) {
    std::size_t runStart = 0;
    std::size_t at = 0;
    bool plain = true;  // the run so far is ASCII
    auto closeRun = [&](std::size_t end) {
        if (end == runStart) return;
        if (plain) {
            out.append(cp932.substr(runStart, end - runStart));
        } else {
            AppendConvertedRun(cp932.substr(runStart, end - runStart), out);
        }
    };
    while (at < cp932.size()) {
        const unsigned char c = static_cast<unsigned char>(cp932[at]);
        if (c < 0x80) {
            ++at;
            continue;
        }
        if (c >= 0xA1 && c <= 0xDF) {
            plain = false;
            ++at;
            continue;
        }
        if (IsLeadByte(c) && at + 1 < cp932.size() && IsTrailByte(static_cast<unsigned char>(cp932[at + 1]))) {
            plain = false;
            at += 2;
            continue;
        }
        closeRun(at);
        out.append(kReplacement);
        runStart = ++at;
        plain = true;
    }
    closeRun(at);
}

std::string ToUtf8(std::string_view cp932) {
    std::string out;
    AppendUtf8(cp932, out);
    return out;
}

}  // namespace porresku_log
