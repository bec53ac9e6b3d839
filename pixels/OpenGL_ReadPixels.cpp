#include "pixels/OpenGL_ReadPixels.h"
#include "core/CoreVectorUnit.h"
#include "pixels/OpenGL_ReadPixels_paths.h"

namespace OpenGL::ReadPixels {
namespace paths {
namespace {

// Byte by byte, straight from the table of destination bytes.
template <Swizzle S> struct ReferenceRow {
    static void Convert(void* destination, const void* source, size_t rowBytes) {
        const uint8_t* src = static_cast<const uint8_t*>(source);
        uint8_t* dst = static_cast<uint8_t*>(destination);
        for (size_t k = 0; k + 4 <= rowBytes; k += 4) {
            const uint8_t s0 = src[k], s1 = src[k + 1], s2 = src[k + 2], s3 = src[k + 3];
            const uint8_t alpha = S.opaque ? 255 : s3;
            uint8_t* d = dst + (S.mirror ? rowBytes - 4 - k : k);
            if constexpr (S.order == Order::Reverse) {
                d[0] = alpha, d[1] = s2, d[2] = s1, d[3] = s0;
            } else {
                d[0] = s2, d[1] = s1, d[2] = s0, d[3] = alpha;
            }
        }
    }
};

} // namespace

const Path kReference = MakePath<ReferenceRow>("reference");

const Path& Selected() {
    switch (CoreVectorUnit::Chosen()) {
    case CoreVectorUnit::kReference:
        return kReference;
    case CoreVectorUnit::kSSE2:
        return kSSE2;
    case CoreVectorUnit::kSSSE3:
        return kSSSE3;
    default: // 512-bit registers gain nothing on rows this short
        return kAVX2;
    }
}

} // namespace paths

namespace {

template <int index> void Run(void* destination, const void* source, size_t rowBytes) {
    paths::Selected().row[index](destination, source, rowBytes);
}

template <ScanlineConverter plain, ScanlineConverter twin>
void Frame(void* buffer, size_t rows, size_t rowBytes, bool flipVertically, bool mirror) {
    if (mirror)
        T_swizzle_framebuffer_GL_BGRX_to_XXXX<twin>(buffer, rows, rowBytes, flipVertically);
    else
        T_swizzle_framebuffer_GL_BGRX_to_XXXX<plain>(buffer, rows, rowBytes, flipVertically);
}

constexpr int kMirrored = paths::kKinds;

} // namespace

void swizzle_scanline_GL_BGRA_to_ARGB(void* d, const void* s, size_t rowBytes) {
    Run<paths::kBGRA_to_ARGB>(d, s, rowBytes);
}
void swizzle_scanline_GL_BGRX_to_ARGB(void* d, const void* s, size_t rowBytes) {
    Run<paths::kBGRX_to_ARGB>(d, s, rowBytes);
}
void swizzle_scanline_GL_BGRA_to_RGBA(void* d, const void* s, size_t rowBytes) {
    Run<paths::kBGRA_to_RGBA>(d, s, rowBytes);
}
void swizzle_scanline_GL_BGRX_to_RGBA(void* d, const void* s, size_t rowBytes) {
    Run<paths::kBGRX_to_RGBA>(d, s, rowBytes);
}
void swizzle_scanline_GL_BGRA_to_ARGB_flip_LR(void* d, const void* s, size_t rowBytes) {
    Run<kMirrored + paths::kBGRA_to_ARGB>(d, s, rowBytes);
}
void swizzle_scanline_GL_BGRX_to_ARGB_flip_LR(void* d, const void* s, size_t rowBytes) {
    Run<kMirrored + paths::kBGRX_to_ARGB>(d, s, rowBytes);
}
void swizzle_scanline_GL_BGRA_to_RGBA_flip_LR(void* d, const void* s, size_t rowBytes) {
    Run<kMirrored + paths::kBGRA_to_RGBA>(d, s, rowBytes);
}
void swizzle_scanline_GL_BGRX_to_RGBA_flip_LR(void* d, const void* s, size_t rowBytes) {
    Run<kMirrored + paths::kBGRX_to_RGBA>(d, s, rowBytes);
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
