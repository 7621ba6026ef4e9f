#include "log/LineEnds.h"

#include <cstring>

#include "log/LogFormat.h"
#include "platform/Processor.h"

#if defined(PORRESKU_X86)
#include <emmintrin.h>
#endif

namespace messagelog {

namespace {

// Four bytes at a time in a plain word: the high bit of each byte that
// equals `c`, without carries between the bytes.
inline std::uint32_t BytesEqual(std::uint32_t word, unsigned char c) {
    const std::uint32_t differ = word ^ (0x01010101u * c);
    return ~(((differ & 0x7F7F7F7Fu) + 0x7F7F7F7Fu) | differ | 0x7F7F7F7Fu);
}

// The bits of a plain word's bytes from BytesEqual, packed into four bits.
inline std::uint32_t PackHighBits(std::uint32_t highs) { return ((highs >> 7) * 0x00204081u) >> 21 & 0xF; }

std::size_t MarkPlain(const char* bytes, std::size_t size, std::uint32_t* crBits, std::size_t from) {
    std::size_t ctrlZ = size;
    for (std::size_t word = from / kBitsPerWord; word < LineEndWords(size); ++word) {
        std::uint32_t bits = 0;
        for (std::size_t quarter = 0; quarter < 8; ++quarter) {
            const std::size_t at = word * kBitsPerWord + quarter * 4;
            if (at >= size) break;
            std::uint32_t four = 0;
            std::memcpy(&four, bytes + at, size - at < 4 ? size - at : 4);
            // A partial word is padded with zeros, which are neither mark.
            if (ctrlZ == size && BytesEqual(four, static_cast<unsigned char>(kCtrlZ)) != 0) {
                for (std::size_t i = at; i < at + 4 && i < size; ++i) {
                    if (bytes[i] == kCtrlZ) {
                        ctrlZ = i;
                        break;
                    }
                }
            }
            // Byte order: the first byte is the word's lowest on x86.
            bits |= PackHighBits(BytesEqual(four, '\r')) << (quarter * 4);
        }
        crBits[word] = bits;
    }
    return ctrlZ;
}

#if defined(PORRESKU_X86)
// Whole words only; returns how many bytes it marked.
__attribute__((target("sse2"))) std::size_t MarkSse2(const char* bytes, std::size_t size, std::uint32_t* crBits,
                                                     std::size_t* ctrlZ) {
    const __m128i cr = _mm_set1_epi8('\r');
    const __m128i mark = _mm_set1_epi8(kCtrlZ);
    std::size_t at = 0;
    for (; at + kBitsPerWord <= size; at += kBitsPerWord) {
        const __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + at));
        const __m128i high = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + at + 16));
        crBits[at / kBitsPerWord] = static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(low, cr))) |
                                    static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(high, cr))) << 16;
        const int marks = _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(low, mark), _mm_cmpeq_epi8(high, mark)));
        if (marks != 0 && *ctrlZ == size) {
            const void* found = std::memchr(bytes + at, kCtrlZ, kBitsPerWord);
            *ctrlZ = static_cast<std::size_t>(static_cast<const char*>(found) - bytes);
        }
    }
    return at;
}
#endif

}  // namespace

std::size_t MarkLineEnds(const char* bytes, std::size_t size, std::uint32_t* crBits) {
    std::size_t ctrlZ = size;
    std::size_t marked = 0;
#if defined(PORRESKU_X86)
    if (platform::HasSse2()) marked = MarkSse2(bytes, size, crBits, &ctrlZ);
#endif
    const std::size_t rest = MarkPlain(bytes, size, crBits, marked);
    return ctrlZ != size ? ctrlZ : rest;
}

}  // namespace messagelog
