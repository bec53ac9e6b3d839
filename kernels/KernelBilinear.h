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

// The same rows in two steps, for stretches that read each source row for several destination
// rows (upscales): a source row's column pairs blended once into 16-bit channels (left * wl +
// right * wr, at most 255 * 128; four a column, the padding's included), then two such rows
// blended per destination row: (top * wt + bottom * wb) >> 14 is the same exact sum truncated.
using BilinearColumnsFn = void (*)(const BilinearColumns& columns, const uint8_t* row,
                                   uint16_t* sums);
using BilinearBlendFn = void (*)(const uint16_t* top, const uint16_t* bottom, int wt, int wb,
                                 uint8_t* out, int width);

// Columns [from, width) and pixels [from, width), one by one.
inline void BilinearColumnSums(const BilinearColumns& columns, const uint8_t* row, uint16_t* sums,
                               int from) {
    for (int i = from; i < columns.width; ++i) {
        const uint8_t* p = row + columns.offsets[i];
        const uint32_t wl = columns.weights[i] & 0xFFFF, wr = columns.weights[i] >> 16;
        for (int c = 0; c < 4; ++c)
            sums[4 * i + c] = uint16_t(p[c] * wl + p[c + 4] * wr);
    }
}
inline void BilinearBlendPixels(const uint16_t* top, const uint16_t* bottom, int wt, int wb,
                                uint8_t* out, int width, int from) {
    for (int i = from; i < width; ++i) {
        for (int c = 0; c < 3; ++c)
            out[4 * i + c] = uint8_t((uint32_t(top[4 * i + c]) * uint32_t(wt) +
                                      uint32_t(bottom[4 * i + c]) * uint32_t(wb)) >>
                                     14);
        out[4 * i + 3] = 0xFF;
    }
}

// The vector forms; the plain pixel loops above are what they must match.
void BilinearRowAVX2(const BilinearColumns& columns, const uint8_t* top, const uint8_t* bottom,
                     int wt, int wb, uint8_t* out);
void BilinearColumnsAVX2(const BilinearColumns& columns, const uint8_t* row, uint16_t* sums);
void BilinearBlendAVX2(const uint16_t* top, const uint16_t* bottom, int wt, int wb, uint8_t* out,
                       int width);
void BilinearHalfRowAVX2(const uint8_t* top, const uint8_t* bottom, int wt, int wb, uint8_t* out,
                         int width);

} // namespace kernels
