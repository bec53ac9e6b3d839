// The filter as hosts load it, over a component of the other maker's name (the test component
// LookpaneXXX), which the plug-in prefers to this system's own VistrelX64 (installed too). By
// default LookpaneXXX forwards to VistrelX64 and so serves the frames vistrel-channel publishes
// in another process; its other modes serve 2vuy frames, frames only a copy can take, and records
// the filter must refuse.
#include "tests/plugin/LookpaneTestFrames.h"
#include "tests/support/PlugInHost.h"

using namespace plugintest;
using namespace lookpane_test;

namespace {

class CILookpaneInputTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        InstallForwardingComponent(LOOKPANE_TEST_BUNDLE);
        sClassLog = testsupport::CaptureStandardError([] { MakeFilter(); });
    }

    // The request under a mode, with the lock and unlock calls it made.
    std::shared_ptr<CIImage> Request(const char* mode) {
        testsupport::ScopedEnv env("LOOKPANE_TEST_MODE", mode);
        const auto stats =
            ComponentExport<LockStatsFn>(LOOKPANE_TEST_OBJECT, "LookpaneTest_LockStats");
        const LockStats before = stats ? stats() : LockStats{};
        auto image = filter->outputImage();
        locks = stats ? stats().locks - before.locks : ~0ull;
        unlocks = stats ? stats().unlocks - before.unlocks : ~0ull;
        return image;
    }

    static inline std::string sClassLog; // the plug-in's first reader names its host
    std::shared_ptr<CIFilter> filter = MakeFilter();
    uint64_t locks = 0, unlocks = 0;
};

// While nothing broadcasts every request gives the placeholder; then the newest frame. (That the
// last image stays once no frame is current: the next test, with its "none" mode.)
TEST_F(CILookpaneInputTest, ThePlaceholderThenTheNewestFrame) {
    EXPECT_NE(sClassLog.find("] __LP64__ CILookpaneInput test_cilookpaneinput\n"),
              std::string::npos)
        << sClassLog;
    std::shared_ptr<CIImage> placeholder;
    // The card comes with its reason, once for each reason.
    const std::string why = "CILookpaneInput: showing the no-camera card: ";
    const std::string none = testsupport::CaptureStandardError([&] {
        placeholder = Request(nullptr);
        EXPECT_EQ(Request(nullptr), placeholder);
    });
    const size_t at = none.find(why + "no broadcast has created the camera channel " +
                                binding::RegionPath() + "\n");
    EXPECT_TRUE(at != std::string::npos && at == none.rfind(why)) << none;
    ASSERT_NE(placeholder, nullptr);
    EXPECT_EQ(RenderARGB(*placeholder), PlaceholderARGB());
    EXPECT_EQ(locks + unlocks, 0u) << "nothing to lock without a frame";
    Publish({"--frames", "1", "--deny-connections", "--no-install"});
    std::shared_ptr<CIImage> refused;
    const std::string off =
        testsupport::CaptureStandardError([&] { refused = MakeFilter()->outputImage(); });
    EXPECT_NE(off.find(why + "camera connections are switched off"), std::string::npos) << off;
    EXPECT_TRUE(refused && RenderARGB(*refused) == PlaceholderARGB()) << "the broadcast shows";

    Publish({"--frames", "2", "--fps", "100", "--no-install"});
    const auto frame = Request(nullptr);
    ASSERT_NE(frame, nullptr);
    EXPECT_TRUE(RenderARGB(*frame) == Pattern(1)) << "not the last published frame";
    EXPECT_TRUE(locks == 1 && unlocks == 1) << locks << " " << unlocks;
}

// Records without usable memory give the placeholder; a 2vuy frame goes through the 2vuy decoder
// without the lock, and a frame no pixel buffer takes is copied under it.
TEST_F(CILookpaneInputTest, EachKindOfRecordGivesItsImageWithTheLocksItNeeds) {
    std::vector<uint8_t> argb(kWidth * kHeight * 4);
    DrawARGB(argb.data(), 0);
    std::shared_ptr<CIImage> image;
    for (const auto& [mode, expected, taken] : {std::tuple{"null", PlaceholderARGB(), 0ull},
                                                {"oversize", PlaceholderARGB(), 0ull},
                                                {"2vuy", Decoded2vuy(), 0ull},
                                                {"argb-other", argb, 1ull}}) {
        image = Request(mode);
        ASSERT_NE(image, nullptr) << mode;
        EXPECT_TRUE(RenderARGB(*image) == expected) << mode;
        EXPECT_TRUE(locks == taken && unlocks == taken) << mode << ": " << locks;
    }
    // A copy: what the component writes afterwards does not show, and without a frame afterwards
    // the filter keeps that image.
    auto frame = ComponentExport<ARGBFrameFn>(LOOKPANE_TEST_OBJECT, "LookpaneTest_ARGBFrame");
    ASSERT_NE(frame, nullptr);
    DrawARGB(frame(), 99);
    EXPECT_TRUE(RenderARGB(*image) == argb);
    EXPECT_EQ(Request("none"), image);
}

// Hosts find the filter's one input by these words.
TEST_F(CILookpaneInputTest, TheOnlyInputIsTheClockADistanceUpToOneThousandMillion) {
    const CIAttributeDictionary expected = {{"inputClock",
                                             {{"CIAttributeType", "CIAttributeTypeDistance"},
                                              {"CIAttributeDefault", 0.0},
                                              {"CIAttributeIdentity", 0.0},
                                              {"CIAttributeMin", 0.0},
                                              {"CIAttributeSliderMin", 0.0},
                                              {"CIAttributeSliderMax", 1e9}}}};
    EXPECT_EQ(filter->customAttributes(), expected);
    EXPECT_TRUE(filter->setValue_forKey(12.5, "inputClock"));
    EXPECT_FALSE(filter->setValue_forKey(1.0, "inputImage"));
}

} // namespace
