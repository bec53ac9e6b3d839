// Sixteen pixels per step in 256-bit registers; only called where the processor has AVX2.
// Rounding follows the SSE2 form (see there for why each shortcut gives the reference's bytes).
#include "pixels/Q_2vuy_scanline.h"

#include <immintrin.h>

#define VISTREL_AVX2 __attribute__((target("avx2")))

namespace Q_2vuy_scanline {
namespace {

VISTREL_AVX2 inline __m256i CeilToInt8(__m256 w) {
    return _mm256_cvttps_epi32(_mm256_ceil_ps(w));
}

// Byte `index` of each 32-bit word, zero-extended.
VISTREL_AVX2 inline __m256i ByteMask(int index) {
    const char i = static_cast<char>(index), z = -1;
    return _mm256_setr_epi8(i, z, z, z, i + 4, z, z, z, i + 8, z, z, z, i + 12, z, z, z, i, z, z, z,
                            i + 4, z, z, z, i + 8, z, z, z, i + 12, z, z, z);
}

VISTREL_AVX2 inline __m256 Sample(__m256i bytes, int offset) {
    return _mm256_cvtepi32_ps(_mm256_sub_epi32(bytes, _mm256_set1_epi32(offset)));
}

// Y codes and the unhalved Cb and Cr codes of eight ARGB pixels.
VISTREL_AVX2 inline void Encode8(__m256i argb, __m256i& y, __m256i& cb, __m256i& cr) {
    const __m256 r = _mm256_cvtepi32_ps(_mm256_shuffle_epi8(argb, ByteMask(1)));
    const __m256 g = _mm256_cvtepi32_ps(_mm256_shuffle_epi8(argb, ByteMask(2)));
    const __m256 b = _mm256_cvtepi32_ps(_mm256_srli_epi32(argb, 24));
    const __m256 l = _mm256_add_ps(_mm256_mul_ps(_mm256_set1_ps(kKb), b),
                                   _mm256_add_ps(_mm256_mul_ps(_mm256_set1_ps(kKr), r),
                                                 _mm256_mul_ps(_mm256_set1_ps(kKg), g)));
    y = CeilToInt8(_mm256_add_ps(_mm256_mul_ps(l, _mm256_set1_ps(kLumaScale / kLumaDivisor)),
                                 _mm256_set1_ps(15.5f)));
    const __m256 scale = _mm256_set1_ps(kChromaScale), centre = _mm256_set1_ps(127.5f);
    cb = CeilToInt8(_mm256_add_ps(
        _mm256_mul_ps(_mm256_mul_ps(_mm256_sub_ps(b, l), _mm256_set1_ps(kKu)), scale), centre));
    cr = CeilToInt8(_mm256_add_ps(
        _mm256_mul_ps(_mm256_mul_ps(_mm256_sub_ps(r, l), _mm256_set1_ps(kKv)), scale), centre));
}

// One pixel of each of eight pairs: its rounded R, G, B clamped and laid out as A, R, G, B.
VISTREL_AVX2 inline __m256i DecodePixels(__m256 yHalf, __m256 rc, __m256 gb, __m256 gr, __m256 bc) {
    const __m256i alpha = _mm256_set1_epi32(255);
    // R0-R3 G0-G3 B0-B3 A0-A3 of each half into A R G B per pixel.
    const __m256i toARGB = _mm256_setr_epi8(12, 0, 4, 8, 13, 1, 5, 9, 14, 2, 6, 10, 15, 3, 7, 11,
                                            12, 0, 4, 8, 13, 1, 5, 9, 14, 2, 6, 10, 15, 3, 7, 11);
    const __m256i r = CeilToInt8(_mm256_add_ps(yHalf, rc));
    const __m256i g = CeilToInt8(_mm256_sub_ps(_mm256_sub_ps(yHalf, gb), gr));
    const __m256i b = CeilToInt8(_mm256_add_ps(yHalf, bc));
    // Signed then unsigned saturation is the clamp to 0...255.
    const __m256i bytes =
        _mm256_packus_epi16(_mm256_packs_epi32(r, g), _mm256_packs_epi32(b, alpha));
    return _mm256_shuffle_epi8(bytes, toARGB);
}

} // namespace

VISTREL_AVX2 void AVX2_2vuy_to_ARGB(const uint8_t* src, uint8_t* dst, int width) {
    const __m256 luma = _mm256_set1_ps(kLumaExpansion), half = _mm256_set1_ps(0.5f);
    const __m256 rCr = _mm256_set1_ps(kRFromCr), gCb = _mm256_set1_ps(kGFromCb);
    const __m256 gCr = _mm256_set1_ps(kGFromCr), bCb = _mm256_set1_ps(kBFromCb);
    const __m256i y0Bytes = ByteMask(1), crBytes = ByteMask(2), lowByte = _mm256_set1_epi32(0xFF);
    int x = 0;
    for (; x + 16 <= width; x += 16) {
        // Pairs 0, 1, 4, 5 in the low half and 2, 3, 6, 7 in the high half, so that interleaving
        // the two pixels of each pair gives the row order per 32-byte store.
        const __m256i pairs = _mm256_permute4x64_epi64(
            _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + 2 * x)),
            _MM_SHUFFLE(3, 1, 2, 0));
        const __m256 cb = Sample(_mm256_and_si256(pairs, lowByte), 128);
        const __m256 cr = Sample(_mm256_shuffle_epi8(pairs, crBytes), 128);
        const __m256 y0 = _mm256_mul_ps(luma, Sample(_mm256_shuffle_epi8(pairs, y0Bytes), 16));
        const __m256 y1 = _mm256_mul_ps(luma, Sample(_mm256_srli_epi32(pairs, 24), 16));
        const __m256 rc = _mm256_mul_ps(rCr, cr), gb = _mm256_mul_ps(gCb, cb);
        const __m256 gr = _mm256_mul_ps(gCr, cr), bc = _mm256_mul_ps(bCb, cb);
        const __m256i first = DecodePixels(_mm256_sub_ps(y0, half), rc, gb, gr, bc);
        const __m256i second = DecodePixels(_mm256_sub_ps(y1, half), rc, gb, gr, bc);
        __m256i* out = reinterpret_cast<__m256i*>(dst + 4 * x);
        _mm256_storeu_si256(out, _mm256_unpacklo_epi32(first, second));
        _mm256_storeu_si256(out + 1, _mm256_unpackhi_epi32(first, second));
    }
    DecodeTail(src, dst, x, width);
}

