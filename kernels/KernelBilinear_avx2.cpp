// Four pixels per register: each pixel's source pair from both rows, channels paired left with
// right and top with bottom, so that one byte multiply-add blends the rows and one word
// multiply-add blends the columns. Only called where the processor has AVX2. The row weights
// stay below 128 (a lone row is split evenly), as the signed byte multiply needs.
#include "kernels/KernelBilinear.h"

#include <immintrin.h>

namespace kernels {

namespace {

#define VISTREL_AVX2 __attribute__((target("avx2")))

// Pixels i and j's pairs of 8 bytes, i in the low half.
VISTREL_AVX2 inline __m128i Pairs(const uint8_t* row, int32_t i, int32_t j) {
    return _mm_unpacklo_epi64(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(row + i)),
                              _mm_loadl_epi64(reinterpret_cast<const __m128i*>(row + j)));
}

// Four pixels' blended channels as 16-bit values, pixels in order: p0 p1 | p2 p3.
VISTREL_AVX2 inline __m256i Four(const int32_t* o, const uint32_t* w, const uint8_t* top,
                                 const uint8_t* bottom, __m256i rowWeights) {
    // Left and right of each channel side by side.
    const __m256i pairing = _mm256_setr_epi8(0, 4, 1, 5, 2, 6, 3, 7, 8, 12, 9, 13, 10, 14, 11, 15,
                                             0, 4, 1, 5, 2, 6, 3, 7, 8, 12, 9, 13, 10, 14, 11, 15);
    const __m256i t =
        _mm256_shuffle_epi8(_mm256_inserti128_si256(_mm256_castsi128_si256(Pairs(top, o[0], o[1])),
                                                    Pairs(top, o[2], o[3]), 1),
                            pairing);
    const __m256i b = _mm256_shuffle_epi8(
        _mm256_inserti128_si256(_mm256_castsi128_si256(Pairs(bottom, o[0], o[1])),
                                Pairs(bottom, o[2], o[3]), 1),
        pairing);
    // p0 | p2 and p1 | p3: rows blended, then columns.
    const __m256i v02 = _mm256_maddubs_epi16(_mm256_unpacklo_epi8(t, b), rowWeights);
    const __m256i v13 = _mm256_maddubs_epi16(_mm256_unpackhi_epi8(t, b), rowWeights);
    const __m256i weights =
        _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(w)));
    const __m256i w02 =
        _mm256_permutevar8x32_epi32(weights, _mm256_setr_epi32(0, 0, 0, 0, 2, 2, 2, 2));
    const __m256i w13 =
        _mm256_permutevar8x32_epi32(weights, _mm256_setr_epi32(1, 1, 1, 1, 3, 3, 3, 3));
    const __m256i s02 = _mm256_srli_epi32(_mm256_madd_epi16(v02, w02), 14);
    const __m256i s13 = _mm256_srli_epi32(_mm256_madd_epi16(v13, w13), 14);
    return _mm256_packs_epi32(s02, s13);
}

} // namespace

VISTREL_AVX2 void BilinearRowAVX2(const BilinearColumns& columns, const uint8_t* top,
                                  const uint8_t* bottom, int wt, int wb, uint8_t* out) {
    const __m256i rowWeights = _mm256_set1_epi16(short(wt | wb << 8));
    const __m256i opaque = _mm256_set1_epi32(int(0xFF000000u));
    const int32_t* o = columns.offsets;
    const uint32_t* w = columns.weights;
    int i = 0;
    for (; i + 8 <= columns.width; i += 8) {
        const __m256i a = Four(o + i, w + i, top, bottom, rowWeights);
        const __m256i b = Four(o + i + 4, w + i + 4, top, bottom, rowWeights);
        // p0 p1 p4 p5 | p2 p3 p6 p7 back into order.
        const __m256i bytes = _mm256_permute4x64_epi64(_mm256_packus_epi16(a, b), 0xD8);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 4 * i),
                            _mm256_or_si256(bytes, opaque));
    }
    BilinearPixels(columns, top, bottom, wt, wb, out, i);
}

namespace {

// Four output pixels of a half-width row as 16-bit channels (lane 0: pixels 0 and 1, lane 1: 2
// and 3) from eight source pixels of each row: each lane's row blends of two pixel pairs are
// interleaved by 64-bit halves, so that one add sums every pair.
VISTREL_AVX2 inline __m256i HalfFour(const uint8_t* t, const uint8_t* b, __m256i rowWeights) {
    const __m256i tt = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(t));
    const __m256i bb = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(b));
    const __m256i lo = _mm256_maddubs_epi16(_mm256_unpacklo_epi8(tt, bb), rowWeights);
    const __m256i hi = _mm256_maddubs_epi16(_mm256_unpackhi_epi8(tt, bb), rowWeights);
    return _mm256_srli_epi16(
        _mm256_add_epi16(_mm256_unpacklo_epi64(lo, hi), _mm256_unpackhi_epi64(lo, hi)), 8);
}

} // namespace

