// The filter over this system's own channel: VistrelX64 in the user's component folder and
// frames published by vistrel-channel in another process.
#include "tests/support/ComponentBinding.h"
#include "tests/support/PlugInHost.h"

using namespace plugintest;

namespace {

class CILookpaneInputTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        binding::RemoveChannel();
        LinkPlugIn();
        binding::LinkComponent();
    }
};

TEST_F(CILookpaneInputTest, WhileNothingBroadcastsEveryRequestGivesThePlaceholder) {
    std::shared_ptr<CIFilter> filter;
    const std::string classLog = testsupport::CaptureStandardError([&] { filter = MakeFilter(); });
    ASSERT_NE(filter, nullptr);
    EXPECT_NE(classLog.find("] __LP64__ CILookpaneInput test_cilookpaneinput\n"), std::string::npos)
        << classLog;
    // Readers made later log nothing while there is no frame.
    EXPECT_EQ(testsupport::CaptureStandardError([] { MakeFilter(); }), "");

    const auto placeholder = filter->outputImage();
    ASSERT_NE(placeholder, nullptr);
    EXPECT_EQ(RenderARGB(*placeholder), PlaceholderARGB());
    EXPECT_EQ(filter->outputImage(), placeholder);
}

TEST_F(CILookpaneInputTest, ThenTheNewestFrameAndAfterTheBroadcastThatSameFrame) {
    auto filter = MakeFilter();
    Publish({"--frames", "2", "--fps", "100", "--no-install"});
    const auto frame = filter->outputImage();
    ASSERT_NE(frame, nullptr);
    EXPECT_TRUE(RenderARGB(*frame) == Pattern(1)) << "not the last published frame";

    // A reader made while there is a frame says what it found.
    const std::string log = testsupport::CaptureStandardError([] { MakeFilter(); });
    EXPECT_NE(log.find("] __LP64__ CILookpaneInput (640,480) rowBytes:2560\n"), std::string::npos)
        << log;

    // The writer takes the frame back: the filter keeps showing the one it returned last.
    auto writer = binding::Component();
    ASSERT_TRUE(writer.Load(binding::BundleObject("VistrelX64")));
    ASSERT_TRUE(writer.fn1(nullptr));
    EXPECT_EQ(filter->outputImage(), frame);
    EXPECT_TRUE(RenderARGB(*frame) == Pattern(1));
}

// Hosts find the filter's one input by these words.
TEST_F(CILookpaneInputTest, TheOnlyInputIsTheClockADistanceUpToOneThousandMillion) {
    auto filter = MakeFilter();
    const CIAttributeDictionary expected = {{"inputClock",
                                             {{"CIAttributeType", "CIAttributeTypeDistance"},
                                              {"CIAttributeDefault", 0.0},
                                              {"CIAttributeIdentity", 0.0},
                                              {"CIAttributeMin", 0.0},
                                              {"CIAttributeSliderMin", 0.0},
                                              {"CIAttributeSliderMax", 1e9}}}};
    EXPECT_EQ(filter->customAttributes(), expected);
    EXPECT_TRUE(filter->setValue_forKey(12.5, "inputClock"));
    EXPECT_EQ(filter->valueForKey("inputClock"), 12.5);
    EXPECT_FALSE(filter->setValue_forKey(1.0, "inputImage"));
}

} // namespace
