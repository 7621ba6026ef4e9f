// The Win32 platform: the only file of the plug-in that includes windows.h.
// Every open passes FILE_SHARE_READ, so readers coexist, and a writer both
// refuses and is refused by any other open of the log.
#include <windows.h>

#include "platform/Platform.h"

namespace platform {
namespace {

ErrorCode LastError() {
    const DWORD error = GetLastError();
    return error != 0 ? static_cast<ErrorCode>(error) : ERROR_GEN_FAILURE;
}

HANDLE AsHandle(FileHandle file) { return reinterpret_cast<HANDLE>(file); }

bool FileExists(const char* name) {
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(name, &found);
    if (search == INVALID_HANDLE_VALUE) return false;
    FindClose(search);
    return (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

ErrorCode Open(const char* name, OpenMode mode, FileHandle* file) {
    *file = kNoFile;
    DWORD access = GENERIC_READ | GENERIC_WRITE;
    DWORD disposition = OPEN_EXISTING;
    if (mode == OpenMode::kRead) access = GENERIC_READ;
    if (mode == OpenMode::kCreate) disposition = CREATE_NEW;
    HANDLE handle = CreateFileA(name, access, FILE_SHARE_READ, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return LastError();
    *file = reinterpret_cast<FileHandle>(handle);
    return 0;
}

ErrorCode Read(FileHandle file, void* buffer, std::size_t size, std::size_t* got) {
    DWORD n = 0;
    const BOOL ok = ReadFile(AsHandle(file), buffer, static_cast<DWORD>(size), &n, nullptr);
    *got = n;
    return ok ? 0 : LastError();
}

ErrorCode Write(FileHandle file, const void* data, std::size_t size, std::size_t* written) {
    const char* bytes = static_cast<const char*>(data);
    *written = 0;
    while (*written < size) {
        DWORD n = 0;
        if (!WriteFile(AsHandle(file), bytes + *written, static_cast<DWORD>(size - *written), &n, nullptr)) {
            return LastError();
        }
        if (n == 0) return ERROR_DISK_FULL;
        *written += n;
    }
    return 0;
}

ErrorCode Seek(FileHandle file, std::int64_t offset, SeekFrom from, std::int64_t* position) {
    const DWORD method = from == SeekFrom::kBegin ? FILE_BEGIN : FILE_END;
    LARGE_INTEGER distance;
    distance.QuadPart = offset;
    LARGE_INTEGER at;
    if (!SetFilePointerEx(AsHandle(file), distance, &at, method)) return LastError();
    if (position != nullptr) *position = at.QuadPart;
    return 0;
}

ErrorCode Truncate(FileHandle file) { return SetEndOfFile(AsHandle(file)) ? 0 : LastError(); }

ErrorCode Close(FileHandle file) { return CloseHandle(AsHandle(file)) ? 0 : LastError(); }

LocalTime Now() {
    SYSTEMTIME now;
    GetLocalTime(&now);
    return {now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond, now.wMilliseconds};
}

void ShowBox(const char* text, const char* caption, unsigned style) {
    MessageBoxA(nullptr, text, caption, style);
}

void Diagnostic(const char* text) {
    OutputDebugStringA("Porresku: ");
    OutputDebugStringA(text);
    OutputDebugStringA("\r\n");
}

void Wait(unsigned milliseconds) { Sleep(milliseconds); }

ErrorCode Remove(const char* name) { return DeleteFileA(name) ? 0 : LastError(); }

constexpr Calls kSystem = {FileExists, Open,    Read,       Write, Seek,  Truncate,
                           Close,      Now,     ShowBox,    Diagnostic, Wait, Remove};
Calls active = kSystem;

}  // namespace

const Calls& SystemCalls() { return kSystem; }
// Another open's share mode refuses ours, or its byte-range lock does.
const ErrorCode kHeldByAnother = ERROR_SHARING_VIOLATION;
bool IsHeldByAnother(ErrorCode error) { return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION; }
Calls& Active() { return active; }

}  // namespace platform