// Eight pixels a step, from sixteen of each row read whole.
VISTREL_AVX2 void BilinearHalfRowAVX2(const uint8_t* top, const uint8_t* bottom, int wt, int wb,
                                      uint8_t* out, int width) {
    const __m256i rowWeights = _mm256_set1_epi16(short(wt | wb << 8));
    const __m256i opaque = _mm256_set1_epi32(int(0xFF000000u));
    int i = 0;
    for (; i + 8 <= width; i += 8) {
        const __m256i a = HalfFour(top + 8 * i, bottom + 8 * i, rowWeights);
        const __m256i b = HalfFour(top + 8 * i + 32, bottom + 8 * i + 32, rowWeights);
        const __m256i bytes = _mm256_permute4x64_epi64(_mm256_packus_epi16(a, b), 0xD8);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 4 * i),
                            _mm256_or_si256(bytes, opaque));
    }
    BilinearHalfPixels(top, bottom, wt, wb, out, width, i);
}

// Two columns a register: each column's pair unpacked to words, channels left with right, and
// one word multiply-add with the column's weights (a weight of 128 does not fit a signed byte).
VISTREL_AVX2 void BilinearColumnsAVX2(const BilinearColumns& columns, const uint8_t* row,
                                      uint16_t* sums) {
    const __m128i pairing = _mm_setr_epi8(0, 4, 1, 5, 2, 6, 3, 7, 8, 12, 9, 13, 10, 14, 11, 15);
    const int32_t* o = columns.offsets;
    const uint32_t* w = columns.weights;
    int i = 0;
    for (; i + 4 <= columns.width; i += 4) {
        const __m256i a =
            _mm256_cvtepu8_epi16(_mm_shuffle_epi8(Pairs(row, o[i], o[i + 1]), pairing));
        const __m256i b =
            _mm256_cvtepu8_epi16(_mm_shuffle_epi8(Pairs(row, o[i + 2], o[i + 3]), pairing));
        const __m256i wa =
            _mm256_setr_epi32(int(w[i]), int(w[i]), int(w[i]), int(w[i]), int(w[i + 1]),
                              int(w[i + 1]), int(w[i + 1]), int(w[i + 1]));
        const __m256i wb =
            _mm256_setr_epi32(int(w[i + 2]), int(w[i + 2]), int(w[i + 2]), int(w[i + 2]),
                              int(w[i + 3]), int(w[i + 3]), int(w[i + 3]), int(w[i + 3]));
        // Columns i | i + 1 and i + 2 | i + 3 as 32-bit sums, packed back into order.
        const __m256i packed =
            _mm256_packus_epi32(_mm256_madd_epi16(a, wa), _mm256_madd_epi16(b, wb));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(sums + 4 * i),
                            _mm256_permute4x64_epi64(packed, 0xD8));
    }
    BilinearColumnSums(columns, row, sums, i);
}

namespace {

// Four pixels' channels as words in order (lane 0: pixels 0 and 1): each channel's top and bottom
// side by side, one word multiply-add.
VISTREL_AVX2 inline __m256i BlendFour(const uint16_t* t, const uint16_t* b, __m256i weights) {
    const __m256i tt = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(t));
    const __m256i bb = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(b));
    const __m256i lo = _mm256_madd_epi16(_mm256_unpacklo_epi16(tt, bb), weights);
    const __m256i hi = _mm256_madd_epi16(_mm256_unpackhi_epi16(tt, bb), weights);
    return _mm256_packs_epi32(_mm256_srli_epi32(lo, 14), _mm256_srli_epi32(hi, 14));
}

} // namespace

// Eight pixels a step.
VISTREL_AVX2 void BilinearBlendAVX2(const uint16_t* top, const uint16_t* bottom, int wt, int wb,
                                    uint8_t* out, int width) {
    const __m256i weights = _mm256_set1_epi32(wt | wb << 16);
    const __m256i opaque = _mm256_set1_epi32(int(0xFF000000u));
    int i = 0;
    for (; i + 8 <= width; i += 8) {
        const __m256i a = BlendFour(top + 4 * i, bottom + 4 * i, weights);
        const __m256i b = BlendFour(top + 4 * i + 16, bottom + 4 * i + 16, weights);
        const __m256i bytes = _mm256_permute4x64_epi64(_mm256_packus_epi16(a, b), 0xD8);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 4 * i),
                            _mm256_or_si256(bytes, opaque));
    }
    BilinearBlendPixels(top, bottom, wt, wb, out, width, i);
}

} // namespace kernels
