// Images in byte-swapped layouts are copied into pixman's native order before they are drawn;
// what lands must be byte for byte what pixman's own fetch of those layouts gives.
#include "platform/coregraphics/CoreGraphicsDrawRoute.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

using namespace platform::coregraphics;

namespace {

// Premultiplied or opaque pixels in any byte order: alpha is the largest byte or ignored.
std::vector<uint8_t> RandomPixels(size_t bytes, std::mt19937& random) {
    std::vector<uint8_t> pixels(bytes);
    for (uint8_t& b : pixels)
        b = uint8_t(random());
    return pixels;
}

std::vector<uint8_t> Draw(CGBitmapInfo target, CGImageRef image, CGRect rect, DrawRoute route,
                          const std::vector<uint8_t>& start) {
    std::vector<uint8_t> bytes = start;
    CGColorSpaceRef space = CGColorSpaceCreateDeviceRGB();
    CGContextRef context = CGBitmapContextCreate(bytes.data(), 37, 23, 8, 37 * 4, space, target);
    CGColorSpaceRelease(space);
    EXPECT_NE(context, nullptr);
    CGContextDrawImageThrough(context, rect, image, route);
    CGContextRelease(context);
    return bytes;
}

TEST(CoreGraphicsSourceOrder, ByteSwappedImagesDrawAsPixmanFetchesThem) {
    std::mt19937 random(7);
    const CGBitmapInfo sources[] = {
        kCGImageAlphaNoneSkipFirst,                                 // X, R, G, B
        kCGImageAlphaNoneSkipLast,                                  // R, G, B, X
        kCGImageAlphaPremultipliedLast,                             // R, G, B, A
        kCGImageAlphaNoneSkipLast | kCGBitmapByteOrder32Little,     // X, B, G, R
        kCGImageAlphaPremultipliedLast | kCGBitmapByteOrder32Little // A, B, G, R
    };
    const CGBitmapInfo targets[] = {kCGImageAlphaPremultipliedLast, kCGImageAlphaNoneSkipLast,
                                    kCGImageAlphaPremultipliedFirst | kCGBitmapByteOrder32Little};
    const CGRect rects[] = {CGRectMake(0, 0, 37, 23), CGRectMake(3, 2, 19, 11),
                            CGRectMake(-5, 4, 50, 30)};
    // Premultiplied A, R, G, B bytes: each colour byte at most the alpha before it.
    std::vector<uint8_t> argb = RandomPixels(11 * 7 * 4, random);
    for (size_t i = 0; i < argb.size(); i += 4)
        for (int c = 1; c < 4; ++c)
            argb[i + c] = uint8_t(argb[i + c] % (argb[i] + 1));
    for (CGBitmapInfo info : sources) {
        // The same premultiplied colours, in the source's byte order.
        std::vector<uint8_t> pixels(argb.size());
        const bool little = (info & kCGBitmapByteOrderMask) == kCGBitmapByteOrder32Little;
        const bool last = (info & kCGBitmapAlphaInfoMask) == kCGImageAlphaPremultipliedLast ||
                          (info & kCGBitmapAlphaInfoMask) == kCGImageAlphaNoneSkipLast;
        for (size_t i = 0; i < argb.size(); i += 4)
            for (int c = 0; c < 4; ++c) {
                const int big = last ? (c + 1) % 4 : c; // byte c of the big-endian pixel
                pixels[i + (little ? 3 - c : c)] = argb[i + big];
            }
        // Rows padded by 8 bytes, as screen and channel rows may be.
        std::vector<uint8_t> padded;
        for (int y = 0; y < 7; ++y) {
            padded.insert(padded.end(), pixels.begin() + y * 44, pixels.begin() + y * 44 + 44);
            padded.insert(padded.end(), 8, 0xEE);
        }
        CGDataProviderRef provider =
            CGDataProviderCreateWithData(nullptr, padded.data(), padded.size(), nullptr);
        CGColorSpaceRef space = CGColorSpaceCreateDeviceRGB();
        CGImageRef image = CGImageCreate(11, 7, 8, 32, 52, space, info, provider, nullptr,
                                         info != sources[1], kCGRenderingIntentDefault);
        CGColorSpaceRelease(space);
        CGDataProviderRelease(provider);
        ASSERT_NE(image, nullptr) << info;
        const std::vector<uint8_t> start = RandomPixels(37 * 23 * 4, random);
        for (CGBitmapInfo target : targets)
            for (const CGRect& rect : rects)
                EXPECT_EQ(Draw(target, image, rect, DrawRoute::NativeOrder, start),
                          Draw(target, image, rect, DrawRoute::Direct, start))
                    << "source " << info << " target " << target << " x " << rect.origin.x;
        CGImageRelease(image);
    }
}

} // namespace
