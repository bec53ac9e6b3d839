#pragma once

// Rows of 32-bit pixels moved between byte layouts: pixman composites fastest in its native
// a8r8g8b8 order, so other layouts are drawn in that order and swizzled once. One plain form
// and vectorised forms that give the same bytes; the form follows CoreVectorUnit's choice.
#include "core/CoreVectorUnit.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace platform::coregraphics {

// Byte i of each output pixel is byte from[i] of the input pixel; the pixel, read as a
// little-endian word, then keeps the bits in keep and gains those in set.
struct Swizzle {
    uint8_t from[4];
    uint32_t keep;
    uint32_t set;
};

// Both ways between a layout and the native order.
struct NativeOrder {
    Swizzle in;  // layout -> native
    Swizzle out; // native -> layout
};

using SwizzleFn = void (*)(const uint8_t* src, uint8_t* dst, size_t count, const Swizzle& s);

inline void SwizzlePixels(const uint8_t* src, uint8_t* dst, size_t count, const Swizzle& s) {
    for (size_t i = 0; i < count; ++i, src += 4, dst += 4) {
        const uint8_t bytes[4] = {src[s.from[0]], src[s.from[1]], src[s.from[2]], src[s.from[3]]};
        uint32_t word;
        std::memcpy(&word, bytes, 4);
        word = (word & s.keep) | s.set;
        std::memcpy(dst, &word, 4);
    }
}

void SwizzleReference(const uint8_t* src, uint8_t* dst, size_t count, const Swizzle& s);
void SwizzleSSE2(const uint8_t* src, uint8_t* dst, size_t count, const Swizzle& s);
void SwizzleSSSE3(const uint8_t* src, uint8_t* dst, size_t count, const Swizzle& s);
void SwizzleAVX2(const uint8_t* src, uint8_t* dst, size_t count, const Swizzle& s);

// The form of a level (callable only where CoreVectorUnit::Runs(level)).
SwizzleFn SwizzleForm(CoreVectorUnit::Level level);
// The form of the process's level.
SwizzleFn SwizzleChosen();

} // namespace platform::coregraphics
