#pragma once

// pixman's bilinear samples of an opaque native-order image (x8r8g8b8, the screen's layout)
// stretched by a scale-and-offset transform with its edge pixels extended, row by row and
// byte for byte: the same 16.16 positions (pixman's own transform code), 7-bit weights, and
// the exact weighted sum truncated, which any order of evaluation gives. Where the per-pixel
// setup is the same for every row (the columns and their weights) it is made once per draw.
#include "core/CoreVectorUnit.h"

#include <cstddef>
#include <cstdint>
#include <pixman.h>
#include <vector>

namespace platform::coregraphics {

class BilinearPlan;

// An image's bytes as its layout describes them.
struct BilinearSource {
    const uint8_t* pixels;
    ptrdiff_t stride;
    int width, height;
    pixman_format_code_t format;
};

// One destination row in native order from the source rows top and bottom, weighted wt and wb
// (summing to 128).
using BilinearRowFn = void (*)(const BilinearPlan& plan, const uint8_t* top, const uint8_t* bottom,
                               int wt, int wb, uint8_t* out);

class BilinearPlan {
public:
    // Plans the width x height destination pixels at (left, top); false when the case is not
    // one this code computes (another layout or filter, a skewed transform, a one-pixel-wide
    // image, positions beyond 16.16), and the caller composites through pixman instead.
    bool Prepare(const BilinearSource& source, const pixman_transform_t& transform, bool bilinear,
                 int left, int top, int width, int height);
    // Destination row y (the destination's own coordinates) into width native pixels.
    void Row(int y, uint8_t* out, BilinearRowFn form) const;

    // The row form of a level (callable only where CoreVectorUnit::Runs(level)), or null where
    // pixman's own code is the faster way (and for the reference level, whose draws are
    // pixman's direct composites). The vector form hands a row's last pixels to the plain code.
    static BilinearRowFn Form(CoreVectorUnit::Level level);

    // Per destination column: the byte offset in a source row of the pixel pair it blends and
    // the pair's weights (left | right << 16, summing to 128).
    const int32_t* Offsets() const { return mOffsets.data(); }
    const uint32_t* Weights() const { return mWeights.data(); }
    int Width() const { return mWidth; }

private:
    const uint8_t* mPixels = nullptr;
    ptrdiff_t mStride = 0;
    int mSourceHeight = 0;
    pixman_transform_t mTransform{};
    int mLeft = 0, mWidth = 0;
    std::vector<int32_t> mOffsets;
    std::vector<uint32_t> mWeights;
};

void BilinearRowAVX2(const BilinearPlan& plan, const uint8_t* top, const uint8_t* bottom, int wt,
                     int wb, uint8_t* out);

// Pixels [from, width) of a row, one by one.
inline void BilinearPixels(const BilinearPlan& plan, const uint8_t* top, const uint8_t* bottom,
                           int wt, int wb, uint8_t* out, int from) {
    for (int i = from; i < plan.Width(); ++i) {
        const uint8_t* t = top + plan.Offsets()[i];
        const uint8_t* b = bottom + plan.Offsets()[i];
        const uint32_t wl = plan.Weights()[i] & 0xFFFF, wr = plan.Weights()[i] >> 16;
        for (int c = 0; c < 3; ++c) {
            const uint32_t l = t[c] * wt + b[c] * wb, r = t[c + 4] * wt + b[c + 4] * wb;
            out[4 * i + c] = uint8_t((l * wl + r * wr) >> 14);
        }
        out[4 * i + 3] = 0xFF; // the skipped byte reads as opaque
    }
}

} // namespace platform::coregraphics
