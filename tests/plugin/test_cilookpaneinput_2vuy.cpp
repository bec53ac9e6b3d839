// The filter over a component of the other maker's name (the test component LookpaneXXX), which
// the plug-in prefers to this system's own: 2vuy frames, frames only a copy can take, records it
// must refuse.
#include "tests/plugin/LookpaneTestFrames.h"
#include "tests/support/PlugInHost.h"

#include <dlfcn.h>

using namespace plugintest;
using namespace lookpane_test;

namespace {

class CILookpaneInput2vuyTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        LinkPlugIn();
        LinkComponent(LOOKPANE_TEST_BUNDLE, "LookpaneXXX.component");
        // This system's own component is there too; the plug-in must not choose it.
        LinkComponent(testsupport::StagePath("share/vistrel/VistrelX64.component"),
                      "VistrelX64.component");
    }

    template <typename Function> static Function Export(const char* name) {
        void* handle = ::dlopen(LOOKPANE_TEST_OBJECT, RTLD_NOW | RTLD_NOLOAD);
        if (handle) ::dlclose(handle); // the plug-in keeps it loaded
        return handle ? reinterpret_cast<Function>(::dlsym(handle, name)) : nullptr;
    }
    // The request under a mode, with the lock and unlock calls it made.
    std::shared_ptr<CIImage> Request(const char* mode, uint64_t& locks, uint64_t& unlocks) {
        testsupport::ScopedEnv env("LOOKPANE_TEST_MODE", mode);
        const auto stats = Export<LockStatsFn>("LookpaneTest_LockStats");
        const LockStats before = stats ? stats() : LockStats{};
        auto image = filter->outputImage();
        locks = stats ? stats().locks - before.locks : ~0ull;
        unlocks = stats ? stats().unlocks - before.unlocks : ~0ull;
        return image;
    }

    std::shared_ptr<CIFilter> filter = MakeFilter();
    uint64_t locks = 0, unlocks = 0;
};

TEST_F(CILookpaneInput2vuyTest, RecordsWithoutUsableMemoryGiveThePlaceholderUnlocked) {
    for (const char* mode : {"null", "none", "oversize"}) {
        const auto image = Request(mode, locks, unlocks);
        ASSERT_NE(image, nullptr) << mode;
        EXPECT_EQ(RenderARGB(*image), PlaceholderARGB()) << mode;
        EXPECT_EQ(locks + unlocks, 0u) << mode;
    }
}

TEST_F(CILookpaneInput2vuyTest, A2vuyFrameIsConvertedThroughThe2vuyDecoderWithoutLocking) {
    const auto image = Request("2vuy", locks, unlocks);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(locks + unlocks, 0u);
    EXPECT_TRUE(RenderARGB(*image) == Decoded2vuy());
}

TEST_F(CILookpaneInput2vuyTest, AFrameNoPixelBufferTakesIsCopiedUnderTheLock) {
    const auto image = Request("argb-other", locks, unlocks);
    ASSERT_NE(image, nullptr);
    EXPECT_TRUE(locks == 1 && unlocks == 1) << locks << " " << unlocks;
    std::vector<uint8_t> expected(kWidth * kHeight * 4);
    DrawARGB(expected.data(), 0);
    // A copy: what the component writes afterwards does not show.
    auto frame = Export<ARGBFrameFn>("LookpaneTest_ARGBFrame");
    ASSERT_NE(frame, nullptr);
    DrawARGB(frame(), 99);
    EXPECT_TRUE(RenderARGB(*image) == expected);
    // Without a frame afterwards, the filter keeps that image.
    EXPECT_EQ(Request("none", locks, unlocks), image);
}

} // namespace
