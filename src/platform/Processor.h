// What the processor runs beyond plain x86 (SSE2, popcnt, AVX2), asked
// once. Both programs are built for any 32-bit x86 (a sysop's old machine
// may predate SSE2), so code that uses more is compiled for it alone and
// run only where this says yes.
#pragma once

#if defined(__GNUC__) && (defined(__i386__) || defined(__x86_64__))
#include <cpuid.h>
#define PORRESKU_X86 1

namespace platform {

struct ProcessorFeatures {
    bool sse2 = false;
    bool popcnt = false;
    // AVX2, where the system also keeps the wide registers across its
    // switches between threads (Windows XP, for one, does not).
    bool avx2 = false;
};

// Asked of the processor once.
inline const ProcessorFeatures& Features() {
    static const ProcessorFeatures features = [] {
        ProcessorFeatures found;
        unsigned a = 0, b = 0, c = 0, d = 0;
        if (__get_cpuid(1, &a, &b, &c, &d) == 0) return found;
        found.sse2 = (d & bit_SSE2) != 0;
        found.popcnt = (c & bit_POPCNT) != 0;
        if ((c & bit_OSXSAVE) == 0 || (c & bit_AVX) == 0) return found;
        unsigned low = 0, high = 0;
        __asm__("xgetbv" : "=a"(low), "=d"(high) : "c"(0));
        if ((low & 6) != 6 || __get_cpuid_max(0, nullptr) < 7) return found;  // the XMM and YMM states
        __cpuid_count(7, 0, a, b, c, d);
        found.avx2 = (b & bit_AVX2) != 0;
        return found;
    }();
    return features;
}

inline bool HasSse2() { return Features().sse2; }
inline bool HasPopcnt() { return Features().popcnt; }
inline bool HasAvx2() { return Features().avx2; }

}  // namespace platform
#endif
