// Eight pixels per step through one byte shuffle; only called where the processor has AVX2. The
// shuffle works within 128-bit lanes, which a pixel never crosses; a mirrored step exchanges the
// lanes first and reverses the pixels within each.
#include "kernels/KernelSwizzle.h"

#include <immintrin.h>

// Only what follows is built for AVX2 (see the SSSE3 form for why).
#pragma GCC push_options
#pragma GCC target("avx2")
#include "kernels/KernelSwizzleRow.h"

namespace kernels {
namespace {

struct VShuffle256 {
    using I = __m256i;
    static constexpr size_t kPixels = 8;

    struct Plan {
        I control, keep, set;
    };

    // Each pixel's from[] plus the pixel's own offset in its lane (reversed when mirrored).
    template <bool mirror> static Plan Prepare(const kernels::Swizzle& s) {
        uint32_t from;
        std::memcpy(&from, s.from, 4);
        const __m128i offsets =
            mirror ? _mm_setr_epi32(12 * 0x01010101, 8 * 0x01010101, 4 * 0x01010101, 0)
                   : _mm_setr_epi32(0, 4 * 0x01010101, 8 * 0x01010101, 12 * 0x01010101);
        const __m128i control = _mm_add_epi8(_mm_set1_epi32(int(from)), offsets);
        return Plan{_mm256_broadcastsi128_si256(control), _mm256_set1_epi32(int(s.keep)),
                    _mm256_set1_epi32(int(s.set))};
    }

    template <bool mirror> static I Apply(const Plan& p, I v) {
        if constexpr (mirror) v = _mm256_permute4x64_epi64(v, _MM_SHUFFLE(1, 0, 3, 2));
        return _mm256_or_si256(_mm256_and_si256(_mm256_shuffle_epi8(v, p.control), p.keep), p.set);
    }

    static I Load(const uint8_t* p) { return _mm256_loadu_si256(reinterpret_cast<const I*>(p)); }
    static void Store(uint8_t* p, I v) { _mm256_storeu_si256(reinterpret_cast<I*>(p), v); }
};

} // namespace

VISTREL_SWIZZLE_FORMS(VShuffle256, AVX2)

} // namespace kernels

#pragma GCC pop_options
