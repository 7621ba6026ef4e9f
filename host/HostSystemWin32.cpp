// The host's system layer on Windows (and under Wine): LoadLibraryA, code
// page 932 through UTF-16, the console's own calls when there is a console.
// The only file of the host that includes <windows.h>.
#include <windows.h>
#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <filesystem>
#include <system_error>

#include "HostSystem.h"

namespace host_system {

namespace {

std::string SystemMessage(DWORD code) {
    char* text = nullptr;
    const DWORD length =
        FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string message = length != 0 && text != nullptr ? std::string(text, length) : std::string();
    if (text != nullptr) LocalFree(text);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == ' ')) {
        message.pop_back();
    }
    return "error " + std::to_string(code) + (message.empty() ? "" : ": " + message);
}

std::wstring Widen(UINT codePage, std::string_view text, DWORD flags, bool& ok) {
    ok = true;
    if (text.empty()) return {};
    const int size = static_cast<int>(text.size());
    int length = MultiByteToWideChar(codePage, flags, text.data(), size, nullptr, 0);
    if (length == 0) {
        ok = false;
        flags = 0;
        length = MultiByteToWideChar(codePage, 0, text.data(), size, nullptr, 0);
    }
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(codePage, flags, text.data(), size, wide.data(), length);
    return wide;
}

std::string Narrow(UINT codePage, const std::wstring& wide, bool& usedDefault) {
    usedDefault = false;
    if (wide.empty()) return {};
    const int size = static_cast<int>(wide.size());
    BOOL defaulted = FALSE;
    BOOL* defaultedOut = codePage == CP_UTF8 ? nullptr : &defaulted;
    const DWORD flags = codePage == CP_UTF8 ? 0 : WC_NO_BEST_FIT_CHARS;
    const char* fallback = codePage == CP_UTF8 ? nullptr : "?";
    const int length = WideCharToMultiByte(codePage, flags, wide.data(), size, nullptr, 0, fallback, defaultedOut);
    std::string out(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(codePage, flags, wide.data(), size, out.data(), length, fallback, defaultedOut);
    usedDefault = defaulted != FALSE;
    return out;
}

bool IsLeadByte(unsigned char c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }

bool consoleIn = false;
bool consoleOut = false;
bool consoleErr = false;

bool IsConsole(DWORD which) {
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(which), &mode) != 0;
}

void Write(FILE* stream, bool console, DWORD which, std::string_view text) {
    if (console) {
        bool ok = true;
        const std::wstring wide = Widen(CP_UTF8, text, 0, ok);
        DWORD written = 0;
        WriteConsoleW(GetStdHandle(which), wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
        return;
    }
    std::fwrite(text.data(), 1, text.size(), stream);
    std::fflush(stream);
}

}  // namespace

void* OpenLibrary(const std::string& path, std::string& error) {
    // A library that fails to load must not bring up a dialog nobody answers.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    HMODULE library = LoadLibraryA(path.c_str());
    if (library == nullptr) error = SystemMessage(GetLastError());
    return reinterpret_cast<void*>(library);
}

void* FindExport(void* library, const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}

void CloseLibrary(void* library) { FreeLibrary(static_cast<HMODULE>(library)); }

const char* PluginFileName() { return "Porresku.dll"; }

// Character by character, so that a byte that is no CP932 becomes '?' just as
// iconv's caller on Linux makes it, and a transcript reads the same on both.
std::string Cp932ToUtf8(std::string_view cp932) {
    std::wstring wide;
    for (std::size_t at = 0; at < cp932.size();) {
        const std::size_t width = IsLeadByte(static_cast<unsigned char>(cp932[at])) ? 2 : 1;
        bool ok = false;
        std::wstring one;
        if (at + width <= cp932.size()) one = Widen(932, cp932.substr(at, width), MB_ERR_INVALID_CHARS, ok);
        if (ok && !one.empty()) {
            wide += one;
            at += width;
        } else {
            wide += L'?';
            at += 1;
        }
    }
    bool ignored = false;
    return Narrow(CP_UTF8, wide, ignored);
}

bool Utf8ToCp932(std::string_view utf8, std::string& out) {
    bool valid = true;
    const std::wstring wide = Widen(CP_UTF8, utf8, MB_ERR_INVALID_CHARS, valid);
    bool usedDefault = false;
    out = Narrow(932, wide, usedDefault);
    return valid && !usedDefault;
}

void PrepareTerminal(bool raw) {
    _setmode(_fileno(stdin), _O_BINARY);
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    // Raw bytes go through as bytes: a console shows them in its own code page.
    consoleIn = !raw && IsConsole(STD_INPUT_HANDLE);
    consoleOut = !raw && IsConsole(STD_OUTPUT_HANDLE);
    consoleErr = !raw && IsConsole(STD_ERROR_HANDLE);
}

bool InputIsTerminal() { return _isatty(_fileno(stdin)) != 0; }

bool ReadLine(std::string& line) {
    line.clear();
    if (consoleIn) {
        // The console hands out UTF-16 whatever its code page: read that.
        std::wstring wide;
        bool any = false;
        for (;;) {
            wchar_t c = 0;
            DWORD got = 0;
            if (!ReadConsoleW(GetStdHandle(STD_INPUT_HANDLE), &c, 1, &got, nullptr) || got == 0) break;
            any = true;
            if (c == L'\n') break;
            if (c == 0x1A && wide.empty()) return false;  // Ctrl+Z at the start of a line
            wide.push_back(c);
        }
        if (!wide.empty() && wide.back() == L'\r') wide.pop_back();
        bool ignored = false;
        line = Narrow(CP_UTF8, wide, ignored);
        return any;
    }
    return ReadByteLine(stdin, line);
}

void WriteOut(std::string_view text) { Write(stdout, consoleOut, STD_OUTPUT_HANDLE, text); }

void WriteError(std::string_view text) { Write(stderr, consoleErr, STD_ERROR_HANDLE, text); }

std::string ProgramFolder() {
    char path[MAX_PATH];
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return ".";
    return std::filesystem::path(std::string(path, length)).parent_path().string();
}

std::string AbsolutePath(const std::string& path) {
    char full[MAX_PATH];
    const DWORD length = GetFullPathNameA(path.c_str(), MAX_PATH, full, nullptr);
    if (length == 0 || length >= MAX_PATH) return path;
    return std::string(full, length);
}

bool EnterFolder(const std::string& path, std::string& error) {
    std::error_code failure;
    std::filesystem::create_directories(path, failure);
    if (failure) {
        error = failure.message();
        return false;
    }
    if (!SetCurrentDirectoryA(path.c_str())) {
        error = SystemMessage(GetLastError());
        return false;
    }
    return true;
}

bool MoveIntoPlace(const std::string& from, const std::string& to, std::string& error) {
    if (MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING)) return true;
    error = SystemMessage(GetLastError());
    return false;
}

LocalStamp Now() {
    SYSTEMTIME now;
    GetLocalTime(&now);
    return {now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond};
}

}  // namespace host_system
