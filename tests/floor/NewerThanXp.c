/* A DLL that Windows XP cannot load, for the test that the XP floor check
   catches it: a kernel32 function that came with Vista, an import from a DLL
   other than KERNEL32/USER32/msvcrt, and (by ld's default) a PE header that
   does not say 5.1. */
#define _WIN32_WINNT 0x0600
#include <windows.h>

__declspec(dllexport) unsigned long long Uptime(void) { return GetTickCount64(); }

__declspec(dllexport) long CloseKey(HKEY key) { return RegCloseKey(key); }
