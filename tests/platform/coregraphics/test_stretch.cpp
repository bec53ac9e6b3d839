// The native-order route of scaled draws against pixman compositing straight into the layout:
// the bytes must be the same, padding and pixels outside the drawn rectangle included. Buffers
// end against an inaccessible page, so a read or write past the end stops the test.
#include "platform/coregraphics/CoreGraphics.h"
#include "platform/coregraphics/CoreGraphicsDrawRoute.h"
#include "platform/coregraphics/CoreGraphicsNativeOrder.h"
#include "tests/support/GuardedBytes.h"

#include <cstring>
#include <gtest/gtest.h>
#include <random>

using namespace platform::coregraphics;
using Guarded = testsupport::GuardedBytes;

namespace {

enum class Fill { Any, Premul }; // premultiplied: colour never above alpha

void Randomise(uint8_t* bytes, size_t size, Fill fill, std::mt19937& random) {
    for (size_t i = 0; i < size; ++i)
        bytes[i] = uint8_t(random());
    if (fill == Fill::Premul) // alpha first in memory
        for (size_t i = 0; i + 3 < size; i += 4)
            for (int c = 1; c < 4; ++c)
                bytes[i + c] = uint8_t(bytes[i + c] % (bytes[i] + 1));
}

constexpr CGBitmapInfo kScreen = kCGImageAlphaNoneSkipFirst | kCGBitmapByteOrder32Little;
constexpr CGBitmapInfo kNativeARGB = kCGImageAlphaPremultipliedFirst | kCGBitmapByteOrder32Little;
constexpr CGBitmapInfo kBytesARGB = kCGImageAlphaPremultipliedFirst;

// The layouts pixman writes slowly, each drawn into by every case.
constexpr CGBitmapInfo kSwizzled[] = {kCGImageAlphaPremultipliedFirst,
                                      kCGImageAlphaNoneSkipFirst,
                                      kCGImageAlphaPremultipliedLast | kCGBitmapByteOrder32Little,
                                      kCGImageAlphaNoneSkipLast | kCGBitmapByteOrder32Little,
                                      kCGImageAlphaPremultipliedLast,
                                      kCGImageAlphaNoneSkipLast};

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
    {"translucent up", 19, 13, 0, kNativeARGB, Fill::Premul, 150, 90, 0, {{0, 0}, {150, 90}}},
    {"raw bytes down", 250, 170, 0, kNativeARGB, Fill::Any, 61, 43, 0, {{0, 0}, {61, 43}}},
    {"A,R,G,B image", 64, 48, 0, kBytesARGB, Fill::Premul, 100, 75, 0, {{0, 0}, {100, 75}}},
    {"partly outside", 90, 60, 0, kScreen, Fill::Any, 80, 60, 0, {{-15, 20}, {70, 55}}},
    {"fraction", 77, 41, 0, kNativeARGB, Fill::Premul, 120, 80, 20, {{10.5, 3.25}, {100.75, 50.5}}},
    {"flipped rectangle", 40, 30, 0, kScreen, Fill::Any, 50, 50, 0, {{45, 40}, {-40, -33}}},
    {"nearest", 123, 45, 0, kNativeARGB, Fill::Premul, 64, 64, 0, {{0, 0}, {64, 64}}, false},
};

// An image over guarded source bytes, random for the case.
struct Source {
    Source(const Case& c, std::mt19937& random)
        : rowBytes(c.srcWidth * 4 + c.srcPad),
          bytes(rowBytes * (c.srcHeight - 1) + c.srcWidth * 4) {
        Randomise(bytes.data(), bytes.size(), c.fill, random);
        CGColorSpaceRef space = CGColorSpaceCreateDeviceRGB();
        CGDataProviderRef provider =
            CGDataProviderCreateWithData(nullptr, bytes.data(), bytes.size(), nullptr);
        image = CGImageCreate(c.srcWidth, c.srcHeight, 8, 32, rowBytes, space, c.srcInfo, provider,
                              nullptr, c.interpolate, kCGRenderingIntentDefault);
        CGDataProviderRelease(provider);
        CGColorSpaceRelease(space);
    }
    ~Source() { CGImageRelease(image); }
    size_t rowBytes;
    Guarded bytes; // the last row holds only its pixels
    CGImageRef image = nullptr;
};

// A destination of the case's size in a layout, drawn through one route.
struct Target {
    Target(const Case& c, CGBitmapInfo info, const std::vector<uint8_t>& initial)
        : bytes(initial.size()) {
        std::memcpy(bytes.data(), initial.data(), initial.size());
        CGColorSpaceRef space = CGColorSpaceCreateDeviceRGB();
        context = CGBitmapContextCreate(bytes.data(), c.dstWidth, c.dstHeight, 8,
                                        c.dstWidth * 4 + c.dstPad, space, info);
        CGColorSpaceRelease(space);
    }
    ~Target() { CGContextRelease(context); }
    Guarded bytes;
    CGContextRef context = nullptr;
};

// Draws the case through every route into every swizzled layout, over the same random bytes.
void ExpectRoutesAgree(const Case& c, std::mt19937& random) {
    Source source(c, random);
    ASSERT_NE(source.image, nullptr) << c.name;
    std::vector<uint8_t> initial((c.dstWidth * 4 + c.dstPad) * c.dstHeight);
    Randomise(initial.data(), initial.size(), Fill::Any, random);
    for (CGBitmapInfo info : kSwizzled) {
        SCOPED_TRACE(testing::Message() << c.name << ", destination info 0x" << std::hex << info);
        Target direct(c, info, initial);
        ASSERT_NE(direct.context, nullptr);
        CGContextDrawImageThrough(direct.context, c.rect, source.image, DrawRoute::Direct);
        EXPECT_NE(std::memcmp(direct.bytes.data(), initial.data(), initial.size()), 0)
            << "nothing was drawn";
        for (DrawRoute route : {DrawRoute::NativeOrderComposite, DrawRoute::NativeOrder}) {
            Target fast(c, info, initial);
            CGContextDrawImageThrough(fast.context, c.rect, source.image, route);
            EXPECT_TRUE(fast.bytes == direct.bytes) << "route " << int(route);
        }
    }
}

