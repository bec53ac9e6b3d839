// Pixels are compared as bytes in memory, so every case also pins the layouts' byte orders.
#include "tests/platform/coregraphics/DrawingFixtures.h"

#include <gtest/gtest.h>
#include <tuple>

using namespace drawingtest;

namespace {

constexpr CGBitmapInfo kARGB = kCGImageAlphaPremultipliedFirst;

// Every pixel of the target is `in` where inside(x, row) holds (rows counted from the top in
// memory), else `out`.
template <typename Inside>
void ExpectRegion(const Bitmap& target, Inside inside, const Bytes& in, const Bytes& out) {
    for (size_t row = 0; row < target.pixels.size() / target.rowBytes; ++row)
        for (size_t x = 0; x < target.rowBytes / 4; ++x)
            EXPECT_EQ(target.Pixel(x, row), inside(x, row) ? in : out) << x << "," << row;
}

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
        ASSERT_NE(image.image, nullptr);
        Bitmap target(1, 1, kARGB);
        ASSERT_NE(target.context, nullptr);
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
    ASSERT_NE(grayTarget.context, nullptr);
    CGContextDrawImage(colour.context, CGRectMake(0, 0, 3, 2), gray.image);
    CGContextDrawImage(grayTarget.context, CGRectMake(0, 0, 3, 2), gray.image);
    EXPECT_EQ(colour.Pixel(2, 1), (Bytes{0xFF, 6, 6, 6}));
    EXPECT_EQ(grayTarget.All(), levels);
    Image level(1, 1, kARGB, {0xFF, 0x77, 0x77, 0x77});
    Bitmap fromColour(1, 1, kCGImageAlphaNone, 0, true);
    CGContextDrawImage(fromColour.context, CGRectMake(0, 0, 1, 1), level.image);
    EXPECT_EQ(fromColour.All(), Bytes{0x77});
}

TEST(CoreGraphicsDrawing, UnsupportedLayoutsAreRefused) {
    uint8_t memory[64] = {};
    CGColorSpaceRef rgb = CGColorSpaceCreateDeviceRGB();
    CGColorSpaceRef gray = CGColorSpaceCreateDeviceGray();
    EXPECT_EQ(CGBitmapContextCreate(memory, 2, 2, 16, 16, rgb, kARGB), nullptr);
    EXPECT_EQ(CGBitmapContextCreate(memory, 2, 2, 8, 7, rgb, kARGB), nullptr); // rows too short
    EXPECT_EQ(CGBitmapContextCreate(memory, 2, 2, 8, 8, rgb, kCGImageAlphaFirst), nullptr);
    EXPECT_EQ(CGBitmapContextCreate(memory, 2, 2, 8, 8, rgb, kCGImageAlphaNone), nullptr);
    EXPECT_EQ(CGBitmapContextCreate(memory, 2, 2, 8, 2, gray, kARGB), nullptr);
    EXPECT_EQ(CGBitmapContextCreate(memory, 0, 2, 8, 8, rgb, kARGB), nullptr);
    // A provider shorter than the image's rows.
    CGDataProviderRef shortProvider = CGDataProviderCreateWithData(nullptr, memory, 15, nullptr);
    EXPECT_EQ(CGImageCreate(2, 2, 8, 32, 8, rgb, kARGB, shortProvider, nullptr, true, 0), nullptr);
    CGDataProviderRelease(shortProvider);
    CGColorSpaceRelease(gray);
    CGColorSpaceRelease(rgb);
}

TEST(CoreGraphicsDrawing, ScaledDrawsFillOnlyTheirRectangleMeasuredFromTheBottomLeft) {
    const Bytes flat{0xFF, 0x12, 0x34, 0x56}, untouched{0xAA, 0xAA, 0xAA, 0xAA};
    Image image(2, 1, kARGB, {0xFF, 0x12, 0x34, 0x56, 0xFF, 0x12, 0x34, 0x56});
    Bitmap target(6, 4, kARGB, 0xAA);
    // Four pixels wide, two high, on the bottom edge: memory rows 2 and 3, columns 1 to 4.
    CGContextDrawImage(target.context, CGRectMake(1, 0, 4, 2), image.image);
    ExpectRegion(
        target, [](size_t x, size_t row) { return row >= 2 && x >= 1 && x <= 4; }, flat, untouched);
}

TEST(CoreGraphicsDrawing, TheContextsInterpolationQualityOverridesTheImages) {
    // Black then white, stretched to eight pixels: a filter blends the middle, picking does not.
    const Bytes two{0xFF, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF};
    // The context's quality, whether the image interpolates, whether the draw blends.
    const std::tuple<CGInterpolationQuality, bool, bool> cases[] = {
        {kCGInterpolationDefault, true, true}, {kCGInterpolationDefault, false, false},
        {kCGInterpolationNone, true, false},   {kCGInterpolationLow, false, true},
        {kCGInterpolationHigh, false, true},
    };
    for (const auto& [quality, imageInterpolates, blends] : cases) {
        Image image(2, 1, kARGB, two, 0, imageInterpolates);
        Bitmap target(8, 1, kARGB);
        CGContextSetInterpolationQuality(target.context, quality);
        CGContextDrawImage(target.context, CGRectMake(0, 0, 8, 1), image.image);
        const uint8_t middle = target.Pixel(3, 0)[1];
        EXPECT_EQ(middle != 0 && middle != 0xFF, blends) << quality << " " << int(middle);
    }
}

TEST(CoreGraphicsDrawing, DrawingCompositesPremultipliedAlphaOver) {
    Image half(1, 1, kARGB, {0x80, 0x80, 0x00, 0x00});         // half-transparent red
    Bitmap target(1, 1, kARGB, Bytes{0xFF, 0x00, 0x00, 0xFF}); // opaque blue
    CGContextDrawImage(target.context, CGRectMake(0, 0, 1, 1), half.image);
    EXPECT_EQ(target.All(), (Bytes{0xFF, 0x80, 0x00, 0x7F}));
}

TEST(CoreGraphicsDrawing, ClearRectZeroesOnlyItsPixels) {
    Bitmap target(4, 3, kARGB, 0xEE);
    // Two by two at the bottom-left, and a rectangle reaching outside at the top-right.
    CGContextClearRect(target.context, CGRectMake(0, 0, 2, 2));
    CGContextClearRect(target.context, CGRectMake(3, 2, 5, 5));
    ExpectRegion(
        target, [](size_t x, size_t row) { return (row >= 1 && x <= 1) || (row == 0 && x == 3); },
        Bytes(4, 0), Bytes(4, 0xEE));
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
