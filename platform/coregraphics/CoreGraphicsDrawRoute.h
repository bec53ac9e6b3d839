#pragma once

// The ways CGContextDrawImage can reach a byte-swapped 32-bit context, so that tests and
// benchmarks can hold the fast ones against the plain one. CGContextDrawImage takes the direct
// route when VISTREL_PIXELS_REFERENCE selects the reference forms, NativeOrder otherwise.
#include "platform/coregraphics/CoreGraphicsDrawing.h"

namespace platform::coregraphics {

// Where the layout needs no swizzle, every route is the direct one.
enum class DrawRoute {
    Direct,               // pixman composites straight into the context's layout
    NativeOrderComposite, // pixman composites in its native order, then swizzled
    NativeOrder,          // as above, or our bilinear rows where they apply
};

void CGContextDrawImageThrough(CGContextRef context, CGRect rect, CGImageRef image,
                               DrawRoute route);

} // namespace platform::coregraphics
