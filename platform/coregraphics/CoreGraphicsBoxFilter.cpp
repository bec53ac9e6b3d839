#include "platform/coregraphics/CoreGraphicsBoxFilter.h"

#include <algorithm>
#include <cmath>

namespace platform::coregraphics {

namespace {

// Dividing by a block's pixel count as a multiplication: 32 fraction bits keep every average
// within half a step of the exact one.
constexpr int kShift = 32;

uint64_t Reciprocal(size_t count) {
    return ((uint64_t(1) << kShift) + count / 2) / count;
}

} // namespace

size_t BoxFactor(double scale) {
    if (!(scale > 2) || !std::isfinite(scale)) return 1;
    return size_t(std::ceil(scale / 2));
}

namespace {

// The rows of blocks, with the bytes of a pixel known to the compiler.
template <size_t kBytes>
void Reduce(const uint8_t* pixels, size_t bytesPerRow, size_t width, size_t height, size_t kx,
            size_t ky, std::vector<uint32_t>& sums, uint8_t* out) {
    const size_t rowValues = width * kBytes;
    const size_t outWidth = (width + kx - 1) / kx;
    sums.resize(rowValues);
    uint32_t* const column = sums.data();
    const uint64_t whole = Reciprocal(kx * ky);
    for (size_t top = 0; top < height; top += ky) {
        const size_t rows = std::min(ky, height - top);
        // Column sums of the block's rows: a plain loop the compiler widens.
        std::fill(column, column + rowValues, 0u);
        for (size_t y = top; y < top + rows; ++y) {
            const uint8_t* row = pixels + y * bytesPerRow;
            for (size_t i = 0; i < rowValues; ++i)
                column[i] += row[i];
        }
        for (size_t block = 0; block < outWidth; ++block) {
            const size_t left = block * kx, columns = std::min(kx, width - left);
            const size_t count = columns * rows;
            const uint64_t reciprocal = count == kx * ky ? whole : Reciprocal(count);
            uint32_t sum[kBytes] = {};
            for (const uint32_t* c = column + left * kBytes; c < column + (left + columns) * kBytes;
                 c += kBytes)
                for (size_t b = 0; b < kBytes; ++b)
                    sum[b] += c[b];
            for (size_t b = 0; b < kBytes; ++b)
                *out++ = uint8_t((sum[b] * reciprocal + (uint64_t(1) << (kShift - 1))) >> kShift);
        }
    }
}

} // namespace

void BoxReduce(const uint8_t* pixels, size_t bytesPerRow, size_t width, size_t height,
               size_t bytesPerPixel, size_t kx, size_t ky, std::vector<uint32_t>& sums,
               uint8_t* out) {
    if (bytesPerPixel == 4)
        Reduce<4>(pixels, bytesPerRow, width, height, kx, ky, sums, out);
    else
        Reduce<1>(pixels, bytesPerRow, width, height, kx, ky, sums, out);
}

} // namespace platform::coregraphics
