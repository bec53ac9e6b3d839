#include "pixels/Q_2vuy_scanline.h"
#include "pixels/PixelPaths.h"
#include "pixels/Q_2vuy_format.h"

namespace Q_2vuy_scanline {

void Reference_2vuy_to_ARGB(const uint8_t* src, uint8_t* dst, int width) {
    DecodeTail(src, dst, 0, width);
}

void Reference_ARGB_to_2vuy(const uint8_t* src, uint8_t* dst, int width) {
    EncodeTail(src, dst, 0, width);
}

const Implementation kReference = {"reference", Reference_2vuy_to_ARGB, Reference_ARGB_to_2vuy};
const Implementation kSSE2 = {"sse2", SSE2_2vuy_to_ARGB, SSE2_ARGB_to_2vuy};
const Implementation kAVX2 = {"avx2", AVX2_2vuy_to_ARGB, AVX2_ARGB_to_2vuy};

bool HasAVX2() {
    return PixelPaths::HasAVX2();
}

const Implementation& Selected() {
    static const Implementation& chosen = []() -> const Implementation& {
        if (PixelPaths::ReferenceRequested()) return kReference;
        return HasAVX2() ? kAVX2 : kSSE2;
    }();
    return chosen;
}

} // namespace Q_2vuy_scanline

void Q_2vuy_data::ConvertScanline_2vuy_to_ARGB(const uint8_t* src, uint8_t* dst, int width) {
    Q_2vuy_scanline::Selected().toARGB(src, dst, width);
}

void Q_2vuy_data::ConvertScanline_ARGB_to_2vuy(const uint8_t* src, uint8_t* dst, int width) {
    Q_2vuy_scanline::Selected().to2vuy(src, dst, width);
}
