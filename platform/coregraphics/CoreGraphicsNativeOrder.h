#pragma once

// pixman composites into its native a8r8g8b8 order several times faster than into byte-swapped
// 32-bit layouts (A,R,G,B bytes above all), so those are composited in the native order in a
// scratch kept by the context, band by band while the band is in cache, and swizzled once. The
// bytes are those of a direct composite: pixman's fetch and store of these layouts only move bytes.
// Where the vector level allows, images in the screen's own layout are stretched by our
// bilinear rows instead of pixman, row by row into the swizzle.
#include "kernels/KernelTable.h"
#include "platform/coregraphics/CoreGraphicsBilinear.h"

#include <pixman.h>

namespace platform::coregraphics {

using kernels::Swizzle;

// Both ways between a layout and the native order.
struct NativeOrder {
    Swizzle in;  // layout -> native
    Swizzle out; // native -> layout
};

// The swizzles of a layout pixman composites slowly; null for every other layout.
const NativeOrder* NativeOrderOf(pixman_format_code_t format);
// The same for images drawn from: the layouts pixman fetches pixel by pixel. R, G, B, A is not
// one of them, and a native copy of it would change what pixman writes into skipped bytes.
const NativeOrder* SourceOrderOf(pixman_format_code_t format);

// A native image of width x rows pixels over memory kept from draw to draw: a frame of the same
// size as the last allocates nothing. Its owner (a context) is used by one thread at a time.
class NativeScratch {
public:
    NativeScratch() = default;
    ~NativeScratch();
    NativeScratch(const NativeScratch&) = delete;
    NativeScratch& operator=(const NativeScratch&) = delete;

    // Null when the memory cannot be had; memory handed out before is then gone.
    pixman_image_t* Image(int width, int rows, pixman_format_code_t format = PIXMAN_a8r8g8b8);
    uint8_t* Row(int width);
    uint8_t* Bytes() const { return reinterpret_cast<uint8_t*>(mPixels); }

    BilinearPlan plan;

private:
    bool Reserve(size_t bytes);
    void Drop();
    pixman_image_t* mImage = nullptr;
    uint32_t* mPixels = nullptr;
    size_t mCapacity = 0;
    int mWidth = 0, mRows = 0;
    pixman_format_code_t mFormat = PIXMAN_a8r8g8b8;
};

// A native copy of width x height pixels of a layout the order describes, for pixman to fetch
// quickly (its fetch of those layouts goes pixel by pixel); opaque layouts stay opaque. Null when
// no memory could be had.
pixman_image_t* NativeCopy(const NativeOrder& order, bool opaque, const uint8_t* bytes,
                           size_t bytesPerRow, int width, int height, NativeScratch& scratch);

// The native layout's own order, for draws into it that go through the rows below.
const NativeOrder& NativeIdentity();

// An unscaled draw of whole pixels of an opaque image of the screen's layout, all inside the
// image: a swizzled copy of rows into a destination of the order's layout. False, with nothing
// drawn, for any other draw.
bool CopyInNativeOrder(const BilinearSource& image, const pixman_transform_t& transform,
                       const NativeOrder& order, uint8_t* bytes, size_t bytesPerRow, int left,
                       int top, int width, int height);

// Stretches an opaque image of the screen's layout with our own bilinear rows over the width x
// height pixels at (left, top) of a destination of the order's layout, the transform mapping
// destination pixels into the image. An unscaled draw of whole pixels inside the image is a
// swizzled copy. False, with nothing drawn, where the rows do not apply (see
// BilinearPlan::Prepare) or the processor lacks their vector form.
bool StretchInNativeOrder(const BilinearSource& image, const pixman_transform_t& transform,
                          bool bilinear, const NativeOrder& order, NativeScratch& scratch,
                          uint8_t* bytes, size_t bytesPerRow, int left, int top, int width,
                          int height);

// Composites source (transform, filter and repeat already set; source coordinates are those of
// the destination) OVER the width x height pixels at (left, top) of a destination of the
// order's layout. False, with nothing drawn, when no scratch memory could be had.
bool CompositeInNativeOrder(pixman_image_t* source, const NativeOrder& order,
                            NativeScratch& scratch, uint8_t* bytes, size_t bytesPerRow, int left,
                            int top, int width, int height);

} // namespace platform::coregraphics
