// Four pixels per step without a byte shuffle; x86-64 always has SSE2. Output bytes that move the
// same distance within the pixel move together: one shift and mask per distance. A whole
// reversal (A,R,G,B to and from the native order) swaps the bytes of each 16-bit half and then
// the halves.
#include "kernels/KernelSwizzleRow.h"

#include <emmintrin.h>

namespace kernels {
namespace {

struct V128 {
    using I = __m128i;
    static constexpr size_t kPixels = 4;

    struct Plan {
        bool reverse;
        int terms;
        bool left[4];
        I distance[4], mask[4];
        I keep, set;
    };

    template <bool mirror> static Plan Prepare(const kernels::Swizzle& s) {
        Plan p{};
        p.reverse = s.from[0] == 3 && s.from[1] == 2 && s.from[2] == 1 && s.from[3] == 0;
        int shifts[4];
        uint32_t masks[4] = {};
        for (int i = 0; i < 4; ++i) {
            const int shift = 8 * (i - s.from[i]); // left when positive
            int t = 0;
            while (t < p.terms && shifts[t] != shift)
                ++t;
            if (t == p.terms) shifts[p.terms++] = shift;
            masks[t] |= 0xFFu << (8 * i);
        }
        for (int t = 0; t < p.terms; ++t) {
            p.left[t] = shifts[t] > 0;
            p.distance[t] = _mm_cvtsi32_si128(shifts[t] > 0 ? shifts[t] : -shifts[t]);
            p.mask[t] = _mm_set1_epi32(int(masks[t]));
        }
        p.keep = _mm_set1_epi32(int(s.keep));
        p.set = _mm_set1_epi32(int(s.set));
        return p;
    }

    template <bool mirror> static I Apply(const Plan& p, I v) {
        I out;
        if (p.reverse) {
            const I bytes = _mm_or_si128(_mm_slli_epi16(v, 8), _mm_srli_epi16(v, 8));
            out = _mm_shufflehi_epi16(_mm_shufflelo_epi16(bytes, _MM_SHUFFLE(2, 3, 0, 1)),
                                      _MM_SHUFFLE(2, 3, 0, 1));
        } else {
            out = _mm_setzero_si128();
            for (int t = 0; t < p.terms; ++t) {
                const I moved =
                    p.left[t] ? _mm_sll_epi32(v, p.distance[t]) : _mm_srl_epi32(v, p.distance[t]);
                out = _mm_or_si128(out, _mm_and_si128(moved, p.mask[t]));
            }
        }
        out = _mm_or_si128(_mm_and_si128(out, p.keep), p.set);
        if constexpr (mirror) out = _mm_shuffle_epi32(out, _MM_SHUFFLE(0, 1, 2, 3));
        return out;
    }

    static I Load(const uint8_t* p) { return _mm_loadu_si128(reinterpret_cast<const I*>(p)); }
    static void Store(uint8_t* p, I v) { _mm_storeu_si128(reinterpret_cast<I*>(p), v); }
};

} // namespace

VISTREL_SWIZZLE_FORMS(V128, SSE2)

} // namespace kernels
