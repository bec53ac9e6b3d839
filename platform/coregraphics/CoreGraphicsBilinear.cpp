#include "platform/coregraphics/CoreGraphicsBilinear.h"

#include <algorithm>
#include <climits>

namespace platform::coregraphics {

namespace {

constexpr int kWeightBits = 7; // pixman's BILINEAR_INTERPOLATION_BITS
constexpr int kWeightOne = 1 << kWeightBits;

int WeightOf(int64_t fixed) {
    return int(fixed >> (16 - kWeightBits)) & (kWeightOne - 1);
}

// The first pixel's source position of destination row y: pixman maps pixel centres and
// steps back half a pixel to the top-left sample.
bool Start(const pixman_transform_t& t, int x, int y, int64_t& sx, int64_t& sy) {
    pixman_vector_t v{{pixman_int_to_fixed(x) + pixman_fixed_1 / 2,
                       pixman_int_to_fixed(y) + pixman_fixed_1 / 2, pixman_fixed_1}};
    if (!pixman_transform_point_3d(&t, &v)) return false;
    sx = int64_t(v.vector[0]) - pixman_fixed_1 / 2;
    sy = int64_t(v.vector[1]) - pixman_fixed_1 / 2;
    return true;
}

} // namespace

bool BilinearPlan::Prepare(const BilinearSource& source, const pixman_transform_t& transform,
                           bool bilinear, int left, int top, int width, int height) {
    const int w = source.width, h = source.height;
    const auto& m = transform.matrix;
    if (!bilinear || source.format != PIXMAN_x8r8g8b8 || w < 2 || m[0][1] || m[1][0] || m[2][0] ||
        m[2][1] || m[2][2] != pixman_fixed_1 || m[0][0] <= 0 || m[1][1] <= 0 || w > 0x7FFF ||
        h > 0x7FFF || left + int64_t(width) > 0x7FFF || top + int64_t(height) > 0x7FFF)
        return false;
    int64_t sx, sy;
    if (!Start(transform, left, 0, sx, sy)) return false;
    // pixman steps in 32-bit 16.16; positions that leave it are not ours to guess.
    const int64_t last = sx + int64_t(m[0][0]) * (width - 1);
    if (sx < INT32_MIN || last > INT32_MAX) return false;

    mPixels = source.pixels;
    mStride = source.stride;
    mSourceHeight = h;
    mTransform = transform;
    mLeft = left;
    mWidth = width;
    mOffsets.resize(size_t(width));
    mWeights.resize(size_t(width));
    for (int i = 0; i < width; ++i, sx += m[0][0]) {
        const int64_t ix = sx >> 16;
        const int wx = WeightOf(sx);
        const int x1 = int(std::clamp<int64_t>(ix, 0, w - 1));
        const int x2 = int(std::clamp<int64_t>(ix + 1, 0, w - 1));
        int pair = x1;
        uint32_t wl = uint32_t(kWeightOne - wx), wr = uint32_t(wx);
        if (x2 != x1 + 1) { // outside the image: its edge pixel alone, from a pair inside
            pair = x1 + 1 < w ? x1 : x1 - 1;
            wl = pair == x1 ? kWeightOne : 0;
            wr = kWeightOne - wl;
        }
        mOffsets[size_t(i)] = pair * 4;
        mWeights[size_t(i)] = wl | wr << 16;
    }
    constexpr uint32_t kEven = kWeightOne / 2 | kWeightOne / 2 << 16;
    mHalf = true;
    for (int i = 0; i < width && mHalf; ++i)
        mHalf = mWeights[size_t(i)] == kEven && mOffsets[size_t(i)] == mOffsets[0] + 8 * i;
    mTaller = m[1][1] < pixman_fixed_1;
    // The image's pixels may have changed since the last draw.
    mSumsRow[0] = mSumsRow[1] = -1;
    return true;
}

const uint16_t* BilinearPlan::Sums(int row, int keep, kernels::BilinearColumnsFn columns) {
    for (const int k : {0, 1})
        if (mSumsRow[k] == row) return mSums[k].data();
    const int k = mSumsRow[0] == keep ? 1 : 0;
    mSums[k].resize(4 * size_t(mWidth));
    columns({mOffsets.data(), mWeights.data(), mWidth}, mPixels + row * mStride, mSums[k].data());
    mSumsRow[k] = row;
    return mSums[k].data();
}

void BilinearPlan::Row(int y, uint8_t* out, const kernels::Table& t) {
    int64_t sx, sy;
    if (!Start(mTransform, mLeft, y, sx, sy)) return;
    const int wy = WeightOf(sy);
    const int y1 = int(std::clamp<int64_t>(sy >> 16, 0, mSourceHeight - 1));
    const int y2 = int(std::clamp<int64_t>((sy >> 16) + 1, 0, mSourceHeight - 1));
    const uint8_t* top = mPixels + y1 * mStride;
    const uint8_t* bottom = mPixels + y2 * mStride;
    int wt = kWeightOne - wy, wb = wy;
    if (y2 != y1 + 1 || wy == 0) { // one row alone: split evenly keeps every weight below 128
        bottom = top;
        wt = wb = kWeightOne / 2;
    }
    if (mHalf && t.bilinearHalf) {
        t.bilinearHalf(top + mOffsets[0], bottom + mOffsets[0], wt, wb, out, mWidth);
    } else if (mTaller && t.bilinearBlend) {
        const uint16_t* upper = Sums(y1, y2, t.bilinearColumns);
        t.bilinearBlend(upper, bottom == top ? upper : Sums(y2, y1, t.bilinearColumns), wt, wb, out,
                        mWidth);
    } else {
        t.bilinear({mOffsets.data(), mWeights.data(), mWidth}, top, bottom, wt, wb, out);
    }
}

} // namespace platform::coregraphics
