// The image-filter framework layer: pixel buffers over frame memory, images from them, from
// drawing images and from PNG data, rendered into a host's RGBA target; kernels. (2vuy buffers,
// and filters made by name, are the plug-in's tests; a name with no filter is the hosts'.)
#include "platform/imageio/ImageWriters.h"
#include "tests/platform/coregraphics/DrawingFixtures.h"
#include "tests/support/RenderImage.h"

#include <gtest/gtest.h>

#include <tuple>
#include <vector>

using namespace platform::coregraphics;
using namespace platform::coreimage;
using namespace platform::corevideo;
using testsupport::RenderARGB; // into a host's R, G, B, A target, as the tests ask

namespace {

TEST(CoreVideoTest, PixelBuffersWrapOnlyTheTwoFrameLayoutsOverEnoughMemory) {
    uint8_t memory[64 * 4 * 2];
    // The format, width, row bytes and memory of a buffer two rows high; what the wrap returns.
    const std::tuple<OSType, size_t, size_t, void*, CVReturn> cases[] = {
        {kCVPixelFormatType_32ARGB, 64, 256, memory, kCVReturnSuccess},
        {kCVPixelFormatType_422YpCbCr8, 64, 128, memory, kCVReturnSuccess},
        {kCVPixelFormatType_422YpCbCr8, 63, 128, memory, kCVReturnSuccess},
        {0x42475241 /* 'BGRA' */, 64, 256, memory, kCVReturnInvalidPixelFormat},
        {kCVPixelFormatType_32ARGB, 64, 255, memory, kCVReturnInvalidSize},
        {kCVPixelFormatType_422YpCbCr8, 64, 127, memory, kCVReturnInvalidSize},
        {kCVPixelFormatType_32ARGB, 64, 256, nullptr, kCVReturnInvalidArgument},
    };
    for (const auto& [format, width, rowBytes, base, expected] : cases) {
        CVPixelBufferRef buffer = reinterpret_cast<CVPixelBufferRef>(1);
        EXPECT_EQ(CVPixelBufferCreateWithBytes(nullptr, width, 2, format, base, rowBytes, nullptr,
                                               nullptr, nullptr, &buffer),
                  expected)
            << std::hex << format << " width " << std::dec << width;
        EXPECT_EQ(buffer != nullptr, expected == kCVReturnSuccess);
        CVPixelBufferRelease(buffer);
    }
}

// The image keeps its buffer, and renders what the memory holds at rendering time: no copy.
TEST(CoreImageTest, AnARGBBufferRendersItsOwnMemoryAndIsReleasedWithTheLastImage) {
    static int released = 0;
    std::vector<uint8_t> frame(8 * 6 * 4);
    for (size_t i = 0; i < frame.size(); ++i)
        frame[i] = i % 4 ? uint8_t(i * 7) : 255;
    CVPixelBufferRef buffer = nullptr;
    ASSERT_EQ(CVPixelBufferCreateWithBytes(
                  nullptr, 8, 6, kCVPixelFormatType_32ARGB, frame.data(), 32,
                  [](void* refCon, const void*) { ++*static_cast<int*>(refCon); }, &released,
                  nullptr, &buffer),
              kCVReturnSuccess);
    auto image = CIImage::imageWithCVImageBuffer(buffer);
    CVPixelBufferRelease(buffer);
    ASSERT_NE(image, nullptr);
    EXPECT_TRUE(image->extent().size.width == 8 && image->extent().size.height == 6);
    frame[4 * 9 + 1] = 0xAB;
    EXPECT_EQ(RenderARGB(*image, 8, 6, true), frame);
    EXPECT_EQ(released, 0);
    image.reset();
    EXPECT_EQ(released, 1);
}

TEST(CoreImageTest, AnImageScaledToTheTargetKeepsAFlatColourFlat) {
    const auto flat = [](size_t pixels) {
        std::vector<uint8_t> bytes;
        for (size_t i = 0; i < pixels; ++i)
            bytes.insert(bytes.end(), {0xFF, 0x20, 0x80, 0xC0});
        return bytes;
    };
    const drawingtest::Image quartz(4, 4, kCGImageAlphaPremultipliedFirst, flat(16));
    EXPECT_EQ(RenderARGB(*CIImage::imageWithCGImage(quartz.image), 10, 7, true), flat(70));
}

TEST(CoreImageTest, PngDataDecodesToPremultipliedPixelsAndGarbageToNothing) {
    const std::vector<uint8_t> straight = {255, 10, 20, 30, 128, 200, 100, 50, 0, 9, 9, 9};
    const std::vector<uint8_t> encoded = platform::imageio::ImageData(
        {3, 1, 12, platform::imageio::PixelLayout::kARGB, false, straight.data()},
        platform::imageio::NSPNGFileType, 0.75);
    auto image = CIImage::imageWithData(encoded.data(), encoded.size());
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(RenderARGB(*image, 3, 1, true),
              (std::vector<uint8_t>{255, 10, 20, 30, 128, 100, 50, 25, 0, 0, 0, 0}));
    EXPECT_EQ(CIImage::imageWithData(encoded.data(), encoded.size() / 2), nullptr);
    EXPECT_EQ(CIImage::imageWithData("not a picture", 13), nullptr);
    EXPECT_EQ(CIImage::imageWithData(nullptr, 0), nullptr);
}

TEST(CoreImageTest, KernelTextYieldsItsDeclaredKernelsOrNoneWhenMalformed) {
    const std::string good = "/* kernel fake(x) { */\n"
                             "kernel vec4 first(sampler src, float amount) // kernel no()\n"
                             "{ return sample(src, samplerCoord(src)) * amount; }\n"
                             "kernel vec4 second() { return vec4(0.0); }\n";
    auto kernels = CIKernel::kernelsWithString(good);
    ASSERT_EQ(kernels.size(), 2u);
    EXPECT_TRUE(kernels[0]->name() == "first" && kernels[0]->returnType() == "vec4");
    EXPECT_EQ(kernels[0]->parameters(), (std::vector<std::string>{"sampler src", "float amount"}));
    EXPECT_TRUE(kernels[1]->name() == "second" && kernels[1]->parameters().empty());
    for (const char* bad :
         {"", "vec4 f() {}", "kernel vec4 (sampler s) {}", "kernel vec4 f(sampler s",
          "kernel vec4 f(sampler s,) {}", "kernel vec4 f(sampler s);"})
        EXPECT_TRUE(CIKernel::kernelsWithString(bad).empty()) << bad;
}

} // namespace
