#include "kernels/KernelTable.h"
#include "platform/coreimage/CoreImage.h"

#include <gtest/gtest.h>

#include <cstring>
#include <png.h>
#include <vector>

using namespace platform::coregraphics;
using namespace platform::coreimage;
using namespace platform::corevideo;

namespace {

// An RGBA destination (R, G, B, A bytes, premultiplied), as frame hosts hand out.
struct Target {
    size_t width, height;
    std::vector<uint8_t> bytes;
    CGContextRef context;
    Target(size_t w, size_t h) : width(w), height(h), bytes(w * h * 4, 0x55) {
        CGColorSpaceRef space = CGColorSpaceCreateDeviceRGB();
        context = CGBitmapContextCreate(bytes.data(), w, h, 8, w * 4, space,
                                        kCGImageAlphaPremultipliedLast);
        CGColorSpaceRelease(space);
    }
    ~Target() { CGContextRelease(context); }
    void Draw(const CIImage& image) {
        CIContext::contextWithCGContext(context)->drawImage_inRect_fromRect(
            image, CGRectMake(0, 0, CGFloat(width), CGFloat(height)), image.extent());
    }
    // Every pixel as A, R, G, B, row by row.
    std::vector<uint8_t> ARGB() const {
        std::vector<uint8_t> all;
        for (size_t i = 0; i < bytes.size(); i += 4)
            all.insert(all.end(), {bytes[i + 3], bytes[i], bytes[i + 1], bytes[i + 2]});
        return all;
    }
};

// An image over memory through a pixel buffer, which the image keeps.
std::shared_ptr<CIImage> BufferImage(OSType format, size_t width, size_t height, void* base,
                                     size_t rowBytes) {
    CVPixelBufferRef buffer = nullptr;
    EXPECT_EQ(CVPixelBufferCreateWithBytes(nullptr, width, height, format, base, rowBytes, nullptr,
                                           nullptr, nullptr, &buffer),
              kCVReturnSuccess);
    auto image = buffer ? CIImage::imageWithCVImageBuffer(buffer) : nullptr;
    CVPixelBufferRelease(buffer);
    return image;
}

std::vector<uint8_t> ARGBFrame(size_t width, size_t height) {
    std::vector<uint8_t> frame(width * height * 4);
    for (size_t i = 0; i < frame.size(); i += 4) {
        const size_t pixel = i / 4;
        frame[i] = 255;
        frame[i + 1] = uint8_t(pixel * 7);
        frame[i + 2] = uint8_t(pixel * 13);
        frame[i + 3] = uint8_t(pixel * 29);
    }
    return frame;
}

TEST(CoreVideoTest, PixelBuffersWrapOnlyTheTwoFrameLayoutsOverEnoughMemory) {
    uint8_t memory[64 * 4 * 2];
    struct Case {
        OSType format;
        size_t width, rowBytes;
        void* base;
        CVReturn expected;
    } cases[] = {
        {kCVPixelFormatType_32ARGB, 64, 256, memory, kCVReturnSuccess},
        {kCVPixelFormatType_422YpCbCr8, 64, 128, memory, kCVReturnSuccess},
        {kCVPixelFormatType_422YpCbCr8, 63, 128, memory, kCVReturnSuccess},
        {0x42475241 /* 'BGRA' */, 64, 256, memory, kCVReturnInvalidPixelFormat},
        {kCVPixelFormatType_32ARGB, 64, 255, memory, kCVReturnInvalidSize},
        {kCVPixelFormatType_422YpCbCr8, 64, 127, memory, kCVReturnInvalidSize},
        {kCVPixelFormatType_32ARGB, 64, 256, nullptr, kCVReturnInvalidArgument},
    };
    for (const Case& c : cases) {
        CVPixelBufferRef buffer = reinterpret_cast<CVPixelBufferRef>(1);
        EXPECT_EQ(CVPixelBufferCreateWithBytes(nullptr, c.width, 2, c.format, c.base, c.rowBytes,
                                               nullptr, nullptr, nullptr, &buffer),
                  c.expected)
            << std::hex << c.format << " width " << std::dec << c.width;
        EXPECT_EQ(buffer != nullptr, c.expected == kCVReturnSuccess);
        CVPixelBufferRelease(buffer);
    }
}

TEST(CoreVideoTest, TheReleaseCallbackRunsOnceWhenTheLastImageLetsGo) {
    static int released = 0;
    uint8_t memory[4 * 4 * 4] = {};
    CVPixelBufferRef buffer = nullptr;
    ASSERT_EQ(CVPixelBufferCreateWithBytes(
                  nullptr, 4, 4, kCVPixelFormatType_32ARGB, memory, 16,
                  [](void* refCon, const void* base) {
                      EXPECT_EQ(refCon, &released);
                      EXPECT_NE(base, nullptr);
                      ++released;
                  },
                  &released, nullptr, &buffer),
              kCVReturnSuccess);
    auto image = CIImage::imageWithCVImageBuffer(buffer);
    CVPixelBufferRelease(buffer);
    EXPECT_EQ(released, 0) << "the image keeps its buffer";
    image.reset();
    EXPECT_EQ(released, 1);
}

TEST(CoreImageTest, AnARGBBufferRendersItsOwnMemoryExactlyAtItsSize) {
    std::vector<uint8_t> frame = ARGBFrame(8, 6);
    auto image = BufferImage(kCVPixelFormatType_32ARGB, 8, 6, frame.data(), 32);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->extent().size.width, 8);
    EXPECT_EQ(image->extent().size.height, 6);
    // No copy: what the memory holds at rendering time is what comes out.
    frame[4 * 9 + 1] = 0xAB;
    Target target(8, 6);
    target.Draw(*image);
    EXPECT_EQ(target.ARGB(), frame);
}

