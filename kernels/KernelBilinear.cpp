#include "kernels/KernelBilinear.h"

namespace kernels {

void BilinearRowReference(const BilinearColumns& columns, const uint8_t* top, const uint8_t* bottom,
                          int wt, int wb, uint8_t* out) {
    BilinearPixels(columns, top, bottom, wt, wb, out, 0);
}

void BilinearHalfRowReference(const uint8_t* top, const uint8_t* bottom, int wt, int wb,
                              uint8_t* out, int width) {
    BilinearHalfPixels(top, bottom, wt, wb, out, width, 0);
}

void BilinearColumnsReference(const BilinearColumns& columns, const uint8_t* row, uint16_t* sums) {
    BilinearColumnSums(columns, row, sums, 0);
}

void BilinearBlendReference(const uint16_t* top, const uint16_t* bottom, int wt, int wb,
                            uint8_t* out, int width) {
    BilinearBlendPixels(top, bottom, wt, wb, out, width, 0);
}

} // namespace kernels
