// Four pixels per step without a byte shuffle; x86-64 always has SSE2. Output bytes that move the
// same distance within the pixel move together: one shift and mask per distance. A whole
// reversal (A,R,G,B to and from the native order) has a form of its own: it swaps the bytes of
// each 16-bit half and then the halves.
#include "kernels/KernelSwizzleRow.h"

#include <emmintrin.h>

namespace kernels {
namespace {

struct V128 {
    using I = __m128i;
    static constexpr size_t kPixels = 4;

    static I Load(const uint8_t* p) { return _mm_loadu_si128(reinterpret_cast<const I*>(p)); }
    static void Store(uint8_t* p, I v) { _mm_storeu_si128(reinterpret_cast<I*>(p), v); }
    template <bool mirror> static I Forced(I v, I keep, I set) {
        v = _mm_or_si128(_mm_and_si128(v, keep), set);
        return mirror ? _mm_shuffle_epi32(v, _MM_SHUFFLE(0, 1, 2, 3)) : v;
    }
};

struct V128Shifts : V128 {
    struct Plan {
        int terms;
        bool left[4];
        I distance[4], mask[4];
        I keep, set;
    };

    template <bool mirror> static Plan Prepare(const kernels::Swizzle& s) {
        Plan p{};
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
        I out = _mm_setzero_si128();
        for (int t = 0; t < p.terms; ++t) {
            const I moved =
                p.left[t] ? _mm_sll_epi32(v, p.distance[t]) : _mm_srl_epi32(v, p.distance[t]);
            out = _mm_or_si128(out, _mm_and_si128(moved, p.mask[t]));
        }
        return Forced<mirror>(out, p.keep, p.set);
    }
};

struct V128Reversal : V128 {
    struct Plan {
        I keep, set;
    };

    template <bool mirror> static Plan Prepare(const kernels::Swizzle& s) {
        return Plan{_mm_set1_epi32(int(s.keep)), _mm_set1_epi32(int(s.set))};
    }

    template <bool mirror> static I Apply(const Plan& p, I v) {
        const I bytes = _mm_or_si128(_mm_slli_epi16(v, 8), _mm_srli_epi16(v, 8));
        const I out = _mm_shufflehi_epi16(_mm_shufflelo_epi16(bytes, _MM_SHUFFLE(2, 3, 0, 1)),
                                          _MM_SHUFFLE(2, 3, 0, 1));
        return Forced<mirror>(out, p.keep, p.set);
    }
};

template <bool mirror> void Row(const uint8_t* src, uint8_t* dst, size_t count, const Swizzle& s) {
    if (s.from[0] == 3 && s.from[1] == 2 && s.from[2] == 1 && s.from[3] == 0)
        row::Swizzle<V128Reversal, mirror>(src, dst, count, s);
    else
        row::Swizzle<V128Shifts, mirror>(src, dst, count, s);
}

} // namespace

void SwizzleSSE2(const uint8_t* src, uint8_t* dst, size_t count, const Swizzle& s) {
    Row<false>(src, dst, count, s);
}

void SwizzleSSE2Mirrored(const uint8_t* src, uint8_t* dst, size_t count, const Swizzle& s) {
    Row<true>(src, dst, count, s);
}

} // namespace kernels
