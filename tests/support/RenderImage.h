#pragma once

// An image drawn over a whole bitmap target, of the image's size unless one is given, read back
// as A, R, G, B bytes. The target holds A, R, G, B or, as some hosts have it, R, G, B, A bytes
// (premultiplied either way).
#include "platform/coreimage/CoreImage.h"

#include <algorithm>
#include <vector>

namespace testsupport {

inline std::vector<uint8_t> RenderARGB(const platform::coreimage::CIImage& image, size_t width = 0,
                                       size_t height = 0, bool rgbaTarget = false) {
    using namespace platform::coregraphics;
    if (!width)
        width = size_t(image.extent().size.width), height = size_t(image.extent().size.height);
    std::vector<uint8_t> pixels(width * height * 4, 0);
    CGColorSpaceRef space = CGColorSpaceCreateDeviceRGB();
    CGContextRef context = CGBitmapContextCreate(pixels.data(), width, height, 8, width * 4, space,
                                                 rgbaTarget ? kCGImageAlphaPremultipliedLast
                                                            : kCGImageAlphaPremultipliedFirst);
    CGColorSpaceRelease(space);
    platform::coreimage::CIContext::contextWithCGContext(context)->drawImage_inRect_fromRect(
        image, CGRectMake(0, 0, CGFloat(width), CGFloat(height)), image.extent());
    CGContextRelease(context);
    for (size_t i = 0; rgbaTarget && i < pixels.size(); i += 4)
        std::rotate(&pixels[i], &pixels[i + 3], &pixels[i + 4]);
    return pixels;
}

} // namespace testsupport