TEST(CoreGraphicsStretch, NativeOrderRoutesGiveTheDirectCompositesBytes) {
    std::mt19937 random(7);
    for (const Case& c : kCases)
        ExpectRoutesAgree(c, random);
}

// Screen images of random sizes into random rectangles: scales and weights of every kind.
TEST(CoreGraphicsStretch, RandomScreenStretchesGiveTheDirectCompositesBytes) {
    std::mt19937 random(5);
    auto size = [&](int most) { return size_t(1 + random() % unsigned(most)); };
    auto coordinate = [&](double most) { return most * double(random() % 1000) / 1000.0; };
    for (int i = 0; i < 40; ++i) {
        Case c{"random",  size(300), size(200), size(3) - 1,       kScreen,
               Fill::Any, size(200), size(150), 4 * (size(2) - 1), {}};
        // Always over the bottom-left pixel, often beyond the far edges.
        c.rect = CGRectMake(coordinate(5.5) - 5, coordinate(5.5) - 5,
                            6 + coordinate(2.5 * double(c.dstWidth)),
                            6 + coordinate(2.5 * double(c.dstHeight)));
        ExpectRoutesAgree(c, random);
    }
}

// The usual entry takes the native-order route (or the direct one under the reference switch):
// same bytes as the direct route for the broadcast's own layouts.
TEST(CoreGraphicsStretch, DrawImageMatchesTheDirectRoute) {
    std::mt19937 random(11);
    const Case& c = kCases[0];
    Source source(c, random);
    const std::vector<uint8_t> initial((c.dstWidth * 4) * c.dstHeight, 0x5A);
    Target direct(c, kBytesARGB, initial), usual(c, kBytesARGB, initial);
    CGContextDrawImageThrough(direct.context, c.rect, source.image, DrawRoute::Direct);
    CGContextDrawImage(usual.context, c.rect, source.image);
    EXPECT_TRUE(usual.bytes == direct.bytes);
    EXPECT_EQ(usual.bytes.data()[0], 0xFF) << "the screen image is opaque";
}

// A rectangle so thin that the image's scale leaves 16.16 fixed point draws nothing, whichever
// route, rather than pixels from an undefined mapping.
TEST(CoreGraphicsStretch, UnrepresentableScalesDrawNothing) {
    std::mt19937 random(13);
    const Case c{"thin", 2, 2, 0, kScreen, Fill::Any, 4, 4, 0, {{0, 0}, {1e-6, 4}}};
    Source source(c, random);
    const std::vector<uint8_t> initial(4 * 4 * 4, 0x11);
    for (DrawRoute route :
         {DrawRoute::Direct, DrawRoute::NativeOrderComposite, DrawRoute::NativeOrder}) {
        Target target(c, kBytesARGB, initial);
        CGContextDrawImageThrough(target.context, c.rect, source.image, route);
        EXPECT_EQ(std::memcmp(target.bytes.data(), initial.data(), initial.size()), 0)
            << "route " << int(route);
    }
}

TEST(CoreGraphicsStretch, EverySwizzleFormGivesTheReferenceBytes) {
    std::mt19937 random(3);
    std::vector<const NativeOrder*> orders;
    for (pixman_format_code_t f :
         {PIXMAN_b8g8r8a8, PIXMAN_b8g8r8x8, PIXMAN_r8g8b8a8, PIXMAN_r8g8b8x8, PIXMAN_a8b8g8r8}) {
        orders.push_back(NativeOrderOf(f));
        ASSERT_NE(orders.back(), nullptr);
    }
    EXPECT_EQ(NativeOrderOf(PIXMAN_a8r8g8b8), nullptr) << "native needs no swizzle";
    for (size_t count : {0, 1, 3, 4, 7, 8, 9, 15, 16, 17, 31, 33, 640}) {
        Guarded src(count * 4), expected(count * 4), got(count * 4);
        Randomise(src.data(), src.size(), Fill::Any, random);
        for (const NativeOrder* order : orders)
            for (const Swizzle* s : {&order->in, &order->out}) {
                SwizzleReference(src.data(), expected.data(), count, *s);
                for (auto level :
                     {CoreVectorUnit::kSSE2, CoreVectorUnit::kSSSE3, CoreVectorUnit::kAVX2}) {
                    if (!CoreVectorUnit::Runs(level)) continue;
                    std::memset(got.data(), 0, got.size());
                    SwizzleForm(level)(src.data(), got.data(), count, *s);
                    EXPECT_TRUE(got == expected) << CoreVectorUnit::Name(level) << " " << count;
                }
            }
    }
    // Layouts with alpha go to the native order and back unchanged.
    Guarded src(64), native(64), back(64);
    Randomise(src.data(), 64, Fill::Any, random);
    for (const NativeOrder* order : {orders[0], orders[2]}) {
        SwizzleReference(src.data(), native.data(), 16, order->in);
        SwizzleReference(native.data(), back.data(), 16, order->out);
        EXPECT_TRUE(back == src);
    }
}

} // namespace
