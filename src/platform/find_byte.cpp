// Sixteen bytes at a time where every processor of the build has SSE2 (x64),
// else eight: the filter's line search is most of a rewrite's work.
#include "platform/find_byte.h"

#include <cstdint>
#include <cstring>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

const char* FindByte(const char* bytes, size_t size, char c) {
    const char* end = bytes + size;
#ifdef __SSE2__
    const __m128i needle = _mm_set1_epi8(c);
    for (; end - bytes >= 16; bytes += 16) {
        const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes));
        const int found = _mm_movemask_epi8(_mm_cmpeq_epi8(block, needle));
        if (found != 0) {
            return bytes + __builtin_ctz(static_cast<unsigned>(found));
        }
    }
#else
    const uint64_t ones = 0x0101010101010101ull;
    const uint64_t pattern = ones * static_cast<unsigned char>(c);
    for (; end - bytes >= 8; bytes += 8) {
        uint64_t word;
        memcpy(&word, bytes, sizeof word);
        word ^= pattern;  // a zero byte where c was
        if (((word - ones) & ~word & (ones << 7)) != 0) {
            break;
        }
    }
#endif
    for (; bytes < end; ++bytes) {
        if (*bytes == c) {
            return bytes;
        }
    }
    return NULL;
}
