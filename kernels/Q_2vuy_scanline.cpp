#include "kernels/Q_2vuy_scanline.h"

namespace Q_2vuy_scanline {

void Reference_2vuy_to_ARGB(const uint8_t* src, uint8_t* dst, int width) {
    DecodeTail(src, dst, 0, width);
}

void Reference_ARGB_to_2vuy(const uint8_t* src, uint8_t* dst, int width) {
    EncodeTail(src, dst, 0, width);
}

} // namespace Q_2vuy_scanline
