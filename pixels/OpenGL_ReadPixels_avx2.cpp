// Eight pixels per step; only called where the processor has AVX2. The byte shuffle works within
// 128-bit halves, so a mirrored step also exchanges the halves.
#include "pixels/OpenGL_ReadPixels_shuffle.h"

#include <immintrin.h>

#define VISTREL_AVX2 __attribute__((target("avx2")))

namespace OpenGL::ReadPixels::paths {
namespace {

template <Swizzle S> struct AVX2Row {
    VISTREL_AVX2 static void Convert(void* destination, const void* source, size_t rowBytes) {
        static constexpr std::array<char, 16> c = ShuffleControl<S>();
        const __m256i control = _mm256_broadcastsi128_si256(
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(c.data())));
        const __m256i alpha =
            _mm256_set1_epi32(S.opaque ? static_cast<int>(AlphaMask(S.order)) : 0);
        const uint8_t* src = static_cast<const uint8_t*>(source);
        uint8_t* dst = static_cast<uint8_t*>(destination);
        size_t k = 0;
        for (; k + 32 <= rowBytes; k += 32) {
            __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + k));
            if constexpr (S.mirror) v = _mm256_permute4x64_epi64(v, _MM_SHUFFLE(1, 0, 3, 2));
            uint8_t* out = dst + (S.mirror ? rowBytes - 32 - k : k);
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(out),
                                _mm256_or_si256(_mm256_shuffle_epi8(v, control), alpha));
        }
        WordTail<S>(dst, src, rowBytes, k);
    }
};

} // namespace

const Path kAVX2 = MakePath<AVX2Row>("avx2");

} // namespace OpenGL::ReadPixels::paths
