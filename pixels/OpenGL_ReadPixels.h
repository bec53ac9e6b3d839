#pragma once

// In-place conversion of frames read back from OpenGL as GL_BGRA / GL_UNSIGNED_INT_8_8_8_8_REV
// (bytes B, G, R, A; bottom row first) into the application's byte orders, optionally turning
// the rows over and mirroring each row, with one row of extra memory.
//
// Rows hold whole 4-byte pixels: rowBytes is a multiple of 4. Every row byte counts as pixels,
// so a mirrored row with padding brings the padding to its front.
#include "core/CoreVerify.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace OpenGL::ReadPixels {

using uint_pixel_t = uint32_t;

// One row of source pixels into a different row of destination pixels (they must not overlap).
using ScanlineConverter = void (*)(void* destination, const void* source, size_t rowBytes);

// Rows of a read-back frame are packed.
constexpr size_t scanline_row_bytes_from_frame_pixel_width(size_t width) {
    return sizeof(uint_pixel_t) * width;
}

// The row converters, through the kernel table's swizzle rows. Destination bytes per source pixel
// s0 s1 s2 s3:
//   BGRA_to_ARGB s3 s2 s1 s0     its _flip_LR twin 255 s2 s1 s0 (alpha is not carried over)
//   BGRX_to_ARGB 255 s2 s1 s0    BGRA_to_RGBA s2 s1 s0 s3    BGRX_to_RGBA s2 s1 s0 255
// A _flip_LR twin writes the pixel read at source offset k to rowBytes - 4 - k.
void swizzle_scanline_GL_BGRA_to_ARGB(void* destination, const void* source, size_t rowBytes);
void swizzle_scanline_GL_BGRX_to_ARGB(void* destination, const void* source, size_t rowBytes);
void swizzle_scanline_GL_BGRA_to_RGBA(void* destination, const void* source, size_t rowBytes);
void swizzle_scanline_GL_BGRX_to_RGBA(void* destination, const void* source, size_t rowBytes);
void swizzle_scanline_GL_BGRA_to_ARGB_flip_LR(void* destination, const void* source,
                                              size_t rowBytes);
void swizzle_scanline_GL_BGRX_to_ARGB_flip_LR(void* destination, const void* source,
                                              size_t rowBytes);
void swizzle_scanline_GL_BGRA_to_RGBA_flip_LR(void* destination, const void* source,
                                              size_t rowBytes);
void swizzle_scanline_GL_BGRX_to_RGBA_flip_LR(void* destination, const void* source,
                                              size_t rowBytes);

// Each row is touched once: flipping converts a row pair through the one extra row. When the
// extra row cannot be had the frame stays as OpenGL left it.
template <ScanlineConverter convert>
void T_swizzle_framebuffer_GL_BGRX_to_XXXX(void* buffer, size_t rows, size_t rowBytes,
                                           bool flipVertically) {
    if (rows == 0 || rowBytes == 0) return;
    if (!VERIFY(buffer != nullptr && rowBytes % sizeof(uint_pixel_t) == 0)) return;
    uint8_t* const frame = static_cast<uint8_t*>(buffer);
    if (flipVertically) {
        void* one_scanline_buffer = std::malloc(rowBytes);
        if (!VERIFY(one_scanline_buffer)) return;
        for (size_t top = 0, bottom = rows - 1; top < bottom; ++top, --bottom) {
            uint8_t* const topRow = frame + top * rowBytes;
            uint8_t* const bottomRow = frame + bottom * rowBytes;
            convert(one_scanline_buffer, topRow, rowBytes);
            convert(topRow, bottomRow, rowBytes);
            std::memcpy(bottomRow, one_scanline_buffer, rowBytes);
        }
        if (rows % 2 != 0) { // the middle row: through the extra row too, as a mirror needs
            uint8_t* const middleRow = frame + rows / 2 * rowBytes;
            convert(one_scanline_buffer, middleRow, rowBytes);
            std::memcpy(middleRow, one_scanline_buffer, rowBytes);
        }
        std::free(one_scanline_buffer);
    } else {
        void* one_scanline_buffer = std::malloc(rowBytes);
        if (!VERIFY(one_scanline_buffer)) return;
        for (size_t row = 0; row < rows; ++row) {
            uint8_t* const line = frame + row * rowBytes;
            convert(one_scanline_buffer, line, rowBytes);
            std::memcpy(line, one_scanline_buffer, rowBytes);
        }
        std::free(one_scanline_buffer);
    }
}

// The whole frame in place; mirror picks the _flip_LR converter.
void _swizzle_framebuffer_GL_BGRA_to_ARGB(void* buffer, size_t rows, size_t rowBytes,
                                          bool flipVertically, bool mirror);
void _swizzle_framebuffer_GL_BGRX_to_ARGB(void* buffer, size_t rows, size_t rowBytes,
                                          bool flipVertically, bool mirror);
void _swizzle_framebuffer_GL_BGRA_to_RGBA(void* buffer, size_t rows, size_t rowBytes,
                                          bool flipVertically, bool mirror);
void _swizzle_framebuffer_GL_BGRX_to_RGBA(void* buffer, size_t rows, size_t rowBytes,
                                          bool flipVertically, bool mirror);

} // namespace OpenGL::ReadPixels
