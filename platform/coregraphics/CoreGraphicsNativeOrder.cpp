#include "platform/coregraphics/CoreGraphicsNativeOrder.h"

#include <algorithm>
#include <cstdlib>

namespace platform::coregraphics {

namespace {

// Native pixels are the bytes B, G, R, A. A skipped byte reads as opaque and is written as 0,
// as pixman's own store of these layouts does.
constexpr uint32_t kAll = 0xFFFFFFFFu;
constexpr uint32_t kNativeAlpha = 0xFF000000u;
constexpr uint32_t kFirstByte = 0x000000FFu;
// A, R, G, B bytes (b8g8r8a8) and X, R, G, B: the whole pixel reversed, both ways.
constexpr NativeOrder kReversed = {{{3, 2, 1, 0}, kAll, 0}, {{3, 2, 1, 0}, kAll, 0}};
constexpr NativeOrder kReversedSkip = {{{3, 2, 1, 0}, kAll, kNativeAlpha},
                                       {{3, 2, 1, 0}, ~kFirstByte, 0}};
// A, B, G, R bytes (r8g8b8a8) and X, B, G, R: the first byte moves to the end and back.
constexpr NativeOrder kRotated = {{{1, 2, 3, 0}, kAll, 0}, {{3, 0, 1, 2}, kAll, 0}};
constexpr NativeOrder kRotatedSkip = {{{1, 2, 3, 0}, kAll, kNativeAlpha},
                                      {{3, 0, 1, 2}, ~kFirstByte, 0}};

// R, G, B, A bytes (a8b8g8r8): red and blue change places. (pixman's own paths into R, G, B, X
// keep whatever they computed in the skipped byte, which a swizzle cannot reproduce: that layout
// stays direct.)
constexpr NativeOrder kSwappedRB = {{{2, 1, 0, 3}, kAll, 0}, {{2, 1, 0, 3}, kAll, 0}};

// Bands of about this many pixels stay in the second-level cache between the composite and the
// swizzle, and bound the scratch memory a context keeps.
constexpr int kBandPixels = 32 * 1024;

bool Opaque(pixman_image_t* image) {
    return PIXMAN_FORMAT_A(pixman_image_get_format(image)) == 0;
}

} // namespace

const NativeOrder* NativeOrderOf(pixman_format_code_t format) {
    switch (format) {
    case PIXMAN_b8g8r8a8:
        return &kReversed;
    case PIXMAN_b8g8r8x8:
        return &kReversedSkip;
    case PIXMAN_r8g8b8a8:
        return &kRotated;
    case PIXMAN_r8g8b8x8:
        return &kRotatedSkip;
    case PIXMAN_a8b8g8r8:
        return &kSwappedRB;
    default:
        return nullptr;
    }
}

const NativeOrder& NativeIdentity() {
    static constexpr NativeOrder kIdentity = {{{0, 1, 2, 3}, kAll, 0}, {{0, 1, 2, 3}, kAll, 0}};
    return kIdentity;
}

const NativeOrder* SourceOrderOf(pixman_format_code_t format) {
    return format == PIXMAN_a8b8g8r8 ? nullptr : NativeOrderOf(format);
}

NativeScratch::~NativeScratch() {
    Drop();
    std::free(mPixels);
}

bool NativeScratch::Reserve(size_t bytes) {
    if (bytes <= mCapacity) return true;
    Drop();
    std::free(mPixels);
    bytes = (bytes + 63) / 64 * 64;
    mPixels = static_cast<uint32_t*>(std::aligned_alloc(64, bytes));
    mCapacity = mPixels ? bytes : 0;
    return mPixels != nullptr;
}

pixman_image_t* NativeScratch::Image(int width, int rows, pixman_format_code_t format) {
    if (mImage && width == mWidth && rows == mRows && format == mFormat) return mImage;
    Drop();
    if (!Reserve(size_t(width) * size_t(rows) * 4)) return nullptr;
    mImage = pixman_image_create_bits_no_clear(format, width, rows, mPixels, width * 4);
    mWidth = width;
    mRows = rows;
    mFormat = format;
    return mImage;
}

uint8_t* NativeScratch::Row(int width) {
    return Reserve(size_t(width) * 4) ? Bytes() : nullptr;
}

void NativeScratch::Drop() {
    if (mImage) pixman_image_unref(mImage);
    mImage = nullptr;
}

pixman_image_t* NativeCopy(const NativeOrder& order, bool opaque, const uint8_t* bytes,
                           size_t bytesPerRow, int width, int height, NativeScratch& scratch) {
    pixman_image_t* native =
        scratch.Image(width, height, opaque ? PIXMAN_x8r8g8b8 : PIXMAN_a8r8g8b8);
    if (!native) return nullptr;
    const kernels::SwizzleFn swizzle = kernels::Chosen().swizzle;
    for (int y = 0; y < height; ++y)
        swizzle(bytes + size_t(y) * bytesPerRow, scratch.Bytes() + size_t(y) * width * 4,
                size_t(width), order.in);
    return native;
}

// An unscaled draw at whole-pixel offsets whose pixels all lie inside the image samples every
// pixel exactly, whatever the filter: each destination row is part of an image row, moved into
// the destination's layout by one swizzle that also makes the padding byte an opaque alpha.
bool CopyInNativeOrder(const BilinearSource& image, const pixman_transform_t& transform,
                       const NativeOrder& order, uint8_t* bytes, size_t bytesPerRow, int left,
                       int top, int width, int height) {
    const auto& m = transform.matrix;
    if (image.format != PIXMAN_x8r8g8b8 || m[0][0] != pixman_fixed_1 || m[1][1] != pixman_fixed_1 ||
        m[0][1] || m[1][0] || m[2][0] || m[2][1] || m[2][2] != pixman_fixed_1 ||
        m[0][2] % pixman_fixed_1 || m[1][2] % pixman_fixed_1)
        return false;
    const int64_t x = left + int64_t(m[0][2] / pixman_fixed_1);
    const int64_t y = top + int64_t(m[1][2] / pixman_fixed_1);
    if (x < 0 || y < 0 || x + width > image.width || y + height > image.height) return false;
    kernels::Swizzle out = order.out;
    // Where the layout keeps the native alpha byte it is an alpha, else a padding byte written 0.
    for (unsigned k = 0; k < 4; ++k)
        if (out.from[k] == 3 && (out.keep >> (8 * k) & 0xFFu) == 0xFFu) out.set |= 0xFFu << (8 * k);
    const kernels::SwizzleFn swizzle = kernels::Chosen().swizzle;
    for (int row = 0; row < height; ++row)
        swizzle(image.pixels + (y + row) * image.stride + x * 4,
                bytes + size_t(top + row) * bytesPerRow + size_t(left) * 4, size_t(width), out);
    return true;
}

bool StretchInNativeOrder(const BilinearSource& image, const pixman_transform_t& transform,
                          bool bilinear, const NativeOrder& order, NativeScratch& scratch,
                          uint8_t* bytes, size_t bytesPerRow, int left, int top, int width,
                          int height) {
    if (CopyInNativeOrder(image, transform, order, bytes, bytesPerRow, left, top, width, height))
        return true;
    const kernels::Table& table = kernels::Chosen();
    if (!table.bilinear ||
        !scratch.plan.Prepare(image, transform, bilinear, left, top, width, height))
        return false;
    uint8_t* native = scratch.Row(width);
    if (!native) return false;
    const kernels::SwizzleFn swizzle = kernels::Chosen().swizzle;
    for (int y = 0; y < height; ++y) {
        scratch.plan.Row(top + y, native, table);
        swizzle(native, bytes + size_t(top + y) * bytesPerRow + size_t(left) * 4, size_t(width),
                order.out);
    }
    return true;
}

bool CompositeInNativeOrder(pixman_image_t* source, const NativeOrder& order,
                            NativeScratch& scratch, uint8_t* bytes, size_t bytesPerRow, int left,
                            int top, int width, int height) {
    const kernels::SwizzleFn swizzle = kernels::Chosen().swizzle;
    const int band = std::max(1, std::min(height, kBandPixels / width));
    pixman_image_t* native = scratch.Image(width, band);
    if (!native) return false;
    // An opaque source replaces what is under it, so the destination need not be read.
    const bool opaque = Opaque(source);
    const size_t nativeRowBytes = size_t(width) * 4;
    for (int done = 0; done < height; done += band) {
        const int count = std::min(band, height - done);
        uint8_t* first = bytes + size_t(top + done) * bytesPerRow + size_t(left) * 4;
        if (!opaque)
            for (int y = 0; y < count; ++y)
                swizzle(first + y * bytesPerRow, scratch.Bytes() + y * nativeRowBytes,
                        size_t(width), order.in);
        pixman_image_composite32(opaque ? PIXMAN_OP_SRC : PIXMAN_OP_OVER, source, nullptr, native,
                                 left, top + done, 0, 0, 0, 0, width, count);
        for (int y = 0; y < count; ++y)
            swizzle(scratch.Bytes() + y * nativeRowBytes, first + y * bytesPerRow, size_t(width),
                    order.out);
    }
    return true;
}

} // namespace platform::coregraphics
