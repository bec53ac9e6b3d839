// Thirty-two pixels per step in 512-bit registers; only called where the processor has
// AVX-512 F and BW. The arithmetic is the AVX2 form's, operation for operation; the one
// difference is the rounding: a conversion that rounds up by itself replaces ceil-then-truncate,
// which gives the same integer for every finite value in range.
#include "pixels/Q_2vuy_scanline.h"

// GCC 12's AVX-512 headers start some intrinsics from a deliberately undefined register and
// warn about their own code once it is inlined here.
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#include <immintrin.h>

#define VISTREL_AVX512 __attribute__((target("avx512f,avx512bw")))

namespace Q_2vuy_scanline {
namespace {

VISTREL_AVX512 inline __m512i CeilToInt16(__m512 w) {
    return _mm512_cvt_roundps_epi32(w, _MM_FROUND_TO_POS_INF | _MM_FROUND_NO_EXC);
}

// Byte `index` of each 32-bit word, zero-extended.
VISTREL_AVX512 inline __m512i ByteMask(int index) {
    const char i = static_cast<char>(index), z = -1;
    return _mm512_broadcast_i32x4(
        _mm_setr_epi8(i, z, z, z, i + 4, z, z, z, i + 8, z, z, z, i + 12, z, z, z));
}

VISTREL_AVX512 inline __m512 Sample(__m512i bytes, int offset) {
    return _mm512_cvtepi32_ps(_mm512_sub_epi32(bytes, _mm512_set1_epi32(offset)));
}

// Y codes and the unhalved Cb and Cr codes of sixteen ARGB pixels.
VISTREL_AVX512 inline void Encode16(__m512i argb, __m512i& y, __m512i& cb, __m512i& cr) {
    const __m512 r = _mm512_cvtepi32_ps(_mm512_shuffle_epi8(argb, ByteMask(1)));
    const __m512 g = _mm512_cvtepi32_ps(_mm512_shuffle_epi8(argb, ByteMask(2)));
    const __m512 b = _mm512_cvtepi32_ps(_mm512_srli_epi32(argb, 24));
    const __m512 l = _mm512_add_ps(_mm512_mul_ps(_mm512_set1_ps(kKb), b),
                                   _mm512_add_ps(_mm512_mul_ps(_mm512_set1_ps(kKr), r),
                                                 _mm512_mul_ps(_mm512_set1_ps(kKg), g)));
    y = CeilToInt16(_mm512_add_ps(_mm512_mul_ps(l, _mm512_set1_ps(kLumaScale / kLumaDivisor)),
                                  _mm512_set1_ps(15.5f)));
    const __m512 scale = _mm512_set1_ps(kChromaScale), centre = _mm512_set1_ps(127.5f);
    cb = CeilToInt16(_mm512_add_ps(
        _mm512_mul_ps(_mm512_mul_ps(_mm512_sub_ps(b, l), _mm512_set1_ps(kKu)), scale), centre));
    cr = CeilToInt16(_mm512_add_ps(
        _mm512_mul_ps(_mm512_mul_ps(_mm512_sub_ps(r, l), _mm512_set1_ps(kKv)), scale), centre));
}

// One pixel of each of sixteen pairs: its rounded R, G, B clamped and laid out as A, R, G, B.
VISTREL_AVX512 inline __m512i DecodePixels(__m512 yHalf, __m512 rc, __m512 gb, __m512 gr,
                                           __m512 bc) {
    const __m512i alpha = _mm512_set1_epi32(255);
    // R0-R3 G0-G3 B0-B3 A0-A3 of each 128-bit lane into A R G B per pixel.
    const __m512i toARGB =
        _mm512_broadcast_i32x4(_mm_setr_epi8(12, 0, 4, 8, 13, 1, 5, 9, 14, 2, 6, 10, 15, 3, 7, 11));
    const __m512i r = CeilToInt16(_mm512_add_ps(yHalf, rc));
    const __m512i g = CeilToInt16(_mm512_sub_ps(_mm512_sub_ps(yHalf, gb), gr));
    const __m512i b = CeilToInt16(_mm512_add_ps(yHalf, bc));
    // Signed then unsigned saturation is the clamp to 0...255.
    const __m512i bytes =
        _mm512_packus_epi16(_mm512_packs_epi32(r, g), _mm512_packs_epi32(b, alpha));
    return _mm512_shuffle_epi8(bytes, toARGB);
}

} // namespace

VISTREL_AVX512 void AVX512_2vuy_to_ARGB(const uint8_t* src, uint8_t* dst, int width) {
    const __m512 luma = _mm512_set1_ps(kLumaExpansion), half = _mm512_set1_ps(0.5f);
    const __m512 rCr = _mm512_set1_ps(kRFromCr), gCb = _mm512_set1_ps(kGFromCb);
    const __m512 gCr = _mm512_set1_ps(kGFromCr), bCb = _mm512_set1_ps(kBFromCb);
    const __m512i y0Bytes = ByteMask(1), crBytes = ByteMask(2), lowByte = _mm512_set1_epi32(0xFF);
    // Lane k takes pairs 2k, 2k+1, 2k+8 and 2k+9, so that interleaving the two pixels of each
    // pair within the lanes gives the row order per 64-byte store.
    const __m512i order = _mm512_setr_epi64(0, 4, 1, 5, 2, 6, 3, 7);
    int x = 0;
    for (; x + 32 <= width; x += 32) {
        const __m512i pairs = _mm512_permutexvar_epi64(order, _mm512_loadu_si512(src + 2 * x));
        const __m512 cb = Sample(_mm512_and_si512(pairs, lowByte), 128);
        const __m512 cr = Sample(_mm512_shuffle_epi8(pairs, crBytes), 128);
        const __m512 y0 = _mm512_mul_ps(luma, Sample(_mm512_shuffle_epi8(pairs, y0Bytes), 16));
        const __m512 y1 = _mm512_mul_ps(luma, Sample(_mm512_srli_epi32(pairs, 24), 16));
        const __m512 rc = _mm512_mul_ps(rCr, cr), gb = _mm512_mul_ps(gCb, cb);
        const __m512 gr = _mm512_mul_ps(gCr, cr), bc = _mm512_mul_ps(bCb, cb);
        const __m512i first = DecodePixels(_mm512_sub_ps(y0, half), rc, gb, gr, bc);
        const __m512i second = DecodePixels(_mm512_sub_ps(y1, half), rc, gb, gr, bc);
        _mm512_storeu_si512(dst + 4 * x, _mm512_unpacklo_epi32(first, second));
        _mm512_storeu_si512(dst + 4 * x + 64, _mm512_unpackhi_epi32(first, second));
    }
    // What is left is shorter than a step: the AVX2 form takes whole steps of it.
    AVX2_2vuy_to_ARGB(src + 2 * x, dst + 4 * x, width - x);
}

VISTREL_AVX512 void AVX512_ARGB_to_2vuy(const uint8_t* src, uint8_t* dst, int width) {
    // Swaps the two 16-bit values of each pixel pair.
    const __m512i swap =
        _mm512_broadcast_i32x4(_mm_setr_epi8(2, 3, 0, 1, 6, 7, 4, 5, 10, 11, 8, 9, 14, 15, 12, 13));
    // The packs below leave pixels 0-3, 16-19, 4-7, 20-23, ... in the 64-bit quarters.
    const __m512i order = _mm512_setr_epi64(0, 2, 4, 6, 1, 3, 5, 7);
    int x = 0;
    for (; x + 32 <= width; x += 32) {
        __m512i ya, cba, cra, yb, cbb, crb;
        Encode16(_mm512_loadu_si512(src + 4 * x), ya, cba, cra);
        Encode16(_mm512_loadu_si512(src + 4 * x + 64), yb, cbb, crb);
        const __m512i cb = _mm512_packs_epi32(cba, cbb), cr = _mm512_packs_epi32(cra, crb);
        // Even pixels carry the pair's Cb, odd ones its Cr: their own code plus their partner's.
        const __m512i own = _mm512_mask_blend_epi16(0xAAAAAAAA, cb, cr);
        const __m512i partner =
            _mm512_shuffle_epi8(_mm512_mask_blend_epi16(0xAAAAAAAA, cr, cb), swap);
        const __m512i c = _mm512_srli_epi16(_mm512_add_epi16(own, partner), 1);
        // Every code fits a byte, so C | Y << 8 is the Cb Y0 / Cr Y1 byte pair of each pixel.
        const __m512i words = _mm512_or_si512(c, _mm512_slli_epi16(_mm512_packs_epi32(ya, yb), 8));
        _mm512_storeu_si512(dst + 2 * x, _mm512_permutexvar_epi64(order, words));
    }
    AVX2_ARGB_to_2vuy(src + 4 * x, dst + 2 * x, width - x);
}

} // namespace Q_2vuy_scanline
