// Eight pixels per step in 128-bit registers; x86-64 always has SSE2.
//
// The reference rounds with Nearest(v): v widened to double, plus 0.49999999, truncated. The
// vectorised forms stay in single precision and take shortcuts that give the same bytes:
// - Nearest(v) is ceil(v - 0.5) for every float v of magnitude up to 1024, once both are clamped
//   to 0...255 (checked for each such float); all values here are far smaller.
// - Nearest(s + 16) is ceil(s + 15.5) and Nearest(t + 128) is ceil(t + 127.5) for every float s
//   in -1...256 and t in -128...128 (checked for each float), so the luma and chroma offsets
//   absorb the half.
// - l * 219 / 256 is l * (219 / 256): scaling by a power of two commutes with rounding.
// - In decoding, subtracting the half from the scaled luma before adding the chroma terms gives
//   the same bytes for every Y, Cb, Cr (checked for each of the 2^24; the tests repeat it).
#include "kernels/Q_2vuy_scanline.h"

#include <emmintrin.h>

namespace Q_2vuy_scanline {
namespace {

inline __m128i CeilToInt4(__m128 w) {
    const __m128i t = _mm_cvttps_epi32(w);
    // Truncation went down for positive fractions: add one there (the mask is -1).
    return _mm_sub_epi32(t, _mm_castps_si128(_mm_cmplt_ps(_mm_cvtepi32_ps(t), w)));
}

inline __m128 Byte(__m128i words, int shift, int offset) {
    const __m128i b = _mm_and_si128(_mm_srli_epi32(words, shift), _mm_set1_epi32(0xFF));
    return _mm_cvtepi32_ps(_mm_sub_epi32(b, _mm_set1_epi32(offset)));
}

// Four decoded pairs: first pixels in a, second pixels in b; into eight 16-bit values in order.
inline __m128i PixelOrder(__m128i a, __m128i b) {
    return _mm_packs_epi32(_mm_unpacklo_epi32(a, b), _mm_unpackhi_epi32(a, b));
}

// Y codes and, per pixel, the pair's Cb (even lanes) or Cr (odd lanes) of four ARGB pixels.
inline void Encode4(__m128i argb, __m128i& y, __m128i& c) {
    const __m128 r = Byte(argb, 8, 0), g = Byte(argb, 16, 0), b = Byte(argb, 24, 0);
    const __m128 l =
        _mm_add_ps(_mm_mul_ps(_mm_set1_ps(kKb), b),
                   _mm_add_ps(_mm_mul_ps(_mm_set1_ps(kKr), r), _mm_mul_ps(_mm_set1_ps(kKg), g)));
    y = CeilToInt4(
        _mm_add_ps(_mm_mul_ps(l, _mm_set1_ps(kLumaScale / kLumaDivisor)), _mm_set1_ps(15.5f)));
    const __m128 scale = _mm_set1_ps(kChromaScale), centre = _mm_set1_ps(127.5f);
    const __m128i cb = CeilToInt4(
        _mm_add_ps(_mm_mul_ps(_mm_mul_ps(_mm_sub_ps(b, l), _mm_set1_ps(kKu)), scale), centre));
    const __m128i cr = CeilToInt4(
        _mm_add_ps(_mm_mul_ps(_mm_mul_ps(_mm_sub_ps(r, l), _mm_set1_ps(kKv)), scale), centre));
    const __m128i cbSum = _mm_add_epi32(cb, _mm_shuffle_epi32(cb, _MM_SHUFFLE(2, 3, 0, 1)));
    const __m128i crSum = _mm_add_epi32(cr, _mm_shuffle_epi32(cr, _MM_SHUFFLE(2, 3, 0, 1)));
    const __m128i even = _mm_set_epi32(0, -1, 0, -1);
    c = _mm_srli_epi32(_mm_or_si128(_mm_and_si128(even, cbSum), _mm_andnot_si128(even, crSum)), 1);
}

} // namespace

void SSE2_2vuy_to_ARGB(const uint8_t* src, uint8_t* dst, int width) {
    const __m128 luma = _mm_set1_ps(kLumaExpansion), half = _mm_set1_ps(0.5f);
    const __m128 rCr = _mm_set1_ps(kRFromCr), gCb = _mm_set1_ps(kGFromCb);
    const __m128 gCr = _mm_set1_ps(kGFromCr), bCb = _mm_set1_ps(kBFromCb);
    const __m128i alpha = _mm_set1_epi16(255);
    int x = 0;
    for (; x + 8 <= width; x += 8) {
        const __m128i pairs = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 2 * x));
        const __m128 cb = Byte(pairs, 0, 128), cr = Byte(pairs, 16, 128);
        const __m128 y0 = _mm_sub_ps(_mm_mul_ps(luma, Byte(pairs, 8, 16)), half);
        const __m128 y1 = _mm_sub_ps(_mm_mul_ps(luma, Byte(pairs, 24, 16)), half);
        const __m128 rc = _mm_mul_ps(rCr, cr), gb = _mm_mul_ps(gCb, cb);
        const __m128 gr = _mm_mul_ps(gCr, cr), bc = _mm_mul_ps(bCb, cb);
        const __m128i r =
            PixelOrder(CeilToInt4(_mm_add_ps(y0, rc)), CeilToInt4(_mm_add_ps(y1, rc)));
        const __m128i g = PixelOrder(CeilToInt4(_mm_sub_ps(_mm_sub_ps(y0, gb), gr)),
                                     CeilToInt4(_mm_sub_ps(_mm_sub_ps(y1, gb), gr)));
        const __m128i b =
            PixelOrder(CeilToInt4(_mm_add_ps(y0, bc)), CeilToInt4(_mm_add_ps(y1, bc)));
        // Unsigned saturation is the clamp to 0...255.
        const __m128i ag = _mm_packus_epi16(alpha, g), rb = _mm_packus_epi16(r, b);
        const __m128i ar = _mm_unpacklo_epi8(ag, rb), gbBytes = _mm_unpackhi_epi8(ag, rb);
        __m128i* out = reinterpret_cast<__m128i*>(dst + 4 * x);
        _mm_storeu_si128(out, _mm_unpacklo_epi16(ar, gbBytes));
        _mm_storeu_si128(out + 1, _mm_unpackhi_epi16(ar, gbBytes));
    }
    DecodeTail(src, dst, x, width);
}

void SSE2_ARGB_to_2vuy(const uint8_t* src, uint8_t* dst, int width) {
    int x = 0;
    for (; x + 8 <= width; x += 8) {
        const __m128i* in = reinterpret_cast<const __m128i*>(src + 4 * x);
        __m128i ya, ca, yb, cb;
        Encode4(_mm_loadu_si128(in), ya, ca);
        Encode4(_mm_loadu_si128(in + 1), yb, cb);
        // Every code fits a byte, so C | Y << 8 is the Cb Y0 / Cr Y1 byte pair of each pixel.
        const __m128i words =
            _mm_or_si128(_mm_packs_epi32(ca, cb), _mm_slli_epi16(_mm_packs_epi32(ya, yb), 8));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 2 * x), words);
    }
    EncodeTail(src, dst, x, width);
}

} // namespace Q_2vuy_scanline
