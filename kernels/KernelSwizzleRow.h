#pragma once

// The vectorised swizzle row, written once over a traits type V that a form's file supplies
// after setting its target with a pragma: the register type I, kPixels per step, a Plan made
// once per row from the Swizzle (and whether the row is mirrored), Apply (the permutation, with
// the pixels of a step reversed when mirrored, and the forced bits), and unaligned Load/Store.
#include "kernels/KernelSwizzle.h"

namespace kernels::row {

template <class V, bool mirror>
void Swizzle(const uint8_t* src, uint8_t* dst, size_t count, const kernels::Swizzle& s) {
    const typename V::Plan plan = V::template Prepare<mirror>(s);
    size_t x = 0;
    for (; x + V::kPixels <= count; x += V::kPixels) {
        const typename V::I out = V::template Apply<mirror>(plan, V::Load(src + 4 * x));
        V::Store(dst + 4 * (mirror ? count - V::kPixels - x : x), out);
    }
    SwizzleTail<mirror>(src, dst, count, s, x);
}

} // namespace kernels::row

// The plain and mirrored forms of a traits type, under the names kernels/KernelSwizzle.h gives.
#define VISTREL_SWIZZLE_FORMS(V, name)                                                             \
    void Swizzle##name(const uint8_t* src, uint8_t* dst, size_t count, const Swizzle& s) {         \
        row::Swizzle<V, false>(src, dst, count, s);                                                \
    }                                                                                              \
    void Swizzle##name##Mirrored(const uint8_t* src, uint8_t* dst, size_t count,                   \
                                 const Swizzle& s) {                                               \
        row::Swizzle<V, true>(src, dst, count, s);                                                 \
    }
