// The native-order routes of draws (our bilinear rows, native copies of byte-swapped images,
// composites in native order then swizzled; every swizzled layout is a source and a target) and
// the usual entry against pixman compositing straight into the layout: the bytes must be the same,
// padding and pixels outside the drawn rectangle included. Buffers end against an inaccessible
// page, so a read or write past the end stops the test.
#include "platform/coregraphics/CoreGraphicsDrawRoute.h"
#include "tests/platform/coregraphics/DrawingFixtures.h"

#include <gtest/gtest.h>
#include <random>

using namespace drawingtest;

namespace {

// Premultiplied: colour never above alpha, which is the first or the last byte in memory.
enum class Fill { Any, Premul, PremulLast };

void Randomise(uint8_t* bytes, size_t size, Fill fill, std::mt19937& random) {
    for (size_t i = 0; i < size; ++i)
        bytes[i] = uint8_t(random());
    if (fill == Fill::Any) return;
    const int alpha = fill == Fill::Premul ? 0 : 3;
    for (size_t i = 0; i + 3 < size; i += 4)
        for (int c = 0; c < 4; ++c)
            if (c != alpha) bytes[i + c] = uint8_t(bytes[i + c] % (bytes[i + alpha] + 1));
}

constexpr CGBitmapInfo kScreen = kCGImageAlphaNoneSkipFirst | kCGBitmapByteOrder32Little;
constexpr CGBitmapInfo kNativeARGB = kCGImageAlphaPremultipliedFirst | kCGBitmapByteOrder32Little;
constexpr CGBitmapInfo kBytesARGB = kCGImageAlphaPremultipliedFirst;
constexpr CGBitmapInfo kXRGB = kCGImageAlphaNoneSkipFirst;
constexpr CGBitmapInfo kRGBX = kCGImageAlphaNoneSkipLast;
constexpr CGBitmapInfo kRGBA = kCGImageAlphaPremultipliedLast;
constexpr CGBitmapInfo kXBGR = kCGImageAlphaNoneSkipLast | kCGBitmapByteOrder32Little;
constexpr CGBitmapInfo kABGR = kCGImageAlphaPremultipliedLast | kCGBitmapByteOrder32Little;

// The layouts pixman writes slowly, and the native one, each drawn into by every case.
constexpr CGBitmapInfo kTargets[] = {kNativeARGB, kBytesARGB, kXRGB, kABGR, kXBGR, kRGBA, kRGBX};

struct Case {
    const char* name;
    size_t srcWidth, srcHeight, srcPad;
    CGBitmapInfo srcInfo;
    Fill fill;
    size_t dstWidth, dstHeight, dstPad;
    CGRect rect; // user space of the destination
    bool interpolate = true;
};

const Case kCases[] = {
    {"screen to frame", 1280, 720, 0, kScreen, Fill::Any, 640, 480, 0, {{0, 0}, {640, 480}}},
    {"small grab up to frame", 37, 23, 8, kScreen, Fill::Any, 640, 480, 0, {{0, 0}, {640, 480}}},
    {"down in x, up in y", 300, 50, 0, kScreen, Fill::Any, 64, 200, 0, {{0, 0}, {64, 200}}},
    {"odd widths", 333, 17, 4, kScreen, Fill::Any, 101, 77, 3, {{0, 0}, {101, 77}}},
    {"one pixel to frame", 1, 1, 0, kScreen, Fill::Any, 640, 480, 0, {{0, 0}, {640, 480}}},
    {"two pixels wide", 2, 3, 0, kScreen, Fill::Any, 50, 41, 0, {{0, 0}, {50, 41}}},
    {"one row", 29, 1, 0, kScreen, Fill::Any, 33, 5, 0, {{0, 0}, {33, 5}}},
    {"one pixel to one", 1, 1, 0, kNativeARGB, Fill::Premul, 1, 1, 0, {{0, 0}, {1, 1}}},
    {"one column", 1, 50, 0, kNativeARGB, Fill::Any, 7, 9, 12, {{0, 0}, {7, 9}}},
    {"raw bytes down", 250, 170, 0, kNativeARGB, Fill::Any, 61, 43, 0, {{0, 0}, {61, 43}}},
    {"A,R,G,B image", 64, 48, 0, kBytesARGB, Fill::Premul, 100, 75, 0, {{0, 0}, {100, 75}}},
    {"partly outside", 90, 60, 0, kScreen, Fill::Any, 80, 60, 0, {{-15, 20}, {70, 55}}},
    {"fraction", 77, 41, 0, kNativeARGB, Fill::Premul, 120, 80, 20, {{10.5, 3.25}, {100.75, 50.5}}},
    {"flipped rectangle", 40, 30, 0, kScreen, Fill::Any, 50, 50, 0, {{45, 40}, {-40, -33}}},
    {"unscaled, whole pixels", 40, 30, 4, kScreen, Fill::Any, 50, 40, 8, {{5, 3}, {40, 30}}},
    {"unscaled, cut by the edges", 40, 30, 0, kScreen, Fill::Any, 30, 20, 0, {{-5, -4}, {40, 30}}},
    {"nearest", 123, 45, 0, kNativeARGB, Fill::Premul, 64, 64, 0, {{0, 0}, {64, 64}}, false},
    // Images in byte-swapped layouts, which the native routes copy into native order first.
    {"X,R,G,B image", 11, 7, 8, kXRGB, Fill::Any, 37, 23, 0, {{3, 2}, {19, 11}}},
    {"R,G,B,X image, nearest", 11, 7, 8, kRGBX, Fill::Any, 37, 23, 0, {{-5, 4}, {50, 30}}, false},
    {"R,G,B,A image", 11, 7, 8, kRGBA, Fill::PremulLast, 37, 23, 0, {{0, 0}, {37, 23}}},
    {"X,B,G,R image", 11, 7, 8, kXBGR, Fill::Any, 37, 23, 0, {{3, 2}, {19, 11}}},
    {"A,B,G,R image", 11, 7, 8, kABGR, Fill::Premul, 37, 23, 0, {{-5, 4}, {50, 30}}},
};

// Random source bytes for the case, and an image over them.
Image SourceOf(const Case& c, std::mt19937& random) {
    // Rows of rowBytes, the last one without its padding.
    Bytes bytes((c.srcWidth * 4 + c.srcPad) * (c.srcHeight - 1) + c.srcWidth * 4);
    Randomise(bytes.data(), bytes.size(), c.fill, random);
    return Image(c.srcWidth, c.srcHeight, c.srcInfo, bytes, c.srcPad, c.interpolate);
}

// Draws the case through every route into every swizzled layout, over the same random bytes.
void ExpectRoutesAgree(const Case& c, std::mt19937& random) {
    const Image source = SourceOf(c, random);
    ASSERT_NE(source.image, nullptr) << c.name;
    Bytes initial((c.dstWidth * 4 + c.dstPad) * c.dstHeight);
    Randomise(initial.data(), initial.size(), Fill::Any, random);
    for (CGBitmapInfo info : kTargets) {
        SCOPED_TRACE(testing::Message() << c.name << ", destination info 0x" << std::hex << info);
        Bitmap direct(c.dstWidth, c.dstHeight, info, initial, c.dstPad);
        ASSERT_NE(direct.context, nullptr);
        CGContextDrawImageThrough(direct.context, c.rect, source.image, DrawRoute::Direct);
        EXPECT_NE(direct.All(), initial) << "nothing was drawn";
        // The usual entry (-1) takes a native-order route, or the direct one under the reference
        // switch.
        for (int route : {int(DrawRoute::NativeOrderComposite), int(DrawRoute::NativeOrder), -1}) {
            Bitmap fast(c.dstWidth, c.dstHeight, info, initial, c.dstPad);
            if (route < 0)
                CGContextDrawImage(fast.context, c.rect, source.image);
            else
                CGContextDrawImageThrough(fast.context, c.rect, source.image, DrawRoute(route));
            EXPECT_TRUE(fast.pixels == direct.pixels) << "route " << route;
        }
    }
}

TEST(CoreGraphicsStretch, NativeOrderRoutesGiveTheDirectCompositesBytes) {
    std::mt19937 random(7);
    for (const Case& c : kCases)
        ExpectRoutesAgree(c, random);
    // A kept context's row sums belong to one draw: the same memory drawn again once it has
    // changed (a display image's reused segment) gives the new pixels.
    const Case& up = kCases[6]; // one row, so the first row's sums are those kept
    Image source = SourceOf(up, random);
    Bitmap kept(up.dstWidth, up.dstHeight, kBytesARGB),
        direct(up.dstWidth, up.dstHeight, kBytesARGB);
    CGContextDrawImage(kept.context, up.rect, source.image);
    Randomise(source.pixels.data(), source.pixels.size(), Fill::Any, random);
    CGContextDrawImage(kept.context, up.rect, source.image);
    CGContextDrawImageThrough(direct.context, up.rect, source.image, DrawRoute::Direct);
    EXPECT_TRUE(kept.pixels == direct.pixels);
}

// Draws whose result is known, of gray screen images (one value a pixel), into the native and the
// camera frame's layout: bilinear when enlarging or shrinking by up to half, blocks averaged first
// when shrinking further, nearest only where the image asks for it and the context leaves it the
// choice, or where the context asks; only the rectangle's pixels, counted from the bottom left; a
// scale beyond 16.16 fixed point draws nothing rather than pixels from an undefined mapping.
TEST(CoreGraphicsStretch, KnownStretchesGiveTheirValues) {
    struct Case {
        const char* name;
        size_t srcWidth, srcHeight;
        Bytes src;
        size_t width, height;
        Bytes expected; // top row first; the target starts white
        bool smooth = true;
        CGRect rect = {}; // empty: the whole target
        CGInterpolationQuality quality = kCGInterpolationDefault;
    };
    const Bytes two{0, 200}, blended{0, 50, 150, 200}, picked{0, 0, 200, 200};
    // Nearest, into the bottom two rows and columns 1 to 4 of six.
    const Bytes placed{255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255,
                       255, 10,  10,  20,  20,  255, 255, 30,  30,  40,  40,  255};
    const Case cases[] = {
        {"doubled, blended", 2, 1, two, 4, 1, blended},
        {"doubled, nearest when asked", 2, 1, two, 4, 1, picked, false},
        {"doubled, context None: nearest", 2, 1, two, 4, 1, picked, true, {}, kCGInterpolationNone},
        {"doubled, context Low: blend", 2, 1, two, 4, 1, blended, false, {}, kCGInterpolationLow},
        {"halved: pairs averaged", 4, 1, {10, 50, 200, 100}, 2, 1, {30, 150}},
        {"quartered: fours averaged", 8, 1, {200, 0, 0, 0, 0, 0, 0, 40}, 2, 1, {50, 10}},
        {"a third: no pixel skipped", 6, 1, {128, 0, 0, 0, 0, 0}, 2, 1, {48, 0}},
        {"checkerboard to one pixel", 4, 2, {0, 255, 0, 255, 255, 0, 255, 0}, 1, 1, {128}},
        {"an eighth, nearest: one pixel", 8, 1, {0, 0, 0, 0, 90, 90, 90, 90}, 1, 1, {0}, false},
        {"to the bottom left", 2, 2, {10, 20, 30, 40}, 6, 4, placed, false, {{1, 0}, {4, 2}}},
        {"too thin to map", 2, 2, {1, 2, 3, 4}, 4, 4, Bytes(16, 255), true, {{0, 0}, {1e-6, 4}}},
    };
    for (const auto& c : cases) {
        Bytes bytes;
        for (uint8_t v : c.src)
            bytes.insert(bytes.end(), {v, v, v, uint8_t(v ^ 0x5A)}); // the padding byte is ignored
        const Image source(c.srcWidth, c.srcHeight, kScreen, bytes, 0, c.smooth);
        for (CGBitmapInfo info : {kNativeARGB, kBytesARGB}) {
            SCOPED_TRACE(testing::Message()
                         << c.name << ", destination info 0x" << std::hex << info);
            Bitmap target(c.width, c.height, info, 0xFF);
            CGContextSetInterpolationQuality(target.context, c.quality);
            CGContextDrawImage(target.context,
                               c.rect.size.width == 0
                                   ? CGRectMake(0, 0, CGFloat(c.width), CGFloat(c.height))
                                   : c.rect,
                               source.image);
            for (size_t i = 0; i < c.expected.size(); ++i) {
                const uint8_t v = c.expected[i];
                const Bytes pixel =
                    info == kNativeARGB ? Bytes{v, v, v, 0xFF} : Bytes{0xFF, v, v, v};
                EXPECT_EQ(target.Pixel(i % c.width, i / c.width), pixel) << "pixel " << i;
            }
        }
    }
}

} // namespace
