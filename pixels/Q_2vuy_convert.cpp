// The row conversions of Q_2vuy_data, apart from the rest of the class so that a program using
// only them links no toolkit.
#include "kernels/KernelTable.h"
#include "pixels/Q_2vuy_format.h"

void Q_2vuy_data::ConvertScanline_2vuy_to_ARGB(const uint8_t* src, uint8_t* dst, int width) {
    kernels::Chosen().decode2vuy(src, dst, width);
}

void Q_2vuy_data::ConvertScanline_ARGB_to_2vuy(const uint8_t* src, uint8_t* dst, int width) {
    kernels::Chosen().encode2vuy(src, dst, width);
}
