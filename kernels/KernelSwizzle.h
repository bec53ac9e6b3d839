#pragma once

// One row operation on 32-bit pixels: each output pixel is a byte permutation of an input pixel
// with some bits forced, optionally with the row mirrored. Drawing moves pixels between pixman's
// native order and other layouts with it; the read-back converters turn OpenGL's B, G, R, A rows
// into the application's orders with it. A plain form and vectorised forms (kernels/
// KernelSwizzleRow.h) that give the same bytes; callers take the form from the kernel table.
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace kernels {

// Byte i of each output pixel is byte from[i] of the input pixel; the pixel, read as a
// little-endian word, then keeps the bits in keep and gains those in set.
struct Swizzle {
    uint8_t from[4];
    uint32_t keep;
    uint32_t set;
};

// count pixels from src into dst (which must not overlap). The mirrored forms write input pixel
// i to output pixel count - 1 - i.
using SwizzleFn = void (*)(const uint8_t* src, uint8_t* dst, size_t count, const Swizzle& s);

// Pixels [from, count) one by one: the plain form, and the end of a row for the vector forms.
// Pixels are read as little-endian words, so byte k of a pixel is bits 8k to 8k + 7.
template <bool mirror>
inline void SwizzleTail(const uint8_t* src, uint8_t* dst, size_t count, const Swizzle& s,
                        size_t from) {
    // Copies, so that stores through dst cannot change them as the compiler sees it.
    const unsigned shift[4] = {8u * s.from[0], 8u * s.from[1], 8u * s.from[2], 8u * s.from[3]};
    const uint32_t keep = s.keep, set = s.set;
    for (size_t i = from; i < count; ++i) {
        uint32_t word;
        std::memcpy(&word, src + 4 * i, 4);
        uint32_t out = 0;
        for (unsigned k = 0; k < 4; ++k)
            out |= ((word >> shift[k]) & 0xFFu) << (8 * k);
        out = (out & keep) | set;
        std::memcpy(dst + 4 * (mirror ? count - 1 - i : i), &out, 4);
    }
}

void SwizzleReference(const uint8_t* src, uint8_t* dst, size_t count, const Swizzle& s);
void SwizzleReferenceMirrored(const uint8_t* src, uint8_t* dst, size_t count, const Swizzle& s);
void SwizzleSSE2(const uint8_t* src, uint8_t* dst, size_t count, const Swizzle& s);
void SwizzleSSE2Mirrored(const uint8_t* src, uint8_t* dst, size_t count, const Swizzle& s);
void SwizzleSSSE3(const uint8_t* src, uint8_t* dst, size_t count, const Swizzle& s);
void SwizzleSSSE3Mirrored(const uint8_t* src, uint8_t* dst, size_t count, const Swizzle& s);
void SwizzleAVX2(const uint8_t* src, uint8_t* dst, size_t count, const Swizzle& s);
void SwizzleAVX2Mirrored(const uint8_t* src, uint8_t* dst, size_t count, const Swizzle& s);

} // namespace kernels
