// glibc's iconv with "CP932" (not "SHIFT_JIS", which reads 5C as a yen sign).
#include <iconv.h>
#include <unistd.h>

#include <cerrno>

#include "Terminal.h"

namespace porresku_log {

namespace {

// Converts all of `in`; false when a character has no form in the target.
bool Convert(iconv_t converter, std::string_view in, std::string& out) {
    if (converter == reinterpret_cast<iconv_t>(-1)) return false;
    iconv(converter, nullptr, nullptr, nullptr, nullptr);
    char* from = const_cast<char*>(in.data());
    std::size_t left = in.size();
    while (left > 0) {
        char chunk[1024];
        char* to = chunk;
        std::size_t room = sizeof chunk;
        const std::size_t done = iconv(converter, &from, &left, &to, &room);
        out.append(chunk, static_cast<std::size_t>(to - chunk));
        if (done == static_cast<std::size_t>(-1) && errno != E2BIG) return false;
    }
    return true;
}

iconv_t FromCp932() {
    static const iconv_t converter = iconv_open("UTF-8", "CP932");
    return converter;
}
iconv_t ToCp932Converter() {
    static const iconv_t converter = iconv_open("CP932", "UTF-8");
    return converter;
}

}  // namespace

void AppendConvertedRun(std::string_view cp932, std::string& out) {
    const std::size_t before = out.size();
    if (Convert(FromCp932(), cp932, out)) return;
    // A pair the converter does not know (an unassigned code): character
    // by character, a mark for each such pair.
    out.resize(before);
    for (std::size_t at = 0; at < cp932.size();) {
        const std::size_t size = static_cast<unsigned char>(cp932[at]) >= 0x81 &&
                                         !(static_cast<unsigned char>(cp932[at]) >= 0xA1 &&
                                           static_cast<unsigned char>(cp932[at]) <= 0xDF)
                                     ? 2
                                     : 1;
        const std::size_t mark = out.size();
        if (!Convert(FromCp932(), cp932.substr(at, size), out)) {
            out.resize(mark);
            out.append("\xEF\xBF\xBD");
        }
        at += size;
    }
}

std::optional<std::string> ToCp932(std::string_view utf8) {
    std::string out;
    if (!Convert(ToCp932Converter(), utf8, out)) return std::nullopt;
    return out;
}

std::vector<std::string> Utf8Arguments(int argc, char** argv) { return {argv, argv + argc}; }

std::optional<std::string> SystemFileName(const std::string& utf8) { return utf8; }

Output::Output(std::FILE* stream) : stream_(stream), console_(false), room_(kFlushAt + kSpare) {}

void Output::Flush() {
    if (used_ == 0) return;
    // One write for the whole room: through the stream's own buffer a large
    // text goes out in three, with a copy.
    std::fflush(stream_);
    const int fd = fileno(stream_);
    const char* at = room_.data();
    std::size_t left = used_;
    while (left > 0) {
        const ssize_t written = ::write(fd, at, left);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) break;
        at += written;
        left -= static_cast<std::size_t>(written);
    }
    used_ = 0;
}

}  // namespace porresku_log
