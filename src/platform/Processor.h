// Whether the processor runs SSE2 (or AVX2) code, asked once. Both programs are built
// for any 32-bit x86 (a sysop's old machine may predate SSE2), so code that
// uses it is compiled for it alone and run only where this says yes.
#pragma once

#if defined(__GNUC__) && (defined(__i386__) || defined(__x86_64__))
#include <cpuid.h>
#define PORRESKU_X86 1

namespace platform {

inline bool HasSse2() {
    static const bool has = [] {
        unsigned a = 0, b = 0, c = 0, d = 0;
        return __get_cpuid(1, &a, &b, &c, &d) != 0 && (d & bit_SSE2) != 0;
    }();
    return has;
}

inline bool HasPopcnt() {
    static const bool has = [] {
        unsigned a = 0, b = 0, c = 0, d = 0;
        return __get_cpuid(1, &a, &b, &c, &d) != 0 && (c & bit_POPCNT) != 0;
    }();
    return has;
}

// AVX2, where the system also keeps the wide registers across its switches
// between threads (Windows XP, for one, does not).
inline bool HasAvx2() {
    static const bool has = [] {
        unsigned a = 0, b = 0, c = 0, d = 0;
        if (__get_cpuid(1, &a, &b, &c, &d) == 0 || (c & bit_OSXSAVE) == 0 || (c & bit_AVX) == 0) return false;
        unsigned low = 0, high = 0;
        __asm__("xgetbv" : "=a"(low), "=d"(high) : "c"(0));
        if ((low & 6) != 6) return false;  // the XMM and YMM states
        if (__get_cpuid_max(0, nullptr) < 7) return false;
        __cpuid_count(7, 0, a, b, c, d);
        return (b & bit_AVX2) != 0;
    }();
    return has;
}

}  // namespace platform
#endif
