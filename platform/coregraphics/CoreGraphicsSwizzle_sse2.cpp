// Four pixels per step without a byte shuffle: each output byte is shifted out of the input
// word and into place; x86-64 always has SSE2.
#include "platform/coregraphics/CoreGraphicsSwizzle.h"

#include <emmintrin.h>

namespace platform::coregraphics {

void SwizzleSSE2(const uint8_t* src, uint8_t* dst, size_t count, const Swizzle& s) {
    const __m128i byte = _mm_set1_epi32(0xFF);
    const __m128i keep = _mm_set1_epi32(int(s.keep)), set = _mm_set1_epi32(int(s.set));
    __m128i down[4], up[4];
    for (int i = 0; i < 4; ++i) {
        down[i] = _mm_cvtsi32_si128(8 * s.from[i]);
        up[i] = _mm_cvtsi32_si128(8 * i);
    }
    size_t x = 0;
    for (; x + 4 <= count; x += 4) {
        const __m128i w = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 4 * x));
        __m128i out = _mm_setzero_si128();
        for (int i = 0; i < 4; ++i)
            out = _mm_or_si128(
                out, _mm_sll_epi32(_mm_and_si128(_mm_srl_epi32(w, down[i]), byte), up[i]));
        out = _mm_or_si128(_mm_and_si128(out, keep), set);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 4 * x), out);
    }
    SwizzlePixels(src + 4 * x, dst + 4 * x, count - x, s);
}

} // namespace platform::coregraphics
