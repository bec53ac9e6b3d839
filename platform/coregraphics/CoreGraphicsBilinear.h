#pragma once

// pixman's bilinear samples of an opaque native-order image (x8r8g8b8, the screen's layout)
// stretched by a scale-and-offset transform with its edge pixels extended, row by row and
// byte for byte: the same 16.16 positions (pixman's own transform code), 7-bit weights, and
// the exact weighted sum truncated, which any order of evaluation gives. Where the per-pixel
// setup is the same for every row (the columns and their weights) it is made once per draw;
// the rows themselves are the kernel table's.
#include "kernels/KernelTable.h"

#include <cstddef>
#include <cstdint>
#include <pixman.h>
#include <vector>

namespace platform::coregraphics {

// An image's bytes as its layout describes them.
struct BilinearSource {
    const uint8_t* pixels;
    ptrdiff_t stride;
    int width, height;
    pixman_format_code_t format;
};

class BilinearPlan {
public:
    // Plans the width x height destination pixels at (left, top); false when the case is not
    // one this code computes (another layout or filter, a skewed transform, a one-pixel-wide
    // image, positions beyond 16.16), and the caller composites through pixman instead.
    bool Prepare(const BilinearSource& source, const pixman_transform_t& transform, bool bilinear,
                 int left, int top, int width, int height);
    // Destination row y (the destination's own coordinates) into width native pixels through the
    // table's rows: the half-width ones where every column blends the next pair of pixels evenly,
    // the two-step ones where the image is stretched taller, whose source rows' column sums are
    // kept for the destination rows after.
    void Row(int y, uint8_t* out, const kernels::Table& t);

private:
    const uint8_t* mPixels = nullptr;
    ptrdiff_t mStride = 0;
    int mSourceHeight = 0;
    pixman_transform_t mTransform{};
    int mLeft = 0, mWidth = 0;
    bool mHalf = false, mTaller = false;
    std::vector<int32_t> mOffsets;
    std::vector<uint32_t> mWeights;
    // Two source rows' column sums and their rows (-1: none).
    std::vector<uint16_t> mSums[2];
    int mSumsRow[2] = {-1, -1};
    const uint16_t* Sums(int row, int keep, kernels::BilinearColumnsFn columns);
};

} // namespace platform::coregraphics
