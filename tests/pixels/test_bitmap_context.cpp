#include "core/CoreMachDebugLog.h"
#include "pixels/CoreGraphicsBitmapContext.h"
#include "tests/support/TestSupport.h"
#include "tests/support/VerifyReports.h"

#include <cstdio>
#include <cstring>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <unistd.h>
#include <vector>

using namespace platform::coregraphics;
using CoreGraphics::BitmapContext;

namespace {

TEST(BitmapContext, RowBytesAndSizesFollowTheType) {
    BitmapContext argb;
    ASSERT_TRUE(argb.Construct(640, 480, BitmapContext::BitmapType_Device_ARGB));
    EXPECT_TRUE(argb.IsConstructed());
    EXPECT_EQ(argb.GetImageType(), BitmapContext::BitmapType_Device_ARGB);
    EXPECT_EQ(argb.GetImageRowBytes(), 2560u);
    EXPECT_EQ(argb.GetImageDataSize(), 1228800u);
    EXPECT_EQ(argb.GetImageBitsPerPixel(), 32u);
    EXPECT_EQ(argb.GetImageBitmapInfo(), 2u);
    // The drawing context draws into the object's own pixels.
    EXPECT_EQ(CGBitmapContextGetData(argb.GetContext()), argb.GetImageDataBytes());
    EXPECT_EQ(CGBitmapContextGetBytesPerRow(argb.GetContext()), 2560u);
    EXPECT_EQ(CGBitmapContextGetHeight(argb.GetContext()), 480u);

    struct Case {
        BitmapContext::BitmapType type;
        unsigned bytesPerPixel;
        CGBitmapInfo info;
    } cases[] = {{BitmapContext::BitmapType_Device_Gray, 1, 0},
                 {BitmapContext::BitmapType_Device_XRGB, 4, 6},
                 {BitmapContext::BitmapType_Device_RGBX, 4, 5}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.type);
        BitmapContext bitmap;
        ASSERT_TRUE(bitmap.Construct(7, 3, c.type));
        EXPECT_EQ(bitmap.GetImageBytesPerPixel(), c.bytesPerPixel);
        EXPECT_EQ(bitmap.GetImageBitsPerPixel(), 8 * c.bytesPerPixel);
        EXPECT_EQ(bitmap.GetImageRowBytes(), 7 * c.bytesPerPixel);
        EXPECT_EQ(bitmap.GetImageDataSize(), 21 * c.bytesPerPixel);
        EXPECT_EQ(bitmap.GetImageBitmapInfo(), c.info);
        EXPECT_EQ(CGBitmapContextGetBitsPerPixel(bitmap.GetContext()), 8 * c.bytesPerPixel);
    }
}

TEST(BitmapContext, TypesOutsideTheTableAreRefusedSilently) {
    for (int type : {0, 5, -1}) {
        BitmapContext bitmap;
        bool made = true;
        const std::string reports = testsupport::VerifyReports(
            [&] { made = bitmap.Construct(4, 4, BitmapContext::BitmapType(type)); });
        EXPECT_FALSE(made) << type;
        EXPECT_FALSE(bitmap.IsConstructed());
        EXPECT_EQ(reports, "") << type;
    }
}

TEST(BitmapContext, InUseRowBytesMayOnlyWidenRows) {
    BitmapContext wider;
    std::string reports = testsupport::VerifyReports(
        [&] { ASSERT_TRUE(wider.Construct(10, 2, BitmapContext::BitmapType_Device_ARGB, 64)); });
    EXPECT_EQ(reports, "");
    EXPECT_EQ(wider.GetImageRowBytes(), 64u);
    EXPECT_EQ(wider.GetImageDataSize(), 128u);
    EXPECT_EQ(CGBitmapContextGetBytesPerRow(wider.GetContext()), 64u);

    BitmapContext narrower;
    reports = testsupport::VerifyReports(
        [&] { ASSERT_TRUE(narrower.Construct(10, 2, BitmapContext::BitmapType_Device_ARGB, 39)); });
    EXPECT_TRUE(testsupport::VerifyReported(reports, "inUseRowBytes>=mImageRowBytes")) << reports;
    EXPECT_EQ(narrower.GetImageRowBytes(), 40u);
    EXPECT_EQ(narrower.GetImageDataSize(), 80u);
}

