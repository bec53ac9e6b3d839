// Four pixels per step through one byte shuffle; only called where the processor has SSSE3.
#include "platform/coregraphics/CoreGraphicsSwizzle.h"

#include <tmmintrin.h>

namespace platform::coregraphics {

__attribute__((target("ssse3"))) void SwizzleSSSE3(const uint8_t* src, uint8_t* dst, size_t count,
                                                   const Swizzle& s) {
    alignas(16) uint8_t pattern[16];
    for (int p = 0; p < 4; ++p)
        for (int i = 0; i < 4; ++i)
            pattern[4 * p + i] = uint8_t(4 * p + s.from[i]);
    const __m128i shuffle = _mm_load_si128(reinterpret_cast<const __m128i*>(pattern));
    const __m128i keep = _mm_set1_epi32(int(s.keep)), set = _mm_set1_epi32(int(s.set));
    size_t x = 0;
    for (; x + 4 <= count; x += 4) {
        const __m128i w = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 4 * x));
        const __m128i out = _mm_or_si128(_mm_and_si128(_mm_shuffle_epi8(w, shuffle), keep), set);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 4 * x), out);
    }
    SwizzlePixels(src + 4 * x, dst + 4 * x, count - x, s);
}

} // namespace platform::coregraphics
