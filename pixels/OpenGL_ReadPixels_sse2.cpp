// Four pixels per step with shifts and masks; x86-64 always has SSE2.
#include "pixels/OpenGL_ReadPixels_paths.h"

#include <emmintrin.h>

namespace OpenGL::ReadPixels::paths {
namespace {

template <Swizzle S> inline __m128i Swizzle4(__m128i v) {
    const __m128i const_red_mask_000000FF = _mm_set1_epi32(0x000000FF);
    const __m128i const_green_mask_0000FF00 = _mm_set1_epi32(0x0000FF00);
    const __m128i const_blue_mask_00FF0000 = _mm_set1_epi32(0x00FF0000);
    const __m128i const_opaque_alpha_FF = _mm_set1_epi32(static_cast<int>(0xFF000000u));
    __m128i result;
    if constexpr (S.order == Order::Reverse) {
        // Bytes within each 16-bit half, then the halves.
        const __m128i bytes = _mm_or_si128(_mm_slli_epi16(v, 8), _mm_srli_epi16(v, 8));
        result = _mm_shufflehi_epi16(_mm_shufflelo_epi16(bytes, _MM_SHUFFLE(2, 3, 0, 1)),
                                     _MM_SHUFFLE(2, 3, 0, 1));
        if constexpr (S.opaque) result = _mm_or_si128(result, const_red_mask_000000FF);
    } else {
        result =
            _mm_or_si128(_mm_or_si128(_mm_and_si128(_mm_srli_epi32(v, 16), const_red_mask_000000FF),
                                      _mm_and_si128(v, const_green_mask_0000FF00)),
                         _mm_and_si128(_mm_slli_epi32(v, 16), const_blue_mask_00FF0000));
        result = S.opaque ? _mm_or_si128(result, const_opaque_alpha_FF)
                          : _mm_or_si128(result, _mm_and_si128(v, const_opaque_alpha_FF));
    }
    if constexpr (S.mirror) result = _mm_shuffle_epi32(result, _MM_SHUFFLE(0, 1, 2, 3));
    return result;
}

template <Swizzle S> struct SSE2Row {
    static void Convert(void* destination, const void* source, size_t rowBytes) {
        const uint8_t* src = static_cast<const uint8_t*>(source);
        uint8_t* dst = static_cast<uint8_t*>(destination);
        size_t k = 0;
        for (; k + 16 <= rowBytes; k += 16) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + k));
            uint8_t* out = dst + (S.mirror ? rowBytes - 16 - k : k);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out), Swizzle4<S>(v));
        }
        WordTail<S>(dst, src, rowBytes, k);
    }
};

} // namespace

const Path kSSE2 = MakePath<SSE2Row>("sse2");

} // namespace OpenGL::ReadPixels::paths
