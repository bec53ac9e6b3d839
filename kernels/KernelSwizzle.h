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

inline uint32_t SwizzlePixel(const uint8_t* src, const Swizzle& s) {
    const uint8_t bytes[4] = {src[s.from[0]], src[s.from[1]], src[s.from[2]], src[s.from[3]]};
    uint32_t word;
    std::memcpy(&word, bytes, 4);
    return (word & s.keep) | s.set;
}

// Pixels [from, count) one by one: the plain form, and the end of a row for the vector forms.
template <bool mirror>
inline void SwizzleTail(const uint8_t* src, uint8_t* dst, size_t count, const Swizzle& s,
                        size_t from) {
    for (size_t i = from; i < count; ++i) {
        const uint32_t word = SwizzlePixel(src + 4 * i, s);
        std::memcpy(dst + 4 * (mirror ? count - 1 - i : i), &word, 4);
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
