// Windows' own converters (code page 932 and UTF-8 through UTF-16), the wide
// command line, and the console, which takes UTF-16 whatever its code page.
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#include <shellapi.h>

#include "Terminal.h"

namespace porresku_log {

namespace {

std::wstring Wide(UINT codePage, DWORD flags, std::string_view in, bool* ok) {
    *ok = true;
    if (in.empty()) return {};
    const int size = MultiByteToWideChar(codePage, flags, in.data(), static_cast<int>(in.size()), nullptr, 0);
    if (size <= 0) {
        *ok = false;
        return {};
    }
    std::wstring wide(static_cast<std::size_t>(size), L'\0');
    MultiByteToWideChar(codePage, flags, in.data(), static_cast<int>(in.size()), wide.data(), size);
    return wide;
}

bool Narrow(UINT codePage, const std::wstring& wide, std::string& out) {
    if (wide.empty()) return true;
    BOOL lossy = FALSE;
    // WideCharToMultiByte refuses the default-character test for UTF-8.
    BOOL* lossyTest = codePage == CP_UTF8 ? nullptr : &lossy;
    const int size = WideCharToMultiByte(codePage, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0,
                                         nullptr, lossyTest);
    if (size <= 0 || lossy) return false;
    const std::size_t before = out.size();
    out.resize(before + static_cast<std::size_t>(size));
    WideCharToMultiByte(codePage, 0, wide.data(), static_cast<int>(wide.size()), out.data() + before, size, nullptr,
                        nullptr);
    return true;
}

}  // namespace

void AppendConvertedRun(std::string_view cp932, std::string& out) {
    bool ok = false;
    const std::wstring wide = Wide(932, MB_ERR_INVALID_CHARS, cp932, &ok);
    if (ok && Narrow(CP_UTF8, wide, out)) return;
    // A pair the converter does not know: character by character.
    for (std::size_t at = 0; at < cp932.size();) {
        const unsigned char c = static_cast<unsigned char>(cp932[at]);
        const std::size_t size = c >= 0x81 && !(c >= 0xA1 && c <= 0xDF) ? 2 : 1;
        const std::wstring one = Wide(932, MB_ERR_INVALID_CHARS, cp932.substr(at, size), &ok);
        if (!ok || !Narrow(CP_UTF8, one, out)) out.append("\xEF\xBF\xBD");
        at += size;
    }
}

std::optional<std::string> ToCp932(std::string_view utf8) {
    bool ok = false;
    const std::wstring wide = Wide(CP_UTF8, MB_ERR_INVALID_CHARS, utf8, &ok);
    std::string out;
    if (!ok || !Narrow(932, wide, out)) return std::nullopt;
    return out;
}

std::vector<std::string> Utf8Arguments(int argc, char** argv) {
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (wide == nullptr) return {argv, argv + argc};
    std::vector<std::string> arguments;
    for (int i = 0; i < count; ++i) {
        std::string argument;
        Narrow(CP_UTF8, std::wstring(wide[i]), argument);
        arguments.push_back(std::move(argument));
    }
    LocalFree(wide);
    return arguments;
}

std::optional<std::string> SystemFileName(const std::string& utf8) {
    bool ok = false;
    const std::wstring wide = Wide(CP_UTF8, MB_ERR_INVALID_CHARS, utf8, &ok);
    std::string name;
    if (!ok || !Narrow(CP_ACP, wide, name)) return std::nullopt;
    return name;
}

Output::Output(std::FILE* stream) : stream_(stream), room_(kFlushAt + kSpare) {
    // Bytes as written: no CR put before each LF.
    _setmode(_fileno(stream), _O_BINARY);
    DWORD mode = 0;
    console_ = GetConsoleMode(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream))), &mode) != 0;
}

void Output::Flush() {
    if (used_ == 0) return;
    if (!console_) {
        std::fwrite(room_.data(), 1, used_, stream_);
        std::fflush(stream_);
        used_ = 0;
        return;
    }
    // A character split by the buffer's end waits for the rest of it.
    std::size_t whole = used_;
    std::size_t start = whole;
    while (start > 0 && whole - start < 4 && (static_cast<unsigned char>(room_[start - 1]) & 0xC0) == 0x80) --start;
    if (start > 0) {
        const unsigned char lead = static_cast<unsigned char>(room_[start - 1]);
        const std::size_t size = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
        if (whole - (start - 1) < size) whole = start - 1;
    }
    bool ok = false;
    const std::wstring wide = Wide(CP_UTF8, 0, std::string_view(room_.data(), whole), &ok);
    DWORD written = 0;
    WriteConsoleW(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream_))), wide.data(),
                  static_cast<DWORD>(wide.size()), &written, nullptr);
    std::memmove(room_.data(), room_.data() + whole, used_ - whole);
    used_ -= whole;
}

}  // namespace porresku_log
