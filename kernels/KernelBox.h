#pragma once

// Rows of block averages: the area-averaging step of a draw that shrinks an image by more than
// half. Bytes are averaged one by one, which suits every layout of 1 or 4 bytes a pixel,
// premultiplied colours included. A block's average is its sum times a reciprocal of its pixel
// count with 32 fraction bits, rounded: within half a step of the exact average, and the same
// bytes from every form.
#include <cstddef>
#include <cstdint>

namespace kernels {

// One row of blocks: rows (1 up to the block height) image rows from top, kx columns a block;
// the last block holds what is left of the width.
struct BoxBlocks {
    const uint8_t* top;
    size_t bytesPerRow;
    size_t rows;
    size_t width; // pixels
    size_t kx;
};

// Writes ceil(width / kx) pixels. columns is scratch of width * (bytes a pixel) values.
using BoxRowFn = void (*)(const BoxBlocks& blocks, uint32_t* columns, uint8_t* out);

inline uint64_t BoxReciprocal(size_t count) {
    return ((uint64_t(1) << 32) + count / 2) / count;
}

// The plain forms, which sum each column first: 4 bytes a pixel, and 1 (masks).
void BoxRowReference(const BoxBlocks& blocks, uint32_t* columns, uint8_t* out);
void BoxRowReference1(const BoxBlocks& blocks, uint32_t* columns, uint8_t* out);
void BoxRowAVX2(const BoxBlocks& blocks, uint32_t* columns, uint8_t* out);

} // namespace kernels
