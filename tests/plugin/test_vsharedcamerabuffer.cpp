// The channel reader on its own, over the test component: the 2vuy conversion into its own
// bitmap, which the filter reaches only when a pixel buffer cannot be had.
#include "plugin/CILookpaneInput_VSharedCameraBuffer.h"
#include "tests/plugin/LookpaneTestFrames.h"
#include "tests/support/PlugInHost.h"

using namespace lookpane_test;

namespace {

using Reader = CILookpaneInput_VSharedCameraBuffer;

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
    auto wrapped = platform::coreimage::CIImage::imageWithCGImage(image);
    platform::coregraphics::CGImageRelease(image);
    EXPECT_TRUE(plugintest::RenderARGB(*wrapped) == Decoded2vuy());

    testsupport::ScopedEnv nullRecord("LOOKPANE_TEST_MODE", "null");
    EXPECT_FALSE(reader->readCurrentCameraFrame() || reader->hasCurrentCameraFrame());
}

} // namespace
