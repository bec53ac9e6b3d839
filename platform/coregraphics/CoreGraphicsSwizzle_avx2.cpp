// Eight pixels per step through one byte shuffle; only called where
// the processor has AVX2. The shuffle works within 128-bit lanes, which a pixel never crosses.
#include "platform/coregraphics/CoreGraphicsSwizzle.h"

#include <immintrin.h>

namespace platform::coregraphics {

__attribute__((target("avx2"))) void SwizzleAVX2(const uint8_t* src, uint8_t* dst, size_t count,
                                                 const Swizzle& s) {
    alignas(32) uint8_t pattern[32];
    for (int p = 0; p < 8; ++p)
        for (int i = 0; i < 4; ++i)
            pattern[4 * p + i] = uint8_t(4 * (p % 4) + s.from[i]);
    const __m256i shuffle = _mm256_load_si256(reinterpret_cast<const __m256i*>(pattern));
    const __m256i keep = _mm256_set1_epi32(int(s.keep)), set = _mm256_set1_epi32(int(s.set));
    size_t x = 0;
    for (; x + 8 <= count; x += 8) {
        const __m256i w = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + 4 * x));
        const __m256i out =
            _mm256_or_si256(_mm256_and_si256(_mm256_shuffle_epi8(w, shuffle), keep), set);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + 4 * x), out);
    }
    SwizzlePixels(src + 4 * x, dst + 4 * x, count - x, s);
}

} // namespace platform::coregraphics