VISTREL_AVX2 void AVX2_ARGB_to_2vuy(const uint8_t* src, uint8_t* dst, int width) {
    // Swaps the two 16-bit values of each pixel pair.
    const __m256i swap = _mm256_setr_epi8(2, 3, 0, 1, 6, 7, 4, 5, 10, 11, 8, 9, 14, 15, 12, 13, 2,
                                          3, 0, 1, 6, 7, 4, 5, 10, 11, 8, 9, 14, 15, 12, 13);
    int x = 0;
    for (; x + 16 <= width; x += 16) {
        const __m256i* in = reinterpret_cast<const __m256i*>(src + 4 * x);
        __m256i ya, cba, cra, yb, cbb, crb;
        Encode8(_mm256_loadu_si256(in), ya, cba, cra);
        Encode8(_mm256_loadu_si256(in + 1), yb, cbb, crb);
        // 16-bit values in 64-bit quarters of pixels 0-3, 8-11, 4-7, 12-15.
        const __m256i cb = _mm256_packs_epi32(cba, cbb), cr = _mm256_packs_epi32(cra, crb);
        // Even pixels carry the pair's Cb, odd ones its Cr: their own code plus their partner's.
        const __m256i own = _mm256_blend_epi16(cb, cr, 0xAA);
        const __m256i partner = _mm256_shuffle_epi8(_mm256_blend_epi16(cr, cb, 0xAA), swap);
        const __m256i c = _mm256_srli_epi16(_mm256_add_epi16(own, partner), 1);
        // Every code fits a byte, so C | Y << 8 is the Cb Y0 / Cr Y1 byte pair of each pixel.
        const __m256i words = _mm256_or_si256(c, _mm256_slli_epi16(_mm256_packs_epi32(ya, yb), 8));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + 2 * x),
                            _mm256_permute4x64_epi64(words, _MM_SHUFFLE(3, 1, 2, 0)));
    }
    EncodeTail(src, dst, x, width);
}

} // namespace Q_2vuy_scanline
