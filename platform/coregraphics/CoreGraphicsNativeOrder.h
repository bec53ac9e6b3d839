#pragma once

// pixman composites into its native a8r8g8b8 order several times faster than into byte-swapped
// 32-bit layouts (A,R,G,B bytes above all), so those are composited in the native order in a
// per-thread scratch, band by band while the band is in cache, and swizzled once. The bytes are
// those of a direct composite: pixman's fetch and store of these layouts only move bytes.
#include "platform/coregraphics/CoreGraphicsSwizzle.h"

#include <pixman.h>

namespace platform::coregraphics {

// The swizzles of a layout pixman composites slowly; null for every other layout.
const NativeOrder* NativeOrderOf(pixman_format_code_t format);

// Composites source (transform, filter and repeat already set; source coordinates are those of
// the destination) OVER the width x height pixels at (left, top) of a destination of the
// order's layout. False, with nothing drawn, when no scratch memory could be had.
bool CompositeInNativeOrder(pixman_image_t* source, const NativeOrder& order, uint8_t* bytes,
                            size_t bytesPerRow, int left, int top, int width, int height);

} // namespace platform::coregraphics
