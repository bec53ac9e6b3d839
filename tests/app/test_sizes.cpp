#include "app/sizes/GrabberSizes.h"
#include "app/sizes/NSSizeFromMenuText.h"

#include <cmath>
#include <gtest/gtest.h>
#include <tuple>

using namespace sizes;

namespace {

// "640 x 480"; -0 reads as 0, as it does as a save size.
std::string Text(CGSize s) {
    char text[64];
    std::snprintf(text, sizeof text, "%g x %g", s.width + 0.0, s.height + 0.0);
    return text;
}

TEST(SizeText, TitlesParseAndAreWrittenBack) {
    const char* const custom = kCustomPrefix;
    // A title, the prefix it is read with, the size read.
    const std::tuple<const char*, const char*, CGSize> parsed[] = {
        {"Custom: 1024x768", custom, {1024, 768}},
        {"Custom:  150.00%", custom, {-1.5, -1.5}},
        {"999%", nullptr, {-4, -4}},
        {"-20%", nullptr, {0, 0}},
        {"Any size", nullptr, {640, 480}},
        {"Custom...", custom, {640, 480}},
        {"640 x 480", custom, {640, 480}},
    };
    for (const auto& [title, prefix, size] : parsed)
        EXPECT_EQ(Text(sizeFromMenuTextWithPrefix(title, prefix)), Text(size)) << title;
    EXPECT_TRUE(sizeFromMenuTextWithCustomPrefixIsDefault("Custom..."));
    EXPECT_FALSE(sizeFromMenuTextWithCustomPrefixIsDefault("Custom: 800x600..."));
    // Either component below 1 writes a percentage of the width.
    EXPECT_EQ(sizeTitleWithCustomPrefix({640.9, 480.2}), "Custom: 640x480");
    EXPECT_EQ(sizeTitleWithCustomPrefix({-0.5, -0.5}), "Custom:  50.00%");
    EXPECT_EQ(sizeTitleWithCustomPrefix({800, 0.5}), "Custom:  80000.00%");
    EXPECT_FALSE(sizeTitleWithCustomPrefix({NAN, 480}) || sizeTitleWithCustomPrefix({1e12, 1}));
}

TEST(SaveSize, EachComponentIsAScaleBelowOneAndPointsFromOne) {
    // The save size, the size saved of a 640 x 480 grab.
    const std::pair<CGSize, CGSize> cases[] = {
        {{0, 0}, {640, 480}},      {{-0.5, -0.5}, {320, 240}}, {{800, 0.5}, {800, 240}},
        {{-2, 0.25}, {1280, 120}}, {{0, 480}, {0, 480}},
    };
    for (const auto& [save, saved] : cases)
        EXPECT_EQ(Text(SaveImageSizeForGrab({640, 480}, save)), Text(saved)) << Text(save);
    // The save panel: 100 in the percent field is (-1, -1), the grabbed size.
    EXPECT_EQ(Text(percentSizeForValue(1.0)), Text({-1, -1}));
    EXPECT_EQ(Text(percentSizeForValue(0.5)), Text({0.5, 0.5}));
    EXPECT_EQ(sizeFieldText(0.5) + " " + sizeFieldText(640.5), "0.50 640.5");
}

// (Right moving and Shift+Right widening, and Space saving, are the program's test.)
TEST(Grabber, KeysNudgeTheFrame) {
    const GrabberKeyAction down = KeyActionForCharacter(0xF701, kShiftKeyMask);
    EXPECT_EQ(down.key, GrabberKey::kNudge);
    const CGRect r = NudgedFrame({{100, 200}, {640, 480}}, down.d, down.shift);
    EXPECT_EQ(Text({r.origin.x, r.origin.y}) + " " + Text(r.size), "100 x 200 640 x 479");
    EXPECT_EQ(KeyActionForCharacter('a', 0).key, GrabberKey::kIgnored);
}

} // namespace
