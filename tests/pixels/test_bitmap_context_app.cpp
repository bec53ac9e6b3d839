// The application's bitmap context: the same pixels seen as an offscreen world.
#include "core/CoreMachDebugLog.h"
#include "pixels/CoreGraphicsBitmapContext.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

using CoreGraphics::BitmapContext;
using namespace platform::quicktime;

namespace {

struct PixMapOf {
    explicit PixMapOf(const BitmapContext& bitmap) : handle(GetGWorldPixMap(bitmap.GetGWorld())) {}
    PixMapHandle handle;
};

TEST(BitmapContextApplication, OffscreenWorldSharesThePixelsInTheTypesFormat) {
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
        BitmapContext bitmap;
        ASSERT_TRUE(bitmap.Construct(33, 7, c.type, 200));
        const PixMapOf pixMap(bitmap);
        ASSERT_NE(pixMap.handle, nullptr);
        EXPECT_EQ(GetPixBaseAddr(pixMap.handle), reinterpret_cast<Ptr>(bitmap.GetImageDataBytes()));
        EXPECT_EQ(QTGetPixMapHandleRowBytes(pixMap.handle), 200);
        EXPECT_EQ((*pixMap.handle)->pixelFormat, c.format);
        EXPECT_EQ((*pixMap.handle)->pixelSize, c.bits);
        EXPECT_EQ((*pixMap.handle)->bounds.right, 33);
        EXPECT_EQ((*pixMap.handle)->bounds.bottom, 7);
        bitmap.Destruct();
        EXPECT_EQ(bitmap.GetGWorld(), nullptr);
    }
}

TEST(BitmapContextApplication, WorldRefusesWhatItCannotDescribe) {
    char pixels[64];
    Rect bounds;
    SetRect(&bounds, 0, 0, 4, 2);
    GWorldPtr world = reinterpret_cast<GWorldPtr>(pixels);
    EXPECT_EQ(
        NewGWorldFromPtr(&world, k32ARGBPixelFormat, &bounds, nullptr, nullptr, 0, pixels, 15),
        paramErr); // a row of 4 ARGB pixels needs 16 bytes
    EXPECT_EQ(world, nullptr);
    EXPECT_EQ(NewGWorldFromPtr(&world, 0x79757673, &bounds, nullptr, nullptr, 0, pixels, 16),
              paramErr);
    EXPECT_EQ(
        NewGWorldFromPtr(&world, k32ARGBPixelFormat, &bounds, nullptr, nullptr, 0, nullptr, 16),
        paramErr);
    ASSERT_EQ(
        NewGWorldFromPtr(&world, k32ARGBPixelFormat, &bounds, nullptr, nullptr, 0, pixels, 16),
        noErr);
    DisposeGWorld(world);

    // Too wide for the toolkit's rectangles: construction fails rather than describing less.
    BitmapContext wide;
    CoreMachDebugLogSetUseLogger(kCoreLogToASL);
    const std::string reports = testsupport::CaptureStandardError(
        [&] { EXPECT_FALSE(wide.Construct(40000, 1, BitmapContext::BitmapType_Device_Gray)); });
    for (const char* text :
         {" code : ConstructGWorld() in ", " code : fOk = VERIFIED(ConstructGWorld()) in "})
        EXPECT_NE(reports.find(text), std::string::npos) << text << "\n" << reports;
}

} // namespace
