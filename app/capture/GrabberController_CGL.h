#pragma once

// The controller's read-back of part of the current OpenGL context's viewport straight into an
// ARGB buffer (the camera frame or a device ARGB bitmap), top row first.
#include "platform/coregraphics/CoreGraphicsDrawing.h"

#include <cstddef>

// origin and size are in viewport pixels (origin bottom-left). The part of the rectangle inside
// the viewport is read to its place within the rectangle; when some of the rectangle lies
// outside, the buffer's first size.height rows are cleared first. A part of 3 pixels or less
// in either dimension reads nothing and leaves the buffer alone. bufferRowBytes must be
// exactly 4 x size.width (packed rows, as the camera frame and device ARGB bitmaps have).
void grabOpenGLViewportContentsTo_ARGB_BufferSize_sizePixels_bufferData_bufferRowBytes_flipHorizontal(
    platform::coregraphics::CGPoint origin, platform::coregraphics::CGSize size, void* bufferData,
    size_t bufferRowBytes, bool flipHorizontal);
