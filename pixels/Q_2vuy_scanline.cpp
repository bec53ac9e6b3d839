#include "pixels/Q_2vuy_scanline.h"
#include "pixels/Q_2vuy_format.h"

#include <cstdlib>
#include <cstring>

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
const Implementation kAVX512 = {"avx512", AVX512_2vuy_to_ARGB, AVX512_ARGB_to_2vuy};

bool HasAVX2() {
    return __builtin_cpu_supports("avx2");
}

bool HasAVX512() {
    return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw");
}

const Implementation& Selected() {
    static const Implementation& chosen = []() -> const Implementation& {
        const char* reference = std::getenv("VISTREL_PIXELS_REFERENCE");
        if (reference && *reference && std::strcmp(reference, "0") != 0) return kReference;
        if (HasAVX512()) return kAVX512;
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
