#pragma once

// Reading the root window's pixels: width x height pixels at (x, y) in root coordinates, into
// out as rows of width 32-bit words, each made opaque. False when the server gave none.
// Both need a capturable connection.
#include "platform/quartzdisplay/CoreGraphicsDisplays.h"
#include "platform/quartzdisplay/ScreenPixels.h"
#include "platform/quartzdisplay/XConnection.h"
#include "platform/quartzdisplay/XDisplayList.h"

#include <cstddef>
#include <cstdint>

namespace platform::coregraphics::x11 {

// Through a shared memory segment kept for the connection. False also when the server cannot
// attach one (from then on this is not tried again).
bool ReadBySharedMemory(const Connection& x, int left, int top, int width, int height,
                        uint32_t* out);

using Area = ScreenArea;
using Capture = ScreenCapture;

// A display image straight over a segment's pixels, which stay as read for as long as anyone
// holds the image: the segment is read into again only once its image is free. Null when every
// segment's image is still held, or as above.
CGImageRef CreateImageBySharedMemory(const Connection& x, const Capture& capture);
// Through plain image requests, in bands that keep every reply within the request limit.
bool ReadByGetImage(const Connection& x, int left, int top, int width, int height, uint32_t* out);

} // namespace platform::coregraphics::x11
