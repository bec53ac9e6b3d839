// Four pixels per step through one byte shuffle, which also reverses them in a mirrored row;
// only called where the processor has SSSE3.
#include "kernels/KernelSwizzle.h"

#include <tmmintrin.h>

// Only what follows is built for SSSE3: the shared header above keeps the baseline, so its inline
// functions are never emitted here with instructions other processors lack.
#pragma GCC push_options
#pragma GCC target("ssse3")
#include "kernels/KernelSwizzleRow.h"

namespace kernels {
namespace {

struct VShuffle128 {
    using I = __m128i;
    static constexpr size_t kPixels = 4;

    struct Plan {
        I control, keep, set;
    };

    // Each pixel's from[] plus the pixel's own offset in the step (reversed when mirrored).
    template <bool mirror> static Plan Prepare(const kernels::Swizzle& s) {
        uint32_t from;
        std::memcpy(&from, s.from, 4);
        const I offsets = mirror
                              ? _mm_setr_epi32(12 * 0x01010101, 8 * 0x01010101, 4 * 0x01010101, 0)
                              : _mm_setr_epi32(0, 4 * 0x01010101, 8 * 0x01010101, 12 * 0x01010101);
        return Plan{_mm_add_epi8(_mm_set1_epi32(int(from)), offsets), _mm_set1_epi32(int(s.keep)),
                    _mm_set1_epi32(int(s.set))};
    }

    template <bool mirror> static I Apply(const Plan& p, I v) {
        return _mm_or_si128(_mm_and_si128(_mm_shuffle_epi8(v, p.control), p.keep), p.set);
    }

    static I Load(const uint8_t* p) { return _mm_loadu_si128(reinterpret_cast<const I*>(p)); }
    static void Store(uint8_t* p, I v) { _mm_storeu_si128(reinterpret_cast<I*>(p), v); }
};

} // namespace

VISTREL_SWIZZLE_FORMS(VShuffle128, SSSE3)

} // namespace kernels

#pragma GCC pop_options
