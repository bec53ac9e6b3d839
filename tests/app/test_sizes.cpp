#include "app/sizes/GrabberSizes.h"
#include "app/sizes/NSSizeFromMenuText.h"

#include <cmath>
#include <gtest/gtest.h>

using namespace sizes;

namespace {

void ExpectSize(CGSize actual, CGSize expected, const std::string& where) {
    EXPECT_DOUBLE_EQ(actual.width, expected.width) << where;
    EXPECT_DOUBLE_EQ(actual.height, expected.height) << where;
}

TEST(SizeText, TitlesParseAsTheMenusWriteThem) {
    struct Case {
        const char* title;
        const char* prefix;
        CGSize size;
    } cases[] = {
        {"Custom: 1024x768", kCustomPrefix, {1024, 768}},
        {"Custom:  150.00%", kCustomPrefix, {-1.5, -1.5}},
        {"Custom:  50.00%", kCustomPrefix, {-0.5, -0.5}},
        {"999%", nullptr, {-4.0, -4.0}},
        {"-20%", nullptr, {0, 0}},
        {"Any size", nullptr, {640, 480}},
        {"Custom...", kCustomPrefix, {640, 480}},
        {"640 x 480", nullptr, {640, 480}},
        {"320 x 240", kCustomPrefix, {320, 240}}, // prefix absent: the whole title
        {"Wide 1920x1080", "Wide", {1920, 1080}},
        {"x", nullptr, {0, 0}},
        {nullptr, kCustomPrefix, {640, 480}},
    };
    for (const Case& c : cases)
        ExpectSize(sizeFromMenuTextWithPrefix(c.title, c.prefix), c.size,
                   c.title ? c.title : "(no title)");
    ExpectSize(sizeFromMenuTextWithNoPrefix("Custom: 1024x768"), {0, 768}, "no prefix");
}

TEST(SizeText, OnlyAnUntouchedCustomTitleIsTheDefault) {
    EXPECT_TRUE(sizeFromMenuTextWithCustomPrefixIsDefault("Custom..."));
    EXPECT_FALSE(sizeFromMenuTextWithCustomPrefixIsDefault("Custom:  640x480"));
    EXPECT_FALSE(sizeFromMenuTextWithCustomPrefixIsDefault("Custom: 800x600..."));
    EXPECT_FALSE(sizeFromMenuTextWithCustomPrefixIsDefault(nullptr));
}

TEST(SizeText, TitlesAreWrittenAndReadBack) {
    struct Case {
        CGSize size;
        const char* title;
        CGSize readBack;
    } cases[] = {
        {{1024, 768}, "Custom:  1024x768", {1024, 768}},
        {{640.9, 480.2}, "Custom:  640x480", {640, 480}},
        {{-0.5, -0.5}, "Custom:  50.00%", {-0.5, -0.5}},
        {{-1, -1}, "Custom:  100.00%", {-1, -1}},
        {{0.25, 0.25}, "Custom:  25.00%", {-0.25, -0.25}},
        // Either component below 1 makes a percentage, taken from the width.
        {{800, 0.5}, "Custom:  80000.00%", {-4, -4}},
    };
    for (const Case& c : cases) {
        const std::optional<std::string> title = sizeTitleWithCustomPrefix(c.size);
        ASSERT_TRUE(title) << c.title;
        EXPECT_EQ(*title, c.title);
        ExpectSize(sizeFromMenuTextWithCustomPrefix(title->c_str()), c.readBack, c.title);
    }
    EXPECT_EQ(sizeTitle_withPrefix({3, 4}, nullptr), " 3x4");
    EXPECT_FALSE(sizeTitleWithCustomPrefix({NAN, 480}));
    EXPECT_FALSE(sizeTitleWithCustomPrefix({1e12, 480}));
    EXPECT_FALSE(sizeTitleWithCustomPrefix({640, -INFINITY}));
}

TEST(SaveSize, EachComponentIsAScaleBelowOneAndPointsFromOne) {
    struct Case {
        CGSize save, result;
    } cases[] = {
        {{0, 0}, {640, 480}},   {{-0.5, -0.5}, {320, 240}}, {{800, 0.5}, {800, 240}},
        {{-1, -1}, {640, 480}}, {{1, 1}, {1, 1}},           {{-2, 0.25}, {1280, 120}},
        {{0, 480}, {0, 480}}, // only exactly (0, 0) keeps the grabbed size
    };
    for (const Case& c : cases)
        ExpectSize(SaveImageSizeForGrab({640, 480}, c.save), c.result,
                   std::to_string(c.save.width) + "," + std::to_string(c.save.height));
    // A "-20%" title reads as (-0, -0): the grabbed size.
    EXPECT_TRUE(IsSaveSizeSameAsGrab(frameSizeFromMenuTextString("-20%")));
}

TEST(SaveSize, ThePercentPanelGivesScaleFactors) {
    struct Case {
        double percentText;
        CGSize size;
        const char* title;
        CGSize saved;
    } cases[] = {
        {100, {-1, -1}, "Custom:  100.00%", {640, 480}},
        {50, {0.5, 0.5}, "Custom:  50.00%", {320, 240}},
        {250, {-2.5, -2.5}, "Custom:  250.00%", {1600, 1200}},
    };
    for (const Case& c : cases) {
        const CGSize size = percentSizeForValue(c.percentText / 100);
        ExpectSize(size, c.size, c.title);
        EXPECT_EQ(sizeTitleWithCustomPrefix(size), c.title);
        ExpectSize(SaveImageSizeForGrab({640, 480}, size), c.saved, c.title);
    }
    EXPECT_DOUBLE_EQ(percentValueForSize({-1.5, 0.5}), 0.5);
    EXPECT_EQ(sizeFieldText(0.5), "0.50");
    EXPECT_EQ(sizeFieldText(-1.5), "-1.50");
    EXPECT_EQ(sizeFieldText(640), "640");
    EXPECT_EQ(sizeFieldText(640.5), "640.5");
}

TEST(Constraints, EachActionSetsItsRatio) {
    struct Case {
        const char* selector;
        float ratio; // as the menu's single-precision values
    } cases[] = {
        {"selectGrabberConstrainNone:", 0},         {"selectGrabberConstrainSquare:", 1},
        {"selectGrabberConstrain4x3:", 1.3333334f}, {"selectGrabberConstrain16x9:", 1.7777778f},
        {"selectGrabberConstrain22x1:", 2.21f},
    };
    for (const Case& c : cases) {
        const std::optional<double> ratio = AspectRatioForConstrainAction(c.selector);
        ASSERT_TRUE(ratio) << c.selector;
        EXPECT_EQ(float(*ratio), c.ratio) << c.selector;
    }
    EXPECT_FALSE(AspectRatioForConstrainAction("selectGrabberConstrain4x3"));
}

TEST(Nudges, MenusAndArrowsMoveOrSizeByOnePoint) {
    const CGRect frame{{100, 200}, {640, 480}};
    struct Case {
        const char* selector;
        CGRect result;
    } cases[] = {
        {"menuMoveLookpaneRight:", {{101, 200}, {640, 480}}},
        {"menuMoveLookpaneLeft:", {{99, 200}, {640, 480}}},
        {"menuMoveLookpaneUp:", {{100, 201}, {640, 480}}},
        {"menuMoveLookpaneDown:", {{100, 199}, {640, 480}}},
        {"menuSizeLookpaneNarrow:", {{100, 200}, {641, 480}}},
        {"menuSizeLookpaneWiden:", {{100, 200}, {639, 480}}},
        {"menuSizeLookpaneTaller:", {{100, 200}, {640, 481}}},
        {"menuSizeLookpaneShorter:", {{100, 200}, {640, 479}}},
    };
    for (const Case& c : cases) {
        const MenuNudge* nudge = MenuNudgeForAction(c.selector);
        ASSERT_TRUE(nudge) << c.selector;
        const CGRect r = NudgedFrame(frame, nudge->d, nudge->shift);
        ExpectSize({r.origin.x, r.origin.y}, {c.result.origin.x, c.result.origin.y}, c.selector);
        ExpectSize(r.size, c.result.size, c.selector);
    }
    EXPECT_EQ(MenuNudgeForAction("menuMoveLookpane:"), nullptr);
    // Limits do not apply: a nudge may take the size below the any-size minimum.
    const CGRect tiny = NudgedFrame({{0, 0}, {48, 48}}, {-1, 0}, true);
    EXPECT_EQ(tiny.size.width, 47);
}

TEST(Keys, GrabberWindowKeys) {
    struct Case {
        uint16_t character;
        uint32_t flags;
        GrabberKey key;
        CGSize d;
    } cases[] = {
        {3, 0, GrabberKey::kHandled, {0, 0}},
        {13, kShiftKeyMask, GrabberKey::kHandled, {0, 0}},
        {' ', 0, GrabberKey::kQuickSave, {0, 0}},
        {0xF700, 0, GrabberKey::kNudge, {0, 1}},
        {0xF701, 0, GrabberKey::kNudge, {0, -1}},
        {0xF702, 0, GrabberKey::kNudge, {-1, 0}},
        {0xF703, kShiftKeyMask, GrabberKey::kNudge, {1, 0}},
        {'a', 0, GrabberKey::kIgnored, {0, 0}},
        {0xF704, 0, GrabberKey::kIgnored, {0, 0}}, // F1
    };
    for (const Case& c : cases) {
        const GrabberKeyAction action = KeyActionForCharacter(c.character, c.flags);
        EXPECT_EQ(action.key, c.key) << c.character;
        EXPECT_EQ(action.Handled(), c.key != GrabberKey::kIgnored) << c.character;
        ExpectSize(action.d, c.d, std::to_string(c.character));
    }
    // Shift+Right widens by one point; Right alone moves one point right.
    const CGRect frame{{10, 10}, {200, 100}};
    const GrabberKeyAction widen = KeyActionForCharacter(0xF703, kShiftKeyMask | 0x100);
    const GrabberKeyAction move = KeyActionForCharacter(0xF703, 0x100);
    const CGRect widened = NudgedFrame(frame, widen.d, widen.shift);
    const CGRect moved = NudgedFrame(frame, move.d, move.shift);
    EXPECT_EQ(widened.size.width, 201);
    EXPECT_EQ(widened.origin.x, 10);
    EXPECT_EQ(moved.origin.x, 11);
    EXPECT_EQ(moved.size.width, 200);
}

} // namespace
