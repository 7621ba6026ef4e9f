/* A DLL that Windows XP cannot load, for the test that the XP floor check
   catches it: a kernel32 function that came with Vista, imports from DLLs
   other than KERNEL32/USER32/msvcrt (SHELL32, which only the sysop's program
   may use), a msvcrt function that came with Vista's msvcrt.dll, and (by
   ld's default) a PE header that does not say 5.1. */
#define _WIN32_WINNT 0x0600
#include <windows.h>
#include <shellapi.h>
#include <string.h>

__declspec(dllexport) unsigned long long Uptime(void) { return GetTickCount64(); }

__declspec(dllexport) long CloseKey(HKEY key) { return RegCloseKey(key); }

__declspec(dllexport) LPWSTR *Arguments(int *count) { return CommandLineToArgvW(GetCommandLineW(), count); }

__declspec(dllexport) int Copy(char *to, size_t room, const char *from) { return strcpy_s(to, room, from); }
