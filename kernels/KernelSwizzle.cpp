#include "kernels/KernelSwizzle.h"

namespace kernels {

namespace {

// The permutations the read-back and drawing layers use, with their bytes known to the compiler,
// which then moves whole groups of pixels at once (and without the forced bits where none are
// forced); any other permutation goes through the general loop.
constexpr uint32_t Key(uint8_t f0, uint8_t f1, uint8_t f2, uint8_t f3) {
    return f0 | f1 << 8 | f2 << 16 | uint32_t(f3) << 24;
}

template <bool mirror, uint32_t key, bool forced>
void Known(const uint8_t* __restrict src, uint8_t* __restrict dst, size_t count, uint32_t keep,
           uint32_t set) {
    uint8_t keepBytes[4], setBytes[4];
    std::memcpy(keepBytes, &keep, 4);
    std::memcpy(setBytes, &set, 4);
    for (size_t i = 0; i < count; ++i) {
        const uint8_t* p = src + 4 * i;
        uint8_t* d = dst + 4 * (mirror ? count - 1 - i : i);
        for (unsigned k = 0; k < 4; ++k) {
            const uint8_t byte = p[key >> 8 * k & 0xFF];
            d[k] = forced ? uint8_t((byte & keepBytes[k]) | setBytes[k]) : byte;
        }
    }
}

template <bool mirror, uint32_t key>
void Known(const uint8_t* src, uint8_t* dst, size_t count, const Swizzle& s) {
    if (s.keep == 0xFFFFFFFFu && s.set == 0)
        Known<mirror, key, false>(src, dst, count, s.keep, s.set);
    else
        Known<mirror, key, true>(src, dst, count, s.keep, s.set);
}

template <bool mirror>
void Plain(const uint8_t* src, uint8_t* dst, size_t count, const Swizzle& s) {
    switch (Key(s.from[0], s.from[1], s.from[2], s.from[3])) {
    case Key(3, 2, 1, 0):
        return Known<mirror, Key(3, 2, 1, 0)>(src, dst, count, s);
    case Key(2, 1, 0, 3):
        return Known<mirror, Key(2, 1, 0, 3)>(src, dst, count, s);
    case Key(1, 2, 3, 0):
        return Known<mirror, Key(1, 2, 3, 0)>(src, dst, count, s);
    case Key(3, 0, 1, 2):
        return Known<mirror, Key(3, 0, 1, 2)>(src, dst, count, s);
    default:
        return SwizzleTail<mirror>(src, dst, count, s, 0);
    }
}

} // namespace

void SwizzleReference(const uint8_t* src, uint8_t* dst, size_t count, const Swizzle& s) {
    Plain<false>(src, dst, count, s);
}

void SwizzleReferenceMirrored(const uint8_t* src, uint8_t* dst, size_t count, const Swizzle& s) {
    Plain<true>(src, dst, count, s);
}

} // namespace kernels
