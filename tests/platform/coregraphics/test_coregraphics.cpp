// Pixels are compared as bytes in memory, so every case also pins the layouts' byte orders.
#include "tests/platform/coregraphics/DrawingFixtures.h"

#include <gtest/gtest.h>
#include <tuple>

using namespace drawingtest;

namespace {

constexpr CGBitmapInfo kARGB = kCGImageAlphaPremultipliedFirst;

TEST(CoreGraphicsDrawing, LayoutsKeepTheirDocumentedByteOrders) {
    // One opaque pixel, red 0x10, green 0x20, blue 0x30, in each layout an image may have.
    const Bytes argb{0xFF, 0x10, 0x20, 0x30};
    // A layout, the pixel's bytes in it, and its skipped byte (index, or none when 4), which is
    // read as opaque and written as anything.
    const std::tuple<CGBitmapInfo, Bytes, size_t> cases[] = {
        {kCGImageAlphaPremultipliedFirst, {0xFF, 0x10, 0x20, 0x30}, 4},
        {kCGImageAlphaNoneSkipFirst, {0x00, 0x10, 0x20, 0x30}, 0},
        {kCGImageAlphaNoneSkipLast, {0x10, 0x20, 0x30, 0x00}, 3},
        {kCGImageAlphaPremultipliedLast, {0x10, 0x20, 0x30, 0xFF}, 4},
        {kCGImageAlphaPremultipliedFirst | kCGBitmapByteOrder32Little, {0x30, 0x20, 0x10, 0xFF}, 4},
        {kCGImageAlphaNoneSkipFirst | kCGBitmapByteOrder32Little, {0x30, 0x20, 0x10, 0x00}, 3},
    };
    for (const auto& [info, bytes, skip] : cases) {
        SCOPED_TRACE(info);
        Image image(1, 1, info, bytes);
        Bitmap target(1, 1, kARGB);
        CGContextDrawImage(target.context, CGRectMake(0, 0, 1, 1), image.image);
        EXPECT_EQ(target.All(), argb);
        // And back out into the same layout.
        Bitmap same(1, 1, info);
        CGContextDrawImage(same.context, CGRectMake(0, 0, 1, 1), image.image);
        Bytes written = same.Pixel(0, 0);
        if (skip < 4) written[skip] = bytes[skip];
        EXPECT_EQ(written, bytes);
    }
    // Gray reads as an opaque gray and is written back as its level; its rows of three bytes are
    // not whole 32-bit words.
    const Bytes levels{1, 2, 3, 4, 5, 6};
    Image gray(3, 2, kCGImageAlphaNone, levels, 0, true, true);
    Bitmap colour(3, 2, kARGB), grayTarget(3, 2, kCGImageAlphaNone, 0, true);
    CGContextDrawImage(colour.context, CGRectMake(0, 0, 3, 2), gray.image);
    CGContextDrawImage(grayTarget.context, CGRectMake(0, 0, 3, 2), gray.image);
    EXPECT_EQ(colour.Pixel(2, 1), (Bytes{0xFF, 6, 6, 6}));
    EXPECT_EQ(grayTarget.All(), levels);
    Image level(1, 1, kARGB, {0xFF, 0x77, 0x77, 0x77});
    Bitmap fromColour(1, 1, kCGImageAlphaNone, 0, true);
    CGContextDrawImage(fromColour.context, CGRectMake(0, 0, 1, 1), level.image);
    EXPECT_EQ(fromColour.All(), Bytes{0x77});
}

TEST(CoreGraphicsDrawing, EmptyOrShortMemoryIsRefused) {
    uint8_t memory[64] = {};
    CGColorSpaceRef rgb = CGColorSpaceCreateDeviceRGB();
    EXPECT_EQ(CGBitmapContextCreate(memory, 2, 2, 8, 7, rgb, kARGB), nullptr); // rows too short
    EXPECT_EQ(CGBitmapContextCreate(memory, 0, 2, 8, 8, rgb, kARGB), nullptr);
    // A provider shorter than the image's rows.
    CGDataProviderRef shortProvider = CGDataProviderCreateWithData(nullptr, memory, 15, nullptr);
    EXPECT_EQ(CGImageCreate(2, 2, 8, 32, 8, rgb, kARGB, shortProvider, nullptr, true, 0), nullptr);
    CGDataProviderRelease(shortProvider);
    CGColorSpaceRelease(rgb);
}

TEST(CoreGraphicsDrawing, DrawingCompositesPremultipliedAlphaOver) {
    Image half(1, 1, kARGB, {0x80, 0x80, 0x00, 0x00});         // half-transparent red
    Bitmap target(1, 1, kARGB, Bytes{0xFF, 0x00, 0x00, 0xFF}); // opaque blue
    CGContextDrawImage(target.context, CGRectMake(0, 0, 1, 1), half.image);
    EXPECT_EQ(target.All(), (Bytes{0xFF, 0x80, 0x00, 0x7F}));
}

// Two by two at the bottom left, and a rectangle reaching outside at the top right.
TEST(CoreGraphicsDrawing, ClearRectZeroesOnlyItsPixels) {
    Bitmap target(4, 3, kARGB, 0xEE);
    CGContextClearRect(target.context, CGRectMake(0, 0, 2, 2));
    CGContextClearRect(target.context, CGRectMake(3, 2, 5, 5));
    const char cleared[] = "...#"
                           "##.."
                           "##..";
    for (size_t i = 0; i < 12; ++i)
        EXPECT_EQ(target.Pixel(i % 4, i / 4), Bytes(4, cleared[i] == '#' ? 0 : 0xEE)) << i;
}

// A provider outlives its last user. (Context snapshots are made by nothing of ours.)
TEST(CoreGraphicsDrawing, ProvidersOutliveTheirLastUser) {
    Bitmap target(1, 1, kARGB, Bytes{0xFF, 1, 0x99, 3});
    static int sReleases = 0;
    uint8_t memory[4] = {0xFF, 0, 0, 0};
    CGDataProviderRef provider = CGDataProviderCreateWithData(
        memory, memory, sizeof memory, [](void* info, const void* data, size_t size) {
            EXPECT_EQ(info, data);
            EXPECT_EQ(size, 4u);
            ++sReleases;
        });
    CGColorSpaceRef rgb = CGColorSpaceCreateDeviceRGB();
    CGImageRef held = CGImageCreate(1, 1, 8, 32, 4, rgb, kARGB, provider, nullptr, true, 0);
    CGColorSpaceRelease(rgb);
    ASSERT_NE(held, nullptr);
    CGDataProviderRelease(provider);
    EXPECT_EQ(CGImageRetain(held), held);
    CGImageRelease(held);
    EXPECT_EQ(sReleases, 0);
    CGContextDrawImage(target.context, CGRectMake(0, 0, 1, 1), held); // still readable
    EXPECT_EQ(target.All(), (Bytes{0xFF, 0, 0, 0}));
    CGImageRelease(held);
    EXPECT_EQ(sReleases, 1);
}

} // namespace
