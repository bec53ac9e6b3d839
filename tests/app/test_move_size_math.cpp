// The move and size engine's arithmetic: corner hit tests, moves with and without the screen-top
// clamp, and corner resizes within limits and a 16:9 grab view.
#include "app/windows/MouseMoveSizeMath.h"

#include <gtest/gtest.h>

using namespace mousemovesize;
using platform::appkit::NSMakeRect;

namespace {

void ExpectRect(NSRect actual, NSRect expected) {
    EXPECT_DOUBLE_EQ(actual.origin.x, expected.origin.x);
    EXPECT_DOUBLE_EQ(actual.origin.y, expected.origin.y);
    EXPECT_DOUBLE_EQ(actual.size.width, expected.size.width);
    EXPECT_DOUBLE_EQ(actual.size.height, expected.size.height);
}

TEST(MoveSizeMath, CornerHitTest) {
    const struct {
        NSRect bounds;
        NSPoint at;
        NSWindow_HitTest region;
    } cases[] = {
        {NSMakeRect(0, 0, 100, 80), {1, 79}, kHitTestTopLeft},
        {NSMakeRect(0, 0, 100, 80), {99, 79}, kHitTestTopRight},
        {NSMakeRect(0, 0, 100, 80), {0, 0}, kHitTestBottomLeft},
        {NSMakeRect(0, 0, 100, 80), {95, 5}, kHitTestBottomRight},
        {NSMakeRect(0, 0, 100, 80), {50, 40}, kHitTestNone},
        // The far edges are outside a square: x 10 is past the bottom-left square.
        {NSMakeRect(0, 0, 100, 80), {10, 5}, kHitTestNone},
        {NSMakeRect(0, 0, 100, 80), {100, 5}, kHitTestNone},
        // Smaller than two corners: the earlier square in the order wins.
        {NSMakeRect(0, 0, 15, 15), {7, 7}, kHitTestTopLeft},
        {NSMakeRect(0, 0, 15, 15), {12, 12}, kHitTestTopRight},
    };
    for (const auto& c : cases)
        EXPECT_EQ(HitTest(c.bounds, {10, 10}, c.at), c.region) << c.at.x << "," << c.at.y;
}

TEST(MoveSizeMath, SizeModes) {
    EXPECT_EQ(SizeModeForHitRegion(kHitTestNone), kSizeModeMove);
    EXPECT_EQ(SizeModeForHitRegion(kHitTestTopLeft), kSizeModeTopLeft);
    EXPECT_EQ(SizeModeForHitRegion(kHitTestTopRight), kSizeModeTopRight);
    EXPECT_EQ(SizeModeForHitRegion(kHitTestBottomLeft), kSizeModeBottomLeft);
    EXPECT_EQ(SizeModeForHitRegion(kHitTestBottomRight), kSizeModeBottomRight);
}

TEST(MoveSizeMath, MoveWithAndWithoutScreenTopClamp) {
    const NSRect screen = NSMakeRect(0, 0, 1280, 800);
    const struct {
        NSPoint location;
        bool noClamp;
        NSPoint origin;
    } cases[] = {
        {{500, 300}, false, {400, 250}},
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

TEST(MoveSizeMath, CornerResizesFollowThePointer) {
    const NSRect start = NSMakeRect(100, 100, 400, 300);
    const NSPoint from{0, 0};
    const NSPoint by{30, -20}; // right 30, down 20
    const struct {
        SizeMode mode;
        NSRect frame;
    } cases[] = {
        {kSizeModeTopLeft, NSMakeRect(130, 100, 370, 280)},
        {kSizeModeTopRight, NSMakeRect(100, 100, 430, 280)},
        {kSizeModeBottomLeft, NSMakeRect(130, 80, 370, 320)},
        {kSizeModeBottomRight, NSMakeRect(100, 80, 430, 320)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.mode);
        ExpectRect(CornerResizedFrame(c.mode, start, from, by, nullptr), c.frame);
    }
}

TEST(MoveSizeMath, LimitsMoveTheOppositeCorner) {
    const NSRect start = NSMakeRect(100, 100, 400, 300);
    const auto limits = [](NSSize s) {
        return ConstrainedSize(s, {200, 150}, {450, 320}, nullptr);
    };
    const struct {
        SizeMode mode;
        NSPoint to;
        NSRect frame;
    } cases[] = {
        // At the maximum, dragging further right moves the window and keeps its width.
        {kSizeModeBottomRight, {200, -100}, NSMakeRect(250, 0, 450, 320)},
        {kSizeModeTopLeft, {350, -300}, NSMakeRect(450, -50, 200, 150)},
        {kSizeModeTopRight, {-350, 50}, NSMakeRect(-50, 130, 200, 320)},
        {kSizeModeBottomLeft, {0, 0}, NSMakeRect(100, 100, 400, 300)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.mode);
        ExpectRect(CornerResizedFrame(c.mode, start, {0, 0}, c.to, limits), c.frame);
    }
}

TEST(MoveSizeMath, SixteenByNineHoldsForTheGrabView) {
    const NSSize delta{36, 36}; // frame minus grab view
    const auto constrain = [&](NSSize s) {
        return ConstrainedSize(s, {84, 84}, {2084, 2084}, [&](NSSize limited) {
            return AspectConstrainedSize(limited, 16.0f / 9.0f, delta);
        });
    };
    for (const NSPoint to : {NSPoint{50, -90}, NSPoint{-200, 140}, NSPoint{7, -3}}) {
        const NSRect f = CornerResizedFrame(kSizeModeBottomRight, NSMakeRect(0, 0, 676, 516),
                                            {0, 0}, to, constrain);
        EXPECT_NEAR((f.size.width - delta.width) / (f.size.height - delta.height), 16.0 / 9.0,
                    1e-6);
        EXPECT_EQ(f.size.height, 516 - to.y);
    }
    // The ratio is applied after the limits, so it may leave them.
    EXPECT_GT(constrain({2084, 2084}).width, 2084);
    // No ratio leaves the size free.
    EXPECT_EQ(AspectConstrainedSize({500, 300}, 0, delta).width, 500);
}

} // namespace
