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
// The capture's image, rows packed, written by the server straight into pixels: memory of this
// process that is a shared mapping of a file, which is attached as a segment of its own and kept
// while it stays the file mapped there. False where the memory is no such mapping, the file has
// been replaced since it was mapped, or the server will not attach it (from then on this is not
// tried again).
bool ReadIntoMappedFile(const Connection& x, const Capture& capture, uint8_t* pixels);
// Through plain image requests, in bands that keep every reply within the request limit.
bool ReadByGetImage(const Connection& x, int left, int top, int width, int height, uint32_t* out);

} // namespace platform::coregraphics::x11
