#pragma once

// Images and bitmap contexts over guarded bytes (a read or write past the end stops the test),
// released with the fixture. Rows are rowBytes apart; an image's last row holds only its pixels.
#include "platform/coregraphics/CoreGraphics.h"
#include "tests/support/GuardedBytes.h"

#include <cstring>
#include <vector>

namespace drawingtest {

using namespace platform::coregraphics;
using Bytes = std::vector<uint8_t>;

// A guarded copy of bytes in rows of width pixels (one byte each when gray, else four) and pad.
struct Pixels {
    Pixels(size_t width, const Bytes& bytes, size_t pad, bool gray)
        : bytesPerPixel(gray ? 1 : 4), rowBytes(width * bytesPerPixel + pad), pixels(bytes.size()),
          space(gray ? CGColorSpaceCreateDeviceGray() : CGColorSpaceCreateDeviceRGB()) {
        std::memcpy(pixels.data(), bytes.data(), bytes.size());
    }
    ~Pixels() { CGColorSpaceRelease(space); }

    Bytes All() const { return Bytes(pixels.data(), pixels.data() + pixels.size()); }
    Bytes Pixel(size_t x, size_t row) const {
        const uint8_t* p = pixels.data() + row * rowBytes + x * bytesPerPixel;
        return Bytes(p, p + bytesPerPixel);
    }

    size_t bytesPerPixel, rowBytes;
    testsupport::GuardedBytes pixels;
    CGColorSpaceRef space;
};

struct Image : Pixels {
    Image(size_t width, size_t height, CGBitmapInfo info, const Bytes& bytes, size_t pad = 0,
          bool interpolate = true, bool gray = false)
        : Pixels(width, bytes, pad, gray) {
        CGDataProviderRef provider =
            CGDataProviderCreateWithData(nullptr, pixels.data(), pixels.size(), nullptr);
        image = CGImageCreate(width, height, 8, 8 * bytesPerPixel, rowBytes, space, info, provider,
                              nullptr, interpolate, kCGRenderingIntentDefault);
        CGDataProviderRelease(provider);
    }
    ~Image() { CGImageRelease(image); }

    CGImageRef image = nullptr;
};

struct Bitmap : Pixels {
    Bitmap(size_t width, size_t height, CGBitmapInfo info, const Bytes& initial, size_t pad = 0,
           bool gray = false)
        : Pixels(width, initial, pad, gray),
          context(CGBitmapContextCreate(pixels.data(), width, height, 8, rowBytes, space, info)) {}
    Bitmap(size_t width, size_t height, CGBitmapInfo info, uint8_t fill = 0, bool gray = false)
        : Bitmap(width, height, info, Bytes(width * height * (gray ? 1 : 4), fill), 0, gray) {}
    ~Bitmap() { CGContextRelease(context); }

    CGContextRef context;
};

} // namespace drawingtest
