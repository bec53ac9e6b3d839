#include "kernels/KernelSwizzle.h"

namespace kernels {

void SwizzleReference(const uint8_t* src, uint8_t* dst, size_t count, const Swizzle& s) {
    SwizzleTail<false>(src, dst, count, s, 0);
}

void SwizzleReferenceMirrored(const uint8_t* src, uint8_t* dst, size_t count, const Swizzle& s) {
    SwizzleTail<true>(src, dst, count, s, 0);
}

} // namespace kernels
