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

inline size_t BytesPerPixel(bool gray) {
    return gray ? 1 : 4;
}

struct Image {
    Image(size_t width, size_t height, CGBitmapInfo info, const Bytes& bytes, size_t pad = 0,
          bool interpolate = true, bool gray = false)
        : rowBytes(width * BytesPerPixel(gray) + pad), pixels(bytes.size()) {
        std::memcpy(pixels.data(), bytes.data(), bytes.size());
        CGColorSpaceRef space =
            gray ? CGColorSpaceCreateDeviceGray() : CGColorSpaceCreateDeviceRGB();
        CGDataProviderRef provider =
            CGDataProviderCreateWithData(nullptr, pixels.data(), pixels.size(), nullptr);
        image = CGImageCreate(width, height, 8, 8 * BytesPerPixel(gray), rowBytes, space, info,
                              provider, nullptr, interpolate, kCGRenderingIntentDefault);
        CGDataProviderRelease(provider);
        CGColorSpaceRelease(space);
    }
    ~Image() { CGImageRelease(image); }

    size_t rowBytes;
    testsupport::GuardedBytes pixels;
    CGImageRef image = nullptr;
};

struct Bitmap {
    Bitmap(size_t width, size_t height, CGBitmapInfo info, const Bytes& initial, size_t pad = 0,
           bool gray = false)
        : bytesPerPixel(BytesPerPixel(gray)), rowBytes(width * bytesPerPixel + pad),
          pixels(initial.size()) {
        std::memcpy(pixels.data(), initial.data(), initial.size());
        CGColorSpaceRef space =
            gray ? CGColorSpaceCreateDeviceGray() : CGColorSpaceCreateDeviceRGB();
        context = CGBitmapContextCreate(pixels.data(), width, height, 8, rowBytes, space, info);
        CGColorSpaceRelease(space);
    }
    Bitmap(size_t width, size_t height, CGBitmapInfo info, uint8_t fill = 0, bool gray = false)
        : Bitmap(width, height, info, Bytes(width * height * BytesPerPixel(gray), fill), 0, gray) {}
    ~Bitmap() { CGContextRelease(context); }

    Bytes All() const { return Bytes(pixels.data(), pixels.data() + pixels.size()); }
    Bytes Pixel(size_t x, size_t row) const {
        const uint8_t* p = pixels.data() + row * rowBytes + x * bytesPerPixel;
        return Bytes(p, p + bytesPerPixel);
    }

    size_t bytesPerPixel, rowBytes;
    testsupport::GuardedBytes pixels;
    CGContextRef context = nullptr;
};

} // namespace drawingtest
