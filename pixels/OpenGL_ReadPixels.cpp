#include "pixels/OpenGL_ReadPixels.h"
#include "kernels/KernelTable.h"

namespace OpenGL::ReadPixels {
namespace {

using kernels::Swizzle;

// Source bytes B, G, R, A. Reversed: A, R, G, B; red and blue exchanged: R, G, B, A. Opaque forms
// set the alpha byte, which sits first or last in the destination pixel.
constexpr Swizzle kToARGB = {{3, 2, 1, 0}, 0xFFFFFFFFu, 0};
constexpr Swizzle kToARGBOpaque = {{3, 2, 1, 0}, 0xFFFFFFFFu, 0x000000FFu};
constexpr Swizzle kToRGBA = {{2, 1, 0, 3}, 0xFFFFFFFFu, 0};
constexpr Swizzle kToRGBAOpaque = {{2, 1, 0, 3}, 0xFFFFFFFFu, 0xFF000000u};

// Whole pixels of the row; a mirrored row of padding bytes brings them to its front, so its
// pixels end where the row ends.
template <const Swizzle& s, bool mirror>
void Row(void* destination, const void* source, size_t rowBytes) {
    const kernels::Table& table = kernels::Chosen();
    const auto* src = static_cast<const uint8_t*>(source);
    auto* dst = static_cast<uint8_t*>(destination);
    if (mirror)
        table.swizzleMirrored(src, dst + rowBytes % 4, rowBytes / 4, s);
    else
        table.swizzle(src, dst, rowBytes / 4, s);
}

template <ScanlineConverter plain, ScanlineConverter twin>
void Frame(void* buffer, size_t rows, size_t rowBytes, bool flipVertically, bool mirror) {
    if (mirror)
        T_swizzle_framebuffer_GL_BGRX_to_XXXX<twin>(buffer, rows, rowBytes, flipVertically);
    else
        T_swizzle_framebuffer_GL_BGRX_to_XXXX<plain>(buffer, rows, rowBytes, flipVertically);
}

} // namespace

void swizzle_scanline_GL_BGRA_to_ARGB(void* d, const void* s, size_t rowBytes) {
    Row<kToARGB, false>(d, s, rowBytes);
}
void swizzle_scanline_GL_BGRX_to_ARGB(void* d, const void* s, size_t rowBytes) {
    Row<kToARGBOpaque, false>(d, s, rowBytes);
}
void swizzle_scanline_GL_BGRA_to_RGBA(void* d, const void* s, size_t rowBytes) {
    Row<kToRGBA, false>(d, s, rowBytes);
}
void swizzle_scanline_GL_BGRX_to_RGBA(void* d, const void* s, size_t rowBytes) {
    Row<kToRGBAOpaque, false>(d, s, rowBytes);
}
// The mirroring twin of BGRA to ARGB has always written an opaque alpha.
void swizzle_scanline_GL_BGRA_to_ARGB_flip_LR(void* d, const void* s, size_t rowBytes) {
    Row<kToARGBOpaque, true>(d, s, rowBytes);
}
void swizzle_scanline_GL_BGRX_to_ARGB_flip_LR(void* d, const void* s, size_t rowBytes) {
    Row<kToARGBOpaque, true>(d, s, rowBytes);
}
void swizzle_scanline_GL_BGRA_to_RGBA_flip_LR(void* d, const void* s, size_t rowBytes) {
    Row<kToRGBA, true>(d, s, rowBytes);
}
void swizzle_scanline_GL_BGRX_to_RGBA_flip_LR(void* d, const void* s, size_t rowBytes) {
    Row<kToRGBAOpaque, true>(d, s, rowBytes);
}

void _swizzle_framebuffer_GL_BGRA_to_ARGB(void* buffer, size_t rows, size_t rowBytes,
                                          bool flipVertically, bool mirror) {
    Frame<swizzle_scanline_GL_BGRA_to_ARGB, swizzle_scanline_GL_BGRA_to_ARGB_flip_LR>(
        buffer, rows, rowBytes, flipVertically, mirror);
}
void _swizzle_framebuffer_GL_BGRX_to_ARGB(void* buffer, size_t rows, size_t rowBytes,
                                          bool flipVertically, bool mirror) {
    Frame<swizzle_scanline_GL_BGRX_to_ARGB, swizzle_scanline_GL_BGRX_to_ARGB_flip_LR>(
        buffer, rows, rowBytes, flipVertically, mirror);
}
void _swizzle_framebuffer_GL_BGRA_to_RGBA(void* buffer, size_t rows, size_t rowBytes,
                                          bool flipVertically, bool mirror) {
    Frame<swizzle_scanline_GL_BGRA_to_RGBA, swizzle_scanline_GL_BGRA_to_RGBA_flip_LR>(
        buffer, rows, rowBytes, flipVertically, mirror);
}
void _swizzle_framebuffer_GL_BGRX_to_RGBA(void* buffer, size_t rows, size_t rowBytes,
                                          bool flipVertically, bool mirror) {
    Frame<swizzle_scanline_GL_BGRX_to_RGBA, swizzle_scanline_GL_BGRX_to_RGBA_flip_LR>(
        buffer, rows, rowBytes, flipVertically, mirror);
}

} // namespace OpenGL::ReadPixels
