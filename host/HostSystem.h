// What the host stand-in needs from the operating system, in one small
// interface: HostSystemPosix.cpp and HostSystemWin32.cpp implement it, so the
// rest of the host is the same source on both.
//
// No Windows header here: its macros (PostMessage, SendMessage, ...) would
// collide with the board's names.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace host_system {

// ---- the plug-in ------------------------------------------------------------

// Loads a library by file name; nullptr and `error` set when it fails.
void* OpenLibrary(const std::string& path, std::string& error);
// An export by name; nullptr when the library has none of that name.
void* FindExport(void* library, const char* name);
// Unloads it: the library's unload step runs here.
void CloseLibrary(void* library);
// The plug-in's file name on this platform ("libPorresku.so", "Porresku.dll").
const char* PluginFileName();

// ---- text -------------------------------------------------------------------

// Shift-JIS (CP932) to UTF-8; a byte that is no CP932 becomes '?'.
std::string Cp932ToUtf8(std::string_view cp932);
// UTF-8 to CP932. False when the text is no UTF-8 or holds a character that
// CP932 lacks; `out` then has '?' in its place.
bool Utf8ToCp932(std::string_view utf8, std::string& out);

// ---- the terminal -----------------------------------------------------------

// Binary standard streams (no "\r\n" from "\n"); on a console, UTF-8 unless
// `raw` asks for the bytes to go through untouched.
void PrepareTerminal(bool raw);
bool InputIsTerminal();
// One line from standard input without its line ending; false at the end.
bool ReadLine(std::string& line);
// One line of bytes from a stream, CR LF or LF ended; false at the end.
inline bool ReadByteLine(std::FILE* stream, std::string& line) {
    line.clear();
    int c;
    bool any = false;
    while ((c = std::fgetc(stream)) != EOF) {
        any = true;
        if (c == '\n') break;
        line.push_back(static_cast<char>(c));
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return any;
}
// Text (UTF-8, or raw bytes) to standard output / standard error, flushed.
void WriteOut(std::string_view text);
void WriteError(std::string_view text);

// ---- files and the clock ------------------------------------------------

// The folder that holds the running program.
std::string ProgramFolder();
// `path` made absolute against the current folder.
std::string AbsolutePath(const std::string& path);
// Creates the folder (and its parents) when missing, then makes it current.
bool EnterFolder(const std::string& path, std::string& error);
// Puts `from` in place of `to` in one step (both in one folder).
bool MoveIntoPlace(const std::string& from, const std::string& to, std::string& error);

struct LocalStamp {
    int year, month, day, hour, minute, second;
};
// The local date and time, to the second.
LocalStamp Now();

}  // namespace host_system
