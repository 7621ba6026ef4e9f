// A library that looks like the plug-in but lacks its exports but one: the
// host must name the first export it misses and stop.
#if defined(_WIN32)
#define INCOMPLETE_EXPORT __declspec(dllexport)
#else
#define INCOMPLETE_EXPORT __attribute__((visibility("default")))
#endif

extern "C" INCOMPLETE_EXPORT const char* __attribute__((stdcall)) Name() { return "incomplete"; }
