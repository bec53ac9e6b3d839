#include "platform/coregraphics/CoreGraphicsBoxFilter.h"

#include "kernels/KernelTable.h"

#include <algorithm>
#include <cmath>

namespace platform::coregraphics {

size_t BoxFactor(double scale) {
    if (!(scale > 2) || !std::isfinite(scale)) return 1;
    return size_t(std::ceil(scale / 2));
}

void BoxReduce(const uint8_t* pixels, size_t bytesPerRow, size_t width, size_t height,
               size_t bytesPerPixel, size_t kx, size_t ky, std::vector<uint32_t>& sums,
               uint8_t* out) {
    const kernels::BoxRowFn row =
        bytesPerPixel == 4 ? kernels::Chosen().box : kernels::BoxRowReference1;
    const size_t outRow = (width + kx - 1) / kx * bytesPerPixel;
    sums.resize(width * bytesPerPixel);
    for (size_t top = 0; top < height; top += ky, out += outRow)
        row({pixels + top * bytesPerRow, bytesPerRow, std::min(ky, height - top), width, kx},
            sums.data(), out);
}

} // namespace platform::coregraphics
