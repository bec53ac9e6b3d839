// Four pixels per byte shuffle; only called where the processor has SSSE3.
#include "pixels/OpenGL_ReadPixels_shuffle.h"

#include <tmmintrin.h>

#define VISTREL_SSSE3 __attribute__((target("ssse3")))

namespace OpenGL::ReadPixels::paths {
namespace {

template <Swizzle S> struct SSSE3Row {
    VISTREL_SSSE3 static void Convert(void* destination, const void* source, size_t rowBytes) {
        static constexpr std::array<char, 16> c = ShuffleControl<S>();
        const __m128i control = _mm_loadu_si128(reinterpret_cast<const __m128i*>(c.data()));
        const __m128i alpha = _mm_set1_epi32(S.opaque ? static_cast<int>(AlphaMask(S.order)) : 0);
        const uint8_t* src = static_cast<const uint8_t*>(source);
        uint8_t* dst = static_cast<uint8_t*>(destination);
        size_t k = 0;
        for (; k + 16 <= rowBytes; k += 16) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + k));
            uint8_t* out = dst + (S.mirror ? rowBytes - 16 - k : k);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out),
                             _mm_or_si128(_mm_shuffle_epi8(v, control), alpha));
        }
        WordTail<S>(dst, src, rowBytes, k);
    }
};

} // namespace

const Path kSSSE3 = MakePath<SSSE3Row>("ssse3");

} // namespace OpenGL::ReadPixels::paths
