// Two blocks of 4-byte pixels at a time, summed straight from the image rows as 32-bit lanes
// (one block in each half of a register), then averaged with the plain form's exact 64-bit
// products. Only called where the processor has AVX2.
#include "kernels/KernelBox.h"

#include <cstring>
#include <immintrin.h>

namespace kernels {

namespace {

#define VISTREL_AVX2 __attribute__((target("avx2")))

VISTREL_AVX2 inline __m256i TwoPixels(const uint8_t* p) {
    return _mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)));
}

VISTREL_AVX2 inline __m256i OnePixel(const uint8_t* p) {
    int32_t v;
    std::memcpy(&v, p, 4);
    return _mm256_cvtepu8_epi32(_mm_cvtsi32_si128(v));
}

// Blocks of 2 x 2, the shrink of a 1920 x 1080 screen on its way into a 640 x 480 frame, four at a
// time: four bytes sum within 16 bits, and (sum + 2) >> 2 is the rounded quarter the reciprocal
// gives. The number of blocks done.
VISTREL_AVX2 size_t Box2x2(const BoxBlocks& b, uint8_t* out) {
    const __m256i zero = _mm256_setzero_si256(), two = _mm256_set1_epi16(2);
    size_t block = 0;
    for (; 2 * (block + 4) <= b.width; block += 4) {
        const uint8_t* top = b.top + 8 * block;
        const __m256i t = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(top));
        const __m256i u = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(top + b.bytesPerRow));
        // Per 128-bit lane, pixels 0 and 1 (lo) and 2 and 3 (hi) of its four, rows added.
        __m256i lo = _mm256_add_epi16(_mm256_unpacklo_epi8(t, zero), _mm256_unpacklo_epi8(u, zero));
        __m256i hi = _mm256_add_epi16(_mm256_unpackhi_epi8(t, zero), _mm256_unpackhi_epi8(u, zero));
        lo = _mm256_add_epi16(lo, _mm256_srli_si256(lo, 8));
        hi = _mm256_add_epi16(hi, _mm256_srli_si256(hi, 8));
        const __m256i sums =
            _mm256_srli_epi16(_mm256_add_epi16(_mm256_unpacklo_epi64(lo, hi), two), 2);
        const __m256i bytes = _mm256_permute4x64_epi64(_mm256_packus_epi16(sums, sums), 0x08);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 4 * block),
                         _mm256_castsi256_si128(bytes));
    }
    return block;
}

} // namespace

VISTREL_AVX2 void BoxRowAVX2(const BoxBlocks& b, uint32_t* columns, uint8_t* out) {
    const size_t blockBytes = 4 * b.kx, full = b.width / b.kx;
    // A reciprocal of 2^32 does not fit the 32-bit multiplier: single pixels stay plain.
    if (b.kx * b.rows < 2) return BoxRowReference(b, columns, out);
    if (b.kx == 2 && b.rows == 2) {
        const size_t done = Box2x2(b, out);
        if (2 * done < b.width)
            BoxRowReference({b.top + 8 * done, b.bytesPerRow, 2, b.width - 2 * done, 2}, columns,
                            out + 4 * done);
        return;
    }
    const __m256i reciprocal = _mm256_set1_epi64x(int64_t(BoxReciprocal(b.kx * b.rows)));
    const __m256i half = _mm256_set1_epi64x(int64_t(1) << 31);
    size_t block = 0;
    for (; block + 2 <= full; block += 2) {
        __m256i first = _mm256_setzero_si256(), second = _mm256_setzero_si256();
        const uint8_t* row = b.top + block * blockBytes;
        for (size_t y = 0; y < b.rows; ++y, row += b.bytesPerRow) {
            size_t i = 0;
            for (; i + 8 <= blockBytes; i += 8) {
                first = _mm256_add_epi32(first, TwoPixels(row + i));
                second = _mm256_add_epi32(second, TwoPixels(row + blockBytes + i));
            }
            if (i < blockBytes) {
                first = _mm256_add_epi32(first, OnePixel(row + i));
                second = _mm256_add_epi32(second, OnePixel(row + blockBytes + i));
            }
        }
        // The first block's sums in the low half, the second's in the high half.
        const __m256i sums = _mm256_add_epi32(_mm256_permute2x128_si256(first, second, 0x20),
                                              _mm256_permute2x128_si256(first, second, 0x31));
        const __m256i even =
            _mm256_srli_epi64(_mm256_add_epi64(_mm256_mul_epu32(sums, reciprocal), half), 32);
        const __m256i odd =
            _mm256_add_epi64(_mm256_mul_epu32(_mm256_srli_epi64(sums, 32), reciprocal), half);
        const __m256i averages = _mm256_blend_epi32(even, odd, 0xAA);
        const __m256i words = _mm256_packus_epi32(averages, averages);
        const __m256i bytes = _mm256_packus_epi16(words, words);
        _mm_storel_epi64(
            reinterpret_cast<__m128i*>(out + 4 * block),
            _mm_unpacklo_epi32(_mm256_castsi256_si128(bytes), _mm256_extracti128_si256(bytes, 1)));
    }
    if (block * b.kx < b.width)
        BoxRowReference(
            {b.top + block * blockBytes, b.bytesPerRow, b.rows, b.width - block * b.kx, b.kx},
            columns, out + 4 * block);
}

} // namespace kernels
