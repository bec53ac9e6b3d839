#include "kernels/KernelBox.h"

#include <algorithm>

namespace kernels {

namespace {

// With the bytes of a pixel known to the compiler, the column loop is one it widens.
template <size_t kBytes> void Row(const BoxBlocks& b, uint32_t* column, uint8_t* out) {
    const size_t rowValues = b.width * kBytes;
    std::fill(column, column + rowValues, 0u);
    for (size_t y = 0; y < b.rows; ++y) {
        const uint8_t* row = b.top + y * b.bytesPerRow;
        for (size_t i = 0; i < rowValues; ++i)
            column[i] += row[i];
    }
    const size_t outWidth = (b.width + b.kx - 1) / b.kx;
    const uint64_t whole = BoxReciprocal(b.kx * b.rows);
    for (size_t block = 0; block < outWidth; ++block) {
        const size_t left = block * b.kx, columns = std::min(b.kx, b.width - left);
        const uint64_t reciprocal = columns == b.kx ? whole : BoxReciprocal(columns * b.rows);
        uint32_t sum[kBytes] = {};
        for (const uint32_t* c = column + left * kBytes; c < column + (left + columns) * kBytes;
             c += kBytes)
            for (size_t i = 0; i < kBytes; ++i)
                sum[i] += c[i];
        for (size_t i = 0; i < kBytes; ++i)
            *out++ = uint8_t((sum[i] * reciprocal + (uint64_t(1) << 31)) >> 32);
    }
}

} // namespace

void BoxRowReference(const BoxBlocks& blocks, uint32_t* columns, uint8_t* out) {
    Row<4>(blocks, columns, out);
}

void BoxRowReference1(const BoxBlocks& blocks, uint32_t* columns, uint8_t* out) {
    Row<1>(blocks, columns, out);
}

} // namespace kernels
