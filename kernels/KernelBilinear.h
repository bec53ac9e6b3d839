#pragma once

// Rows of pixman's bilinear samples of an opaque native-order image (x8r8g8b8): per destination
// column the byte offset of the source pixel pair it blends and the pair's 7-bit weights, made
// once per draw by the drawing layer; per row the two source rows and their weights. The exact
// weighted sum is truncated, which any order of evaluation gives.
#include <cstddef>
#include <cstdint>

namespace kernels {

struct BilinearColumns {
    const int32_t* offsets;  // byte offset in a source row of each column's pixel pair
    const uint32_t* weights; // left | right << 16, summing to 128
    int width;
};

// One destination row in native order from the source rows top and bottom, weighted wt and wb
// (summing to 128, each below 128).
using BilinearRowFn = void (*)(const BilinearColumns& columns, const uint8_t* top,
                               const uint8_t* bottom, int wt, int wb, uint8_t* out);

// Pixels [from, width) of a row, one by one.
inline void BilinearPixels(const BilinearColumns& columns, const uint8_t* top,
                           const uint8_t* bottom, int wt, int wb, uint8_t* out, int from) {
    for (int i = from; i < columns.width; ++i) {
        const uint8_t* t = top + columns.offsets[i];
        const uint8_t* b = bottom + columns.offsets[i];
        const uint32_t wl = columns.weights[i] & 0xFFFF, wr = columns.weights[i] >> 16;
        for (int c = 0; c < 3; ++c) {
            const uint32_t l = t[c] * wt + b[c] * wb, r = t[c + 4] * wt + b[c + 4] * wb;
            out[4 * i + c] = uint8_t((l * wl + r * wr) >> 14);
        }
        out[4 * i + 3] = 0xFF; // the skipped byte reads as opaque
    }
}

// The same row where every column blends the pair at 8 bytes times its index from pairs (a
// stretch to exactly half the width, pixel centres aligned): both weights 64, so the column
// blend is the sum of the pair's row blends shifted down by 8.
using BilinearHalfRowFn = void (*)(const uint8_t* pairs, const uint8_t* bottomPairs, int wt, int wb,
                                   uint8_t* out, int width);

// Pixels [from, width) of such a row, one by one.
inline void BilinearHalfPixels(const uint8_t* top, const uint8_t* bottom, int wt, int wb,
                               uint8_t* out, int width, int from) {
    for (int i = from; i < width; ++i) {
        const uint8_t* t = top + 8 * i;
        const uint8_t* b = bottom + 8 * i;
        for (int c = 0; c < 3; ++c) {
            const uint32_t l = t[c] * wt + b[c] * wb, r = t[c + 4] * wt + b[c + 4] * wb;
            out[4 * i + c] = uint8_t((l + r) >> 8);
        }
        out[4 * i + 3] = 0xFF;
    }
}

// The plain rows, which the vector forms must match.
void BilinearRowReference(const BilinearColumns& columns, const uint8_t* top, const uint8_t* bottom,
                          int wt, int wb, uint8_t* out);
void BilinearRowAVX2(const BilinearColumns& columns, const uint8_t* top, const uint8_t* bottom,
                     int wt, int wb, uint8_t* out);
void BilinearHalfRowReference(const uint8_t* top, const uint8_t* bottom, int wt, int wb,
                              uint8_t* out, int width);
void BilinearHalfRowAVX2(const uint8_t* top, const uint8_t* bottom, int wt, int wb, uint8_t* out,
                         int width);

} // namespace kernels
