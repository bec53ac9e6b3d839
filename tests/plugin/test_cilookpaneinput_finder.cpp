// The channel reader in a host whose signing identifier is one of those that run without
// semaphores, over the test component LookpaneXXX: through the plug-in, frames are read without
// the buffer's lock (LookpaneXXX forwards to VistrelX64 and counts the calls); linked into this
// program, the reader converts a 2vuy frame into its own bitmap, which the filter reaches only
// when a pixel buffer cannot be had.
#include "plugin/CILookpaneInput_VSharedCameraBuffer.h"
#include "tests/plugin/LookpaneTestFrames.h"
#include "tests/support/PlugInHost.h"

using namespace plugintest;
using namespace lookpane_test;

namespace {

TEST(CILookpaneInputFinderTest, AFrameComesBackWithoutLocking) {
    InstallForwardingComponent(LOOKPANE_TEST_BUNDLE);
    Publish({"--frames", "1", "--no-install"});

    const std::shared_ptr<CIFilter> filter = MakeFilter();
    ASSERT_NE(filter, nullptr);
    const auto image = filter->outputImage();
    ASSERT_NE(image, nullptr);
    EXPECT_TRUE(RenderARGB(*image) == Pattern(0));
    const auto stats = ComponentExport<LockStatsFn>(LOOKPANE_TEST_OBJECT, "LookpaneTest_LockStats");
    ASSERT_NE(stats, nullptr);
    EXPECT_EQ(stats().locks + stats().unlocks, 0u);
}

TEST(VSharedCameraBufferTest, A2vuyFrameIsConvertedIntoTheReadersOwnBitmap) {
    // The component this program's reader chose at load is VistrelX64; the test component
    // answers to it.
    binding::RemoveChannel();
    LinkInto("components/VistrelX64.component", LOOKPANE_TEST_BUNDLE);
    testsupport::ScopedEnv mode("LOOKPANE_TEST_MODE", "2vuy");
    const auto reader = std::make_unique<CILookpaneInput_VSharedCameraBuffer>();
    ASSERT_TRUE(reader->readCurrentCameraFrame() && reader->hasCurrentCameraFrame());

    CGImageRef image = reader->quartzImageFrom_2vuy_CameraBuffer();
    ASSERT_NE(image, nullptr);
    auto wrapped = CIImage::imageWithCGImage(image);
    CGImageRelease(image);
    EXPECT_TRUE(RenderARGB(*wrapped) == Decoded2vuy());
}

} // namespace
