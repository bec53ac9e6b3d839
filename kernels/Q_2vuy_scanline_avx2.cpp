// Sixteen pixels per step in 256-bit registers; only called where the processor has AVX2.
#include "kernels/Q_2vuy_scanline.h"

#include <immintrin.h>

// Only what follows is built for AVX2: the shared headers above keep the baseline, so no inline
// function of theirs can be emitted here with instructions other processors lack.
#pragma GCC push_options
#pragma GCC target("avx2")
#include "kernels/Q_2vuy_scanline_wide.h"

namespace Q_2vuy_scanline {
namespace {

struct V256 {
    using F = __m256;
    using I = __m256i;
    static constexpr int kPixels = 16;

    static F Fs(float v) { return _mm256_set1_ps(v); }
    static I Is(int v) { return _mm256_set1_epi32(v); }
    static I Lanes(__m128i v) { return _mm256_broadcastsi128_si256(v); }
    static F Add(F a, F b) { return _mm256_add_ps(a, b); }
    static F Sub(F a, F b) { return _mm256_sub_ps(a, b); }
    static F Mul(F a, F b) { return _mm256_mul_ps(a, b); }
    static F ToFloat(I v) { return _mm256_cvtepi32_ps(v); }
    static I CeilToInt(F v) { return _mm256_cvttps_epi32(_mm256_ceil_ps(v)); }
    static I SubI(I a, I b) { return _mm256_sub_epi32(a, b); }
    static I And(I a, I b) { return _mm256_and_si256(a, b); }
    static I Or(I a, I b) { return _mm256_or_si256(a, b); }
    static I Add16(I a, I b) { return _mm256_add_epi16(a, b); }
    static I Shuffle(I v, I control) { return _mm256_shuffle_epi8(v, control); }
    template <int n> static I Srli32(I v) { return _mm256_srli_epi32(v, n); }
    template <int n> static I Srli16(I v) { return _mm256_srli_epi16(v, n); }
    template <int n> static I Slli16(I v) { return _mm256_slli_epi16(v, n); }
    static I Packs32(I a, I b) { return _mm256_packs_epi32(a, b); }
    static I Packus16(I a, I b) { return _mm256_packus_epi16(a, b); }
    static I UnpackLo32(I a, I b) { return _mm256_unpacklo_epi32(a, b); }
    static I UnpackHi32(I a, I b) { return _mm256_unpackhi_epi32(a, b); }
    static I BlendOddWords(I even, I odd) { return _mm256_blend_epi16(even, odd, 0xAA); }
    static I Load(const uint8_t* p) { return _mm256_loadu_si256(reinterpret_cast<const I*>(p)); }
    static void Store(uint8_t* p, I v) { _mm256_storeu_si256(reinterpret_cast<I*>(p), v); }
    // Pairs 0, 1, 4, 5 in the low half and 2, 3, 6, 7 in the high one, and back.
    static I LoadPairs(const uint8_t* p) { return OrderWords(Load(p)); }
    static I OrderWords(I v) { return _mm256_permute4x64_epi64(v, _MM_SHUFFLE(3, 1, 2, 0)); }
};

} // namespace

void AVX2_2vuy_to_ARGB(const uint8_t* src, uint8_t* dst, int width) {
    wide::Decode<V256, Reference_2vuy_to_ARGB>(src, dst, width);
}

void AVX2_ARGB_to_2vuy(const uint8_t* src, uint8_t* dst, int width) {
    wide::Encode<V256, Reference_ARGB_to_2vuy>(src, dst, width);
}

} // namespace Q_2vuy_scanline

#pragma GCC pop_options
