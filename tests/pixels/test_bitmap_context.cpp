#include "pixels/CoreGraphicsGWorldBitmapContext.h"
#include "tests/support/VerifyReports.h"

#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <vector>

using namespace platform::coregraphics;
using CoreGraphics::BitmapContext;
using CoreGraphics::GWorldBitmapContext;

namespace {

// Sizes follow the type's table and the row bytes in use, which may only widen rows; a type
// outside the table is refused without a report.
TEST(BitmapContext, ConstructFollowsTheTypeAndTheRowBytesInUse) {
    using Type = BitmapContext::BitmapType;
    const struct {
        int type, width, height;
        size_t inUse;
        bool made;
        unsigned rowBytes;
        CGBitmapInfo info;
        const char* report;
    } cases[] = {
        {BitmapContext::BitmapType_Device_ARGB, 640, 480, 0, true, 2560, 2, nullptr},
        {BitmapContext::BitmapType_Device_Gray, 7, 3, 0, true, 7, 0, nullptr},
        {BitmapContext::BitmapType_Device_XRGB, 7, 3, 0, true, 28, 6, nullptr},
        {BitmapContext::BitmapType_Device_RGBX, 7, 3, 0, true, 28, 5, nullptr},
        {BitmapContext::BitmapType_Device_ARGB, 10, 2, 64, true, 64, 2, nullptr},
        {BitmapContext::BitmapType_Device_ARGB, 10, 2, 39, true, 40, 2,
         "inUseRowBytes>=mImageRowBytes"},
        {0, 4, 4, 0, false, 0, 0, nullptr},
        {5, 4, 4, 0, false, 0, 0, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "type " << c.type << " row bytes in use " << c.inUse);
        BitmapContext bitmap;
        bool made = !c.made;
        const std::string reports = testsupport::VerifyReports(
            [&] { made = bitmap.Construct(c.width, c.height, Type(c.type), c.inUse); });
        EXPECT_EQ(made, c.made);
        EXPECT_EQ(bitmap.IsConstructed(), c.made);
        if (c.report)
            EXPECT_TRUE(testsupport::VerifyReported(reports, c.report)) << reports;
        else
            EXPECT_EQ(reports, "");
        if (!c.made) continue;
        EXPECT_EQ(bitmap.GetImageType(), c.type);
        EXPECT_EQ(bitmap.GetImageDataSize(), c.rowBytes * unsigned(c.height));
        EXPECT_EQ(bitmap.GetImageBitmapInfo(), c.info);
        // The drawing context draws into the object's own pixels, rows as wide as the object's.
        EXPECT_EQ(CGBitmapContextGetData(bitmap.GetContext()), bitmap.GetImageDataBytes());
        EXPECT_EQ(CGBitmapContextGetBytesPerRow(bitmap.GetContext()), c.rowBytes);
    }
}

// An image shares the bitmap's pixels: written after it was made, they are seen through it,
// upright. Drawing needs a target and pixels, which a destructed bitmap has not.
TEST(BitmapContext, ImagesShareThePixelsAndDrawingNeedsATargetAndPixels) {
    BitmapContext bitmap, target;
    ASSERT_TRUE(bitmap.Construct(2, 2, BitmapContext::BitmapType_Device_ARGB));
    ASSERT_TRUE(target.Construct(2, 2, BitmapContext::BitmapType_Device_ARGB));
    CGImageRef image = bitmap.ConstructCGImage();
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(CGImageGetBytesPerRow(image), 8u);
    const uint8_t pixels[16] = {0xFF, 1, 2, 3, 0xFF, 4, 5, 6, 0xFF, 7, 8, 9, 0xFF, 10, 11, 12};
    std::memcpy(bitmap.GetImageDataBytes(), pixels, sizeof pixels);
    CGContextDrawImage(target.GetContext(), CGRectMake(0, 0, 2, 2), image);
    CGImageRelease(image);
    EXPECT_EQ(std::memcmp(target.GetImageDataBytes(), pixels, 16), 0);

    std::string reports =
        testsupport::VerifyReports([&] { bitmap.Draw(nullptr, CGRectMake(0, 0, 2, 2)); });
    EXPECT_TRUE(testsupport::VerifyReported(reports, "inContext")) << reports;
    bitmap.Destruct();
    EXPECT_FALSE(bitmap.IsConstructed());
    EXPECT_EQ(bitmap.GetImageDataBytes(), nullptr);
    reports = testsupport::VerifyReports(
        [&] { bitmap.Draw(target.GetContext(), CGRectMake(0, 0, 2, 2)); });
    EXPECT_TRUE(testsupport::VerifyReported(reports, "IsConstructed()")) << reports;
    EXPECT_EQ(std::memcmp(target.GetImageDataBytes(), pixels, 16), 0);
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
    const std::string reports = testsupport::VerifyReports(
        [&] { EXPECT_FALSE(none.Construct(3, 2, BitmapContext::BitmapType_Device_XRGB)); });
    EXPECT_NE(reports.find("CreateImageData"), std::string::npos) << reports;
    EXPECT_FALSE(none.IsConstructed());
    none.Destruct();
    EXPECT_EQ(none.deleted, 0); // nothing was handed out
}

// The application's bitmap: the same pixels as an offscreen world in the type's format.
TEST(GWorldBitmapContext, TheWorldSharesThePixelsAndFailsTheConstructionWhenItCannotBeMade) {
    using namespace platform::quicktime;
    const struct {
        BitmapContext::BitmapType type;
        OSType format;
        int16_t bits;
    } cases[] = {
        {BitmapContext::BitmapType_Device_ARGB, k32ARGBPixelFormat, 32},
        {BitmapContext::BitmapType_Device_XRGB, k8IndexedGrayPixelFormat, 8},
        {BitmapContext::BitmapType_Device_Gray, k8IndexedGrayPixelFormat, 8},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.type);
        GWorldBitmapContext bitmap;
        ASSERT_TRUE(bitmap.Construct(33, 7, c.type, 200));
        const PixMapHandle pixMap = GetGWorldPixMap(bitmap.GetGWorld());
        ASSERT_NE(pixMap, nullptr);
        EXPECT_EQ(GetPixBaseAddr(pixMap), reinterpret_cast<Ptr>(bitmap.GetImageDataBytes()));
        EXPECT_EQ(QTGetPixMapHandleRowBytes(pixMap), 200);
        EXPECT_EQ((*pixMap)->pixelFormat, c.format);
        EXPECT_EQ((*pixMap)->pixelSize, c.bits);
        EXPECT_EQ((*pixMap)->bounds.right, 33);
        EXPECT_EQ((*pixMap)->bounds.bottom, 7);
        bitmap.Destruct();
        EXPECT_EQ(bitmap.GetGWorld(), nullptr);
        EXPECT_FALSE(bitmap.IsConstructed());
    }
    // Worlds the toolkit cannot describe: rows short of the width, another format, no pixels.
    char pixels[64];
    Rect bounds;
    SetRect(&bounds, 0, 0, 4, 2);
    const struct {
        OSType format;
        char* pixels;
        long rowBytes;
    } refused[] = {{k32ARGBPixelFormat, pixels, 15},
                   {0x79757673, pixels, 16},
                   {k32ARGBPixelFormat, nullptr, 16}};
    for (const auto& r : refused) {
        GWorldPtr world = reinterpret_cast<GWorldPtr>(pixels);
        EXPECT_EQ(
            NewGWorldFromPtr(&world, r.format, &bounds, nullptr, nullptr, 0, r.pixels, r.rowBytes),
            paramErr);
        EXPECT_EQ(world, nullptr);
    }
    // Too wide for the toolkit's rectangles: construction fails rather than describing less.
    GWorldBitmapContext wide;
    const std::string reports = testsupport::VerifyReports(
        [&] { EXPECT_FALSE(wide.Construct(40000, 1, BitmapContext::BitmapType_Device_Gray)); });
    EXPECT_NE(reports.find("ConstructGWorld()"), std::string::npos) << reports;
}

} // namespace
