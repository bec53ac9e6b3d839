// The move and size engine's arithmetic: corner hit tests, moves with and without the screen-top
// clamp, and a 16:9 grab view.
#include "app/windows/MouseMoveSizeMath.h"

#include <gtest/gtest.h>

#include <tuple>

using namespace mousemovesize;
using platform::appkit::NSMakeRect;

namespace {

// The corner squares and the drag each region starts. (The plain move and each corner's resizes
// within and at the limits are the grabber window's test.)
TEST(MoveSizeMath, CornerHitTestAndSizeModes) {
    const NSRect r = NSMakeRect(0, 0, 100, 80), tiny = NSMakeRect(0, 0, 15, 15);
    // The window's bounds, a point in them, its region and the drag it starts.
    const std::tuple<NSRect, NSPoint, NSWindow_HitTest, SizeMode> cases[] = {
        {r, {99, 79}, kHitTestTopRight, kSizeModeTopRight},
        {r, {0, 0}, kHitTestBottomLeft, kSizeModeBottomLeft},
        // The far edges are outside a square: x 10 is past the bottom-left square.
        {r, {10, 5}, kHitTestNone, kSizeModeMove},
        {r, {100, 5}, kHitTestNone, kSizeModeMove},
        // Smaller than two corners: the earlier square in the order wins.
        {tiny, {7, 7}, kHitTestTopLeft, kSizeModeTopLeft},
        {tiny, {12, 12}, kHitTestTopRight, kSizeModeTopRight},
    };
    for (const auto& [bounds, at, expected, mode] : cases) {
        const NSWindow_HitTest region = HitTest(bounds, {10, 10}, at);
        EXPECT_EQ(region, expected) << at.x << "," << at.y;
        EXPECT_EQ(SizeModeForHitRegion(region), mode) << at.x << "," << at.y;
    }
}

TEST(MoveSizeMath, MoveWithAndWithoutScreenTopClamp) {
    const NSRect screen = NSMakeRect(0, 0, 1280, 800);
    // The pointer, whether the screen top is left free, the origin moved to.
    const std::tuple<NSPoint, bool, NSPoint> cases[] = {
        {{500, 1000}, true, {400, 950}},      // the grabber may leave the screen top
        {{500, 1000}, false, {400, 600}},     // 800 - 200: top edge at the screen top
        {{500, 650}, false, {400, 600}},      // exactly at the top stays
        {{-900, -500}, false, {-1000, -550}}, // left and bottom are never clamped
    };
    for (const auto& [location, noClamp, expected] : cases) {
        const NSPoint origin = MovedOrigin(location, {100, 50}, {300, 200}, noClamp, screen);
        EXPECT_EQ(origin.x, expected.x);
        EXPECT_EQ(origin.y, expected.y) << location.y << " clamp " << !noClamp;
    }
}

TEST(MoveSizeMath, SixteenByNineHoldsForTheGrabView) {
    const NSSize delta{36, 36}; // frame minus grab view
    // (That a corner drag keeps the ratio is the program's test.) The ratio is applied after the
    // limits, so it may leave them.
    const NSSize largest = ConstrainedSize({2084, 2084}, {84, 84}, {2084, 2084}, [&](NSSize s) {
        return AspectConstrainedSize(s, 16.0f / 9.0f, delta);
    });
    EXPECT_GT(largest.width, 2084);
    // No ratio leaves the size free.
    EXPECT_EQ(AspectConstrainedSize({500, 300}, 0, delta).width, 500);
}

} // namespace
