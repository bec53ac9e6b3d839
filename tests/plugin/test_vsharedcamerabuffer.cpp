// The channel reader on its own, over the test component: its bitmap, what it logs, and the 2vuy
// conversion into that bitmap, which the filter reaches only when a pixel buffer cannot be had.
#include "plugin/CILookpaneInput_VSharedCameraBuffer.h"
#include "tests/plugin/LookpaneTestFrames.h"
#include "tests/support/PlugInHost.h"

#include <cstring>

using namespace lookpane_test;

namespace {

using Reader = CILookpaneInput_VSharedCameraBuffer;

// What the reader logs is checked through the filter; here, its own bitmap.
TEST(VSharedCameraBufferTest, AReaderWithoutABroadcastHasACameraSizedBitmapAndNoFrame) {
    Reader reader;
    const CoreGraphics::BitmapContext* bitmap = reader.BitmapContext();
    ASSERT_TRUE(bitmap && bitmap->IsConstructed());
    EXPECT_TRUE(bitmap->GetImageWidth() == 640 && bitmap->GetImageHeight() == 480);
    EXPECT_EQ(bitmap->GetImageType(), CoreGraphics::BitmapContext::BitmapType_Device_ARGB);
    EXPECT_FALSE(reader.readCurrentCameraFrame());
    EXPECT_EQ(reader.fastestCoreImage(), nullptr);
}

TEST(VSharedCameraBufferTest, A2vuyFrameIsConvertedIntoTheReadersOwnBitmap) {
    // The component this binary chose at load is VistrelX64; the test component answers to it.
    plugintest::LinkComponent(LOOKPANE_TEST_BUNDLE, "VistrelX64.component");
    testsupport::ScopedEnv mode("LOOKPANE_TEST_MODE", "2vuy");
    std::unique_ptr<Reader> reader;
    const std::string log =
        testsupport::CaptureStandardError([&] { reader = std::make_unique<Reader>(); });
    EXPECT_NE(log.find("] __LP64__ CILookpaneInput (640,480) rowBytes:1280\n"), std::string::npos)
        << log;
    ASSERT_TRUE(reader->readCurrentCameraFrame() && reader->hasCurrentCameraFrame());

    platform::coregraphics::CGImageRef image = reader->quartzImageFrom_2vuy_CameraBuffer();
    ASSERT_NE(image, nullptr);
    const std::vector<uint8_t> expected = Decoded2vuy();
    const uint8_t* bitmap = reader->BitmapContext()->GetImageDataBytes();
    EXPECT_EQ(std::memcmp(bitmap, expected.data(), expected.size()), 0);
    // The image shows the bitmap itself.
    auto wrapped = platform::coreimage::CIImage::imageWithCGImage(image);
    platform::coregraphics::CGImageRelease(image);
    EXPECT_TRUE(plugintest::RenderARGB(*wrapped) == expected);

    testsupport::ScopedEnv nullRecord("LOOKPANE_TEST_MODE", "null");
    EXPECT_FALSE(reader->readCurrentCameraFrame() || reader->hasCurrentCameraFrame());
}

} // namespace