TEST(BitmapContext, DestructEmptiesAndDrawThenReportsAndDrawsNothing) {
    std::vector<uint8_t> memory(4 * 4, 0xAB);
    CGColorSpaceRef rgb = CGColorSpaceCreateDeviceRGB();
    CGContextRef target =
        CGBitmapContextCreate(memory.data(), 2, 2, 8, 8, rgb, kCGImageAlphaPremultipliedFirst);
    CGColorSpaceRelease(rgb);
    ASSERT_NE(target, nullptr);

    BitmapContext bitmap;
    std::string reports =
        testsupport::VerifyReports([&] { bitmap.Draw(target, CGRectMake(0, 0, 2, 2)); });
    EXPECT_TRUE(testsupport::VerifyReported(reports, "IsConstructed()")) << reports;

    ASSERT_TRUE(bitmap.Construct(2, 2, BitmapContext::BitmapType_Device_ARGB));
    reports = testsupport::VerifyReports([&] { bitmap.Draw(nullptr, CGRectMake(0, 0, 2, 2)); });
    EXPECT_TRUE(testsupport::VerifyReported(reports, "inContext")) << reports;

    bitmap.Destruct();
    EXPECT_FALSE(bitmap.IsConstructed());
    EXPECT_EQ(bitmap.GetContext(), nullptr);
    EXPECT_EQ(bitmap.GetImageDataBytes(), nullptr);
    EXPECT_EQ(bitmap.GetImageWidth() | bitmap.GetImageRowBytes() | bitmap.GetImageDataSize(), 0u);
    reports = testsupport::VerifyReports([&] { bitmap.Draw(target, CGRectMake(0, 0, 2, 2)); });
    EXPECT_TRUE(testsupport::VerifyReported(reports, "IsConstructed()")) << reports;
    EXPECT_EQ(memory, std::vector<uint8_t>(16, 0xAB));
    CGContextRelease(target);
}

TEST(BitmapContext, ImagesShareThePixelsAndDrawUpright) {
    BitmapContext bitmap;
    ASSERT_TRUE(bitmap.Construct(2, 2, BitmapContext::BitmapType_Device_ARGB));
    const uint8_t pixels[16] = {0xFF, 1, 2, 3, 0xFF, 4, 5, 6, 0xFF, 7, 8, 9, 0xFF, 10, 11, 12};
    std::memcpy(bitmap.GetImageDataBytes(), pixels, sizeof pixels);

    CGImageRef image = bitmap.ConstructCGImage();
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(CGImageGetWidth(image), 2u);
    EXPECT_EQ(CGImageGetBytesPerRow(image), 8u);
    // Written after the image was made, and seen through it.
    bitmap.GetImageDataBytes()[13] = 0x99;

    BitmapContext target;
    ASSERT_TRUE(target.Construct(2, 2, BitmapContext::BitmapType_Device_ARGB));
    std::memset(target.GetImageDataBytes(), 0, 16);
    CGContextDrawImage(target.GetContext(), CGRectMake(0, 0, 2, 2), image);
    CGImageRelease(image);
    std::vector<uint8_t> expected(pixels, pixels + 16);
    expected[13] = 0x99;
    EXPECT_EQ(std::vector<uint8_t>(target.GetImageDataBytes(), target.GetImageDataBytes() + 16),
              expected);

    // Draw does the same, scaled: each corner of a doubled picture is the picture's corner.
    BitmapContext big;
    ASSERT_TRUE(big.Construct(4, 4, BitmapContext::BitmapType_Device_ARGB));
    EXPECT_EQ(
        testsupport::VerifyReports([&] { bitmap.Draw(big.GetContext(), CGRectMake(0, 0, 4, 4)); }),
        "");
    const uint8_t* out = big.GetImageDataBytes();
    EXPECT_EQ(std::memcmp(out, &expected[0], 4), 0);
    EXPECT_EQ(std::memcmp(out + 12, &expected[4], 4), 0);
    EXPECT_EQ(std::memcmp(out + 48, &expected[8], 4), 0);
    EXPECT_EQ(std::memcmp(out + 60, &expected[12], 4), 0);
}

// Pixel memory from elsewhere, or none at all.
class OwnMemory : public BitmapContext {
public:
    bool give = true;
    int deleted = 0;
    std::vector<uint8_t> store;
    ~OwnMemory() override { Destruct(); }

protected:
    uint8_t* CreateImageData(size_t size) override {
        if (!give) return nullptr;
        store.assign(size, 0x5C);
        return store.data();
    }
    void DeleteImageData(uint8_t* bytes) override {
        EXPECT_EQ(bytes, store.data());
        ++deleted;
    }
};

TEST(BitmapContext, SubclassesSupplyThePixelMemory) {
    OwnMemory own;
    ASSERT_TRUE(own.Construct(3, 2, BitmapContext::BitmapType_Device_Gray));
    EXPECT_EQ(own.GetImageDataBytes(), own.store.data());
    EXPECT_EQ(own.store.size(), 6u);
    own.Destruct();
    EXPECT_EQ(own.deleted, 1);

    OwnMemory none;
    none.give = false;
    bool made = true;
    const std::string reports = testsupport::VerifyReports(
        [&] { made = none.Construct(3, 2, BitmapContext::BitmapType_Device_XRGB); });
    EXPECT_FALSE(made);
    EXPECT_TRUE(
        testsupport::VerifyReported(reports, "mImageDataBytes = CreateImageData(mImageDataSize)"))
        << reports;
    EXPECT_FALSE(none.IsConstructed());
    none.Destruct();
    EXPECT_EQ(none.deleted, 0); // nothing was handed out
}

} // namespace
