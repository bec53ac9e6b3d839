// Thirty-two pixels per step in 512-bit registers; only called where the processor has AVX-512 F
// and BW. The one difference in arithmetic from the 256-bit form is a conversion that rounds up by
// itself in place of ceil-then-truncate, which gives the same integer for every finite value in
// range.
//
// GCC 12's AVX-512 headers start some intrinsics from a deliberately undefined register and warn
// about their own code once it is inlined here.
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#include "kernels/Q_2vuy_scanline.h"

#include <immintrin.h>

// Only what follows is built for AVX-512 (see the 256-bit form for why).
#pragma GCC push_options
#pragma GCC target("avx2,avx512f,avx512bw")
#include "kernels/Q_2vuy_scanline_wide.h"

namespace Q_2vuy_scanline {
namespace {

struct V512 {
    using F = __m512;
    using I = __m512i;
    static constexpr int kPixels = 32;

    static F Fs(float v) { return _mm512_set1_ps(v); }
    static I Is(int v) { return _mm512_set1_epi32(v); }
    static I Lanes(__m128i v) { return _mm512_broadcast_i32x4(v); }
    static F Add(F a, F b) { return _mm512_add_ps(a, b); }
    static F Sub(F a, F b) { return _mm512_sub_ps(a, b); }
    static F Mul(F a, F b) { return _mm512_mul_ps(a, b); }
    static F ToFloat(I v) { return _mm512_cvtepi32_ps(v); }
    static I CeilToInt(F v) {
        return _mm512_cvt_roundps_epi32(v, _MM_FROUND_TO_POS_INF | _MM_FROUND_NO_EXC);
    }
    static I SubI(I a, I b) { return _mm512_sub_epi32(a, b); }
    static I And(I a, I b) { return _mm512_and_si512(a, b); }
    static I Or(I a, I b) { return _mm512_or_si512(a, b); }
    static I Add16(I a, I b) { return _mm512_add_epi16(a, b); }
    static I Shuffle(I v, I control) { return _mm512_shuffle_epi8(v, control); }
    template <int n> static I Srli32(I v) { return _mm512_srli_epi32(v, n); }
    template <int n> static I Srli16(I v) { return _mm512_srli_epi16(v, n); }
    template <int n> static I Slli16(I v) { return _mm512_slli_epi16(v, n); }
    static I Packs32(I a, I b) { return _mm512_packs_epi32(a, b); }
    static I Packus16(I a, I b) { return _mm512_packus_epi16(a, b); }
    static I UnpackLo32(I a, I b) { return _mm512_unpacklo_epi32(a, b); }
    static I UnpackHi32(I a, I b) { return _mm512_unpackhi_epi32(a, b); }
    static I BlendOddWords(I even, I odd) { return _mm512_mask_blend_epi16(0xAAAAAAAA, even, odd); }
    static I Load(const uint8_t* p) { return _mm512_loadu_si512(p); }
    static void Store(uint8_t* p, I v) { _mm512_storeu_si512(p, v); }
    // Lane k takes pairs 2k, 2k+1, 2k+8 and 2k+9, so that interleaving the two pixels of each
    // pair within the lanes gives the row order per store.
    static I LoadPairs(const uint8_t* p) {
        return _mm512_permutexvar_epi64(_mm512_setr_epi64(0, 4, 1, 5, 2, 6, 3, 7), Load(p));
    }
    // The packs leave pixels 0-3, 16-19, 4-7, 20-23, ... in the 64-bit quarters.
    static I OrderWords(I v) {
        return _mm512_permutexvar_epi64(_mm512_setr_epi64(0, 2, 4, 6, 1, 3, 5, 7), v);
    }
};

} // namespace

// What is left after the last whole step is shorter than a step: the 256-bit form takes it.
void AVX512_2vuy_to_ARGB(const uint8_t* src, uint8_t* dst, int width) {
    wide::Decode<V512, AVX2_2vuy_to_ARGB>(src, dst, width);
}

void AVX512_ARGB_to_2vuy(const uint8_t* src, uint8_t* dst, int width) {
    wide::Encode<V512, AVX2_ARGB_to_2vuy>(src, dst, width);
}

} // namespace Q_2vuy_scanline

#pragma GCC pop_options