TEST(CoreImageTest, A2vuyBufferRendersAsTheDecoderConvertsIt) {
    std::vector<uint8_t> yuv(16 * 2 * 3);
    for (size_t i = 0; i < yuv.size(); ++i)
        yuv[i] = uint8_t(16 + i * 11 % 220);
    auto image = BufferImage(kCVPixelFormatType_422YpCbCr8, 16, 3, yuv.data(), 32);
    ASSERT_NE(image, nullptr);
    Target target(16, 3);
    target.Draw(*image);
    std::vector<uint8_t> expected(16 * 4 * 3);
    for (size_t y = 0; y < 3; ++y)
        kernels::Chosen().decode2vuy(&yuv[y * 32], &expected[y * 16 * 4], 16);
    EXPECT_EQ(target.ARGB(), expected);
}

TEST(CoreImageTest, AnImageScaledToTheTargetKeepsAFlatColourFlat) {
    std::vector<uint8_t> frame(4 * 4 * 4);
    for (size_t i = 0; i < frame.size(); i += 4)
        std::memcpy(&frame[i], "\xFF\x20\x80\xC0", 4);
    CGDataProviderRef provider =
        CGDataProviderCreateWithData(nullptr, frame.data(), frame.size(), nullptr);
    CGColorSpaceRef space = CGColorSpaceCreateDeviceRGB();
    CGImageRef quartz = CGImageCreate(4, 4, 8, 32, 16, space, kCGImageAlphaPremultipliedFirst,
                                      provider, nullptr, true, kCGRenderingIntentDefault);
    auto image = CIImage::imageWithCGImage(quartz);
    CGImageRelease(quartz);
    CGColorSpaceRelease(space);
    CGDataProviderRelease(provider);
    Target target(10, 7);
    target.Draw(*image);
    std::vector<uint8_t> expected;
    for (int i = 0; i < 10 * 7; ++i)
        expected.insert(expected.end(), {0xFF, 0x20, 0x80, 0xC0});
    EXPECT_EQ(target.ARGB(), expected);
}

std::vector<uint8_t> EncodePng(const std::vector<uint8_t>& argb, unsigned width, unsigned height) {
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    png.width = width;
    png.height = height;
    png.format = PNG_FORMAT_ARGB;
    png_alloc_size_t size = 0;
    png_image_write_to_memory(&png, nullptr, &size, 0, argb.data(), 0, nullptr);
    std::vector<uint8_t> encoded(size);
    EXPECT_TRUE(png_image_write_to_memory(&png, encoded.data(), &size, 0, argb.data(), 0, nullptr));
    encoded.resize(size);
    return encoded;
}

TEST(CoreImageTest, PngDataDecodesToPremultipliedPixelsAndGarbageToNothing) {
    const std::vector<uint8_t> straight = {255, 10, 20, 30, 128, 200, 100, 50, 0, 9, 9, 9};
    const std::vector<uint8_t> encoded = EncodePng(straight, 3, 1);
    auto image = CIImage::imageWithData(encoded.data(), encoded.size());
    ASSERT_NE(image, nullptr);
    Target target(3, 1);
    std::fill(target.bytes.begin(), target.bytes.end(), 0);
    target.Draw(*image);
    EXPECT_EQ(target.ARGB(), (std::vector<uint8_t>{255, 10, 20, 30, 128, 100, 50, 25, 0, 0, 0, 0}));

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
    EXPECT_EQ(kernels[0]->name(), "first");
    EXPECT_EQ(kernels[0]->returnType(), "vec4");
    EXPECT_EQ(kernels[0]->parameters(), (std::vector<std::string>{"sampler src", "float amount"}));
    EXPECT_EQ(kernels[1]->name(), "second");
    EXPECT_TRUE(kernels[1]->parameters().empty());

    for (const char* bad :
         {"", "vec4 f() {}", "kernel vec4 (sampler s) {}", "kernel vec4 f(sampler s",
          "kernel vec4 f(sampler s,) {}", "kernel vec4 f(sampler s);"})
        EXPECT_TRUE(CIKernel::kernelsWithString(bad).empty()) << bad;
}

class Probe : public CIFilter {
public:
    std::shared_ptr<CIImage> outputImage() override { return nullptr; }
    CIAttributeDictionary customAttributes() const override { return {{"inputLevel", {}}}; }
};

TEST(CoreImageTest, FiltersAreMadeByNameAndTakeOnlyTheirOwnInputs) {
    EXPECT_EQ(CIFilter::filterWithName("Probe"), nullptr);
    CIFilter::registerFilterName_constructor("Probe", [] { return std::make_shared<Probe>(); });
    auto filter = CIFilter::filterWithName("Probe");
    ASSERT_NE(filter, nullptr);
    EXPECT_TRUE(filter->setValue_forKey(2.5, "inputLevel"));
    EXPECT_EQ(filter->valueForKey("inputLevel"), 2.5);
    EXPECT_FALSE(filter->setValue_forKey(1.0, "inputOther"));
    EXPECT_EQ(filter->valueForKey("inputOther"), std::nullopt);
}

} // namespace
