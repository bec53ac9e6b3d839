// The move and size engine's arithmetic: corner hit tests, moves with and without the screen-top
// clamp, and a 16:9 grab view.
#include "app/windows/MouseMoveSizeMath.h"

#include <gtest/gtest.h>

using namespace mousemovesize;
using platform::appkit::NSMakeRect;

namespace {

// The corner squares and the drag each region starts. (The plain move and each corner's resizes
// within and at the limits are the grabber window's test.)
TEST(MoveSizeMath, CornerHitTestAndSizeModes) {
    const NSRect r = NSMakeRect(0, 0, 100, 80), tiny = NSMakeRect(0, 0, 15, 15);
    const struct {
        NSRect bounds;
        NSPoint at;
        NSWindow_HitTest region;
        SizeMode mode;
    } cases[] = {
        {r, {99, 79}, kHitTestTopRight, kSizeModeTopRight},
        {r, {0, 0}, kHitTestBottomLeft, kSizeModeBottomLeft},
        {r, {50, 40}, kHitTestNone, kSizeModeMove},
        // The far edges are outside a square: x 10 is past the bottom-left square.
        {r, {10, 5}, kHitTestNone, kSizeModeMove},
        {r, {100, 5}, kHitTestNone, kSizeModeMove},
        // Smaller than two corners: the earlier square in the order wins.
        {tiny, {7, 7}, kHitTestTopLeft, kSizeModeTopLeft},
        {tiny, {12, 12}, kHitTestTopRight, kSizeModeTopRight},
    };
    for (const auto& c : cases) {
        const NSWindow_HitTest region = HitTest(c.bounds, {10, 10}, c.at);
        EXPECT_EQ(region, c.region) << c.at.x << "," << c.at.y;
        EXPECT_EQ(SizeModeForHitRegion(region), c.mode) << c.at.x << "," << c.at.y;
    }
}

TEST(MoveSizeMath, MoveWithAndWithoutScreenTopClamp) {
    const NSRect screen = NSMakeRect(0, 0, 1280, 800);
    const struct {
        NSPoint location;
        bool noClamp;
        NSPoint origin;
    } cases[] = {
        {{500, 1000}, true, {400, 950}},      // the grabber may leave the screen top
        {{500, 1000}, false, {400, 600}},     // 800 - 200: top edge at the screen top
        {{500, 650}, false, {400, 600}},      // exactly at the top stays
        {{-900, -500}, false, {-1000, -550}}, // left and bottom are never clamped
    };
    for (const auto& c : cases) {
        const NSPoint origin = MovedOrigin(c.location, {100, 50}, {300, 200}, c.noClamp, screen);
        EXPECT_EQ(origin.x, c.origin.x);
        EXPECT_EQ(origin.y, c.origin.y) << c.location.y << " clamp " << !c.noClamp;
    }
}

TEST(MoveSizeMath, SixteenByNineHoldsForTheGrabView) {
    const NSSize delta{36, 36}; // frame minus grab view
    const auto constrain = [&](NSSize s) {
        return ConstrainedSize(s, {84, 84}, {2084, 2084}, [&](NSSize limited) {
            return AspectConstrainedSize(limited, 16.0f / 9.0f, delta);
        });
    };
    // (That a corner drag keeps the ratio is the program's test.) The ratio is applied after the
    // limits, so it may leave them.
    EXPECT_GT(constrain({2084, 2084}).width, 2084);
    // No ratio leaves the size free.
    EXPECT_EQ(AspectConstrainedSize({500, 300}, 0, delta).width, 500);
}

} // namespace
