// The filter over a component of the other maker's name (the test component LookpaneXXX), which
// the plug-in prefers to this system's own: 2vuy frames, frames only a copy can take, records it
// must refuse.
#include "tests/plugin/LookpaneTestFrames.h"
#include "tests/plugin/PlugInTestSupport.h"

#include <gtest/gtest.h>

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

    void SetUp() override { filter = MakeFilter(); }

    static void* Component() {
        void* handle = ::dlopen(LOOKPANE_TEST_OBJECT, RTLD_NOW | RTLD_NOLOAD);
        if (handle) ::dlclose(handle); // the plug-in keeps it loaded
        return handle;
    }
    static LockStats Stats() {
        auto stats = reinterpret_cast<LockStatsFn>(::dlsym(Component(), "LookpaneTest_LockStats"));
        return stats ? stats() : LockStats{~0ull, ~0ull, 0};
    }
    // The request under a mode, with the lock and unlock calls it made.
    std::shared_ptr<CIImage> Request(const char* mode, uint64_t& locks, uint64_t& unlocks) {
        testsupport::ScopedEnv env("LOOKPANE_TEST_MODE", mode);
        const LockStats before = Stats();
        auto image = filter->outputImage();
        locks = Stats().locks - before.locks;
        unlocks = Stats().unlocks - before.unlocks;
        return image;
    }

    std::shared_ptr<CIFilter> filter;
};

TEST_F(CILookpaneInput2vuyTest, RecordsWithoutUsableMemoryGiveThePlaceholderUnlocked) {
    const std::vector<uint8_t> placeholder = PlaceholderARGB();
    for (const char* mode : {"null", "none", "oversize"}) {
        uint64_t locks = 0, unlocks = 0;
        const auto image = Request(mode, locks, unlocks);
        ASSERT_NE(image, nullptr) << mode;
        EXPECT_EQ(RenderARGB(*image), placeholder) << mode;
        EXPECT_EQ(locks + unlocks, 0u) << mode;
    }
    ASSERT_NE(Component(), nullptr) << "the plug-in did not load the LookpaneXXX component";
}

TEST_F(CILookpaneInput2vuyTest, A2vuyFrameIsConvertedThroughThe2vuyDecoderWithoutLocking) {
    uint64_t locks = 0, unlocks = 0;
    const auto image = Request("2vuy", locks, unlocks);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(locks + unlocks, 0u);
    EXPECT_TRUE(RenderARGB(*image) == Decoded2vuy());
}

TEST_F(CILookpaneInput2vuyTest, AFrameNoPixelBufferTakesIsCopiedUnderTheLock) {
    uint64_t locks = 0, unlocks = 0;
    const auto image = Request("argb-other", locks, unlocks);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(locks, 1u);
    EXPECT_EQ(unlocks, 1u);
    std::vector<uint8_t> expected(kWidth * kHeight * 4);
    DrawARGB(expected.data(), 0);
    // A copy: what the component writes afterwards does not show.
    auto frame = reinterpret_cast<ARGBFrameFn>(::dlsym(Component(), "LookpaneTest_ARGBFrame"));
    ASSERT_NE(frame, nullptr);
    DrawARGB(frame(), 99);
    EXPECT_TRUE(RenderARGB(*image) == expected);

    // Without a frame afterwards, the filter keeps that image.
    EXPECT_EQ(Request("none", locks, unlocks), image);
}

} // namespace
