#pragma once

// Reading the root window's pixels: width x height pixels at (x, y) in root coordinates, into
// out as rows of width 32-bit words, each made opaque. False when the server gave none.
// Both need a capturable connection.
#include "platform/quartzdisplay/CoreGraphicsDisplays.h"
#include "platform/quartzdisplay/XConnection.h"
#include "platform/quartzdisplay/XDisplayList.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace platform::coregraphics::x11 {

// Through a shared memory segment kept for the connection. False also when the server cannot
// attach one (from then on this is not tried again).
bool ReadBySharedMemory(const Connection& x, int left, int top, int width, int height,
                        uint32_t* out);

using Area = ScreenArea;
using Capture = ScreenCapture;

// Turns the part's pixels, read as packed rows into the first words of pixels (which hold the
// whole image), into the image: every row moved to its place, the uncovered pixels cleared.
void Compose(const Capture& capture, uint32_t* pixels);

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

// Display images hold 32-bit little-endian words 0x??RRGGBB, the padding byte ignored: the root
// window's own layout, so that the server's bytes are the image's.
constexpr CGBitmapInfo kDisplayImageInfo = kCGImageAlphaNoneSkipFirst | kCGBitmapByteOrder32Little;

// A display image over width x height pixels, rows packed; release frees them (none: the
// caller keeps them).
CGImageRef DisplayImageOver(void* pixels, int width, int height,
                            CGDataProviderReleaseDataCallback release);

// The padding byte of a 24-bit pixel is undefined: readers get a solid alpha instead.
inline void CopyOpaque(const uint8_t* from, uint32_t* to, size_t pixels) {
    for (size_t i = 0; i < pixels; ++i) {
        uint32_t word;
        std::memcpy(&word, from + 4 * i, 4);
        to[i] = word | 0xFF000000u;
    }
}

} // namespace platform::coregraphics::x11
