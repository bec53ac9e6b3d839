#pragma once

// The one table of pixel row kernels: a struct of function pointers filled once, at first use,
// with the forms of the process's vector level (CoreVectorUnit::Chosen). Every pixel routine
// calls through it, so VISTREL_PIXELS_REFERENCE=1 selects the plain forms everywhere at once.
#include "kernels/CoreVectorUnit.h"
#include "kernels/KernelBilinear.h"
#include "kernels/KernelBox.h"
#include "kernels/KernelSwizzle.h"
#include "kernels/Q_2vuy_scanline.h"

namespace kernels {

struct Table {
    CoreVectorUnit::Level level;
    Q_2vuy_scanline::ScanlineFn decode2vuy; // 2vuy row to A, R, G, B
    Q_2vuy_scanline::ScanlineFn encode2vuy; // A, R, G, B row to 2vuy
    SwizzleFn swizzle;
    SwizzleFn swizzleMirrored;
    // Null where pixman's own rows are the faster way, and at the reference level, whose draws
    // are pixman's direct composites.
    BilinearRowFn bilinear;
    BilinearHalfRowFn bilinearHalf;    // null exactly where bilinear is
    BilinearColumnsFn bilinearColumns; // and these two
    BilinearBlendFn bilinearBlend;
    BoxRowFn box; // 4 bytes a pixel
};

// The forms of a level; callable only where CoreVectorUnit::Runs(level). A level without a form
// of its own for a kernel takes the widest form below it (512-bit registers gain nothing on
// swizzle rows; SSSE3 adds nothing to the 2vuy rows).
const Table& ForLevel(CoreVectorUnit::Level level);
// The process's table.
const Table& Chosen();

} // namespace kernels
