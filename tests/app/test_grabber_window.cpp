// The grabber window on a real X server with a window manager: drags sent through XTEST move and
// resize it by the pointer's travel within its limits and ratio, the float flag lifts it only
// while it is key, and its grab view lets clicks through.
#include "app/windows/GrabRegionWindowLayout.h"
#include "tests/support/AppKitServer.h"
#include "tests/support/TestSupport.h"

#include <algorithm>
#include <string>
#include <tuple>

using namespace testsupport;

namespace {

constexpr ScreenSize kScreen{1024, 768};
constexpr NSSize kGrabView{400, 300};
constexpr int kBar = 18; // the layout's frame around the grab view

struct GrabberWindow : AppKitServerSuite<kScreen> {
    void SetUp() override {
        AppKitServerSuite::SetUp();
        if (HasFatalFailure()) return;
        const NSSize frame = GrabRegionWindowFrameSize(kGrabView);
        window = BuildGrabRegionWindow(NSMakeRect(200, 200, frame.width, frame.height));
        window->setFrameViewDelta(NSMakeSize(2 * kBar, 2 * kBar));
        window->makeKeyAndOrderFront(nullptr);
        // Root y of the top edge: 768 - (200 + height).
        start = {200, 768 - 200 - int(frame.height), int(frame.width), int(frame.height)};
        ASSERT_TRUE(SettlesAt(start)) << Describe(Frame());
        // The pointer starts once the grabber has the focus: a window manager that has only just
        // started may not hand it over on its own, and then a click on a bar gives it.
        if (!NSRunLoopRunUntil(3, [&] { return window->isKeyWindow(); })) Click(start, 200, 9);
        ASSERT_TRUE(NSRunLoopRunUntil(5, [&] { return window->isKeyWindow(); }));
        ASSERT_TRUE(SettlesAt(start)) << Describe(Frame());
    }
    void TearDown() override { window.reset(); }

    RootBox Frame() const {
        return RootGeometry(Display(), uint32_t(window->windowNumber())).value_or(RootBox{});
    }
    static std::string Describe(RootBox b) {
        return testing::PrintToString(std::tuple(b.x, b.y, b.width, b.height));
    }
    // Clicks at (x, y) of the box.
    void Click(const RootBox& box, int x, int y) const {
        ASSERT_TRUE(Xdotool(Display(), {"mousemove", std::to_string(box.x + x),
                                        std::to_string(box.y + y), "click", "1"}));
    }
    // Waits until no drag runs and the server shows the window there.
    bool SettlesAt(RootBox expected) const {
        return NSRunLoopRunUntil(5, [&] { return !NSApp()->isCapturing() && Frame() == expected; });
    }
    // Runs xdotool's steps beside the event loop, which turns until they and any drag have ended.
    bool Beside(std::vector<std::string> steps) const {
        steps.insert(steps.begin(), XServer::ProgramPath("xdotool"));
        const auto xdotool = Start(steps, {"DISPLAY=" + Display()});
        return NSRunLoopRunUntil(10, [&] { return xdotool->Wait(0) && !NSApp()->isCapturing(); });
    }

    std::unique_ptr<GrabRegionWindow> window;
    RootBox start{};
};

// Drags from a point of the window (counted from its top-left): bars move by the pointer's
// travel, corners resize by it within the limits (beyond them the window follows the dragged
// corner), Shift changes nothing, and a fixed size turns a corner drag into a move.
TEST_F(GrabberWindow, DragsMoveAndResizeByThePointersTravel) {
    const int x = start.x, y = start.y, w = start.width, h = start.height;
    const NSSize wide = GrabRegionWindowFrameSize({48, 48}), fixed = window->frame().size;
    // Limits: the suite's, 200 x 150 to 500 x 400, or the window's size.
    const std::pair<NSSize, NSSize> limits[] = {
        {wide, GrabRegionWindowFrameSize({2048, 2048})}, {{200, 150}, {500, 400}}, {fixed, fixed}};
    // The drag: where it starts, by how much, under which limits, with Shift; the frame after it.
    const std::tuple<const char*, int, int, int, int, int, bool, RootBox> drags[] = {
        {"top bar", 200, 9, 37, -23, 0, false, {x + 37, y - 23, w, h}},
        {"top-left", 5, 5, 30, 20, 0, false, {x + 30, y + 20, w - 30, h - 20}},
        {"bottom-right", w - 5, h - 5, 30, 20, 0, false, {x, y, w + 30, h + 20}},
        {"top-right", w - 5, 5, 30, -20, 0, false, {x, y - 20, w + 30, h + 20}},
        {"bottom-left", 5, h - 5, 30, 20, 0, false, {x + 30, y, w - 30, h + 20}},
        {"too large", w - 5, h - 5, 300, 200, 1, false, {x + w - 200, y + h - 200, 500, 400}},
        {"too small", 5, 5, 400, 300, 1, false, {x + 400, y + 300, 200, 150}},
        {"too narrow, too high", w - 5, 5, -400, -200, 1, false, {x + w - 600, y - 200, 200, 400}},
        {"shifted corner", w - 5, h - 5, 60, 40, 0, true, start},
        {"fixed size", w - 5, h - 5, 40, 30, 2, false, {x + 40, y + 30, w, h}},
    };
    for (const auto& [name, px, py, dx, dy, limit, shift, expected] : drags) {
        window->setMinSize(limits[limit].first);
        window->setMaxSize(limits[limit].second);
        window->setFrame_display(NSMakeRect(200, 200, w, h), true);
        ASSERT_TRUE(SettlesAt(start)) << name;
        std::vector<std::string> steps = DragSteps(x + px, y + py, dx, dy);
        if (shift) steps.insert(steps.begin(), {"keydown", "shift"});
        if (shift) steps.insert(steps.end(), {"keyup", "shift"});
        ASSERT_TRUE(Beside(steps)) << name;
        EXPECT_TRUE(SettlesAt(expected)) << name << ": " << Describe(Frame());
    }
}

// Counts its ticks, and those that came while a drag's capture loop ran.
struct TickCounter : NSObject {
    TickCounter() {
        addAction("tick:", [this](NSObject*) {
            ++ticks;
            capturing += NSApp()->isCapturing();
        });
    }
    int ticks = 0, capturing = 0;
};

// The window manager keeps the window on the screen, refusing or changing moves asked for by the
// program and by drags: the frame, the origin display and the grab view's place on the screen
// follow where the server has the window. Timers fire while a drag's capture loop runs.
TEST_F(GrabberWindow, FollowsTheServerWhenTheManagerRefusesAMoveAndTimersFireThroughout) {
    const int w = start.width, h = start.height;
    const auto follows = [&] {
        const RootBox real = Frame();
        const int x = real.x, y = kScreen.height - real.y - real.height;
        const NSPoint grab =
            window->convertBaseToScreen(window->mGrabTransparentView->frame().origin);
        return NSEqualRects(window->frame(), NSMakeRect(x, y, real.width, real.height)) &&
               window->mDisplayView2->title() ==
                   "(" + std::to_string(x + kBar) + "," + std::to_string(y + kBar) + ")" &&
               grab.x == x + kBar;
    };
    window->setFrame_display(NSMakeRect(2000, 200, w, h), true);
    EXPECT_TRUE(NSRunLoopRunUntil(5, follows)) << "moved far off the right: " << Describe(Frame());

    // Dragged against the manager's limit and held there, with xdotool beside the event loop: its
    // refusals come while the drag runs, and so do the timer's ticks.
    TickCounter counter;
    auto timer = NSTimer::scheduledTimerWithTimeInterval(0.02, &counter,
                                                         NSSelectorFromString("tick:"), true);
    window->setFrame_display(NSMakeRect(700, 200, w, h), true);
    ASSERT_TRUE(NSRunLoopRunUntil(5, follows));
    std::vector<std::string> held = DragSteps(Frame().x + 30, Frame().y + 9, 300, 0);
    held.insert(held.end() - 2, {"sleep", "0.8"});
    EXPECT_TRUE(Beside(held));
    // As soon as the drag has ended.
    EXPECT_TRUE(follows()) << "dragged off the right: " << Describe(Frame());
    EXPECT_GE(counter.capturing, 10) << counter.ticks << " ticks";
    timer->invalidate();
}

// The overlay views: a display shows only while the grab view is wider than 1 / 0.35 times it
// (the 400-point grab view shows one of 139 points, not one of 140); the corner handles show a
// grip while the mouse may resize the window and a plain square at a fixed size; sizes and
// origins print whole points.
TEST_F(GrabberWindow, OverlayViewsFollowTheirRules) {
    // The display's width, a fixed size; whether the display shows, whether the grip does.
    const std::tuple<double, bool, bool, bool> cases[] = {
        {140, false, false, true}, {139, false, true, true}, {139, true, true, false}};
    for (const auto& [width, fixed, shows, grip] : cases) {
        if (fixed) window->setMinSize(window->frame().size), window->setMaxSize(window->minSize());
        window->mDisplayView1->setFrameSize(NSMakeSize(width, 14));
        window->display();
        NSRunLoopRunUntil(0.5, [] { return false; });
        // In the bottom bar: the first display from 4 points in, the bottom-left handle below.
        const auto at = [f = Frame()](int x, int up) {
            return RootPixel(Display(), f.x + x, f.y + f.height - up);
        };
        EXPECT_EQ(at(kBar + 12, 9) != at(kBar + 2, 9), shows) << width;
        EXPECT_EQ(at(9, 9) != at(1, 2), grip) << fixed;
    }
    window->mGrabTransparentView->setFrameSize(NSMakeSize(320.4, 240.6));
    EXPECT_EQ(window->mDisplayView1->title() + " " + window->mDisplayView2->title(),
              "320 x 241 (218,218)");
}

TEST_F(GrabberWindow, FloatsAboveAnotherWindowOnlyWhileKey) {
    NSWindow other(NSMakeRect(100, 100, 500, 500), NSTitledWindowMask, NSBackingStoreBuffered,
                   false);
    other.makeKeyAndOrderFront(nullptr);
    const uint32_t grabber = uint32_t(window->windowNumber());
    const uint32_t otherId = uint32_t(other.windowNumber());
    const auto above = [&] { return KeptAbove(Display(), grabber); };
    const RootBox otherBox = RootGeometry(Display(), otherId).value_or(RootBox{});

    window->setFloatAboveMenus(true);
    Click(start, 200, 9);
    EXPECT_TRUE(NSRunLoopRunUntil(5, [&] {
        return window->isKeyWindow() && above() && StackedAbove(Display(), grabber, otherId);
    }));
    // Another window becomes key: the grabber drops to the normal level, below it.
    Click(otherBox, 5, otherBox.height - 5);
    const auto dropped = [&] {
        return !window->isKeyWindow() && !above() && StackedAbove(Display(), otherId, grabber);
    };
    EXPECT_TRUE(NSRunLoopRunUntil(5, dropped)) << window->isKeyWindow() << " " << above();
    // Without the flag, being key does not lift it (its right bar is clear of the other window).
    window->setFloatAboveMenus(false);
    Click(start, start.width - 9, 150);
    EXPECT_TRUE(NSRunLoopRunUntil(5, [&] { return window->isKeyWindow(); }));
    NSRunLoopRunUntil(0.3, [] { return false; });
    EXPECT_FALSE(above());
}

// Clicks on the grab view reach the window below and leave the grabber where it is. (That the
// view shows the screen below is the program test's: its raised grab reads the pattern there.)
TEST_F(GrabberWindow, GrabViewPassesClicksToTheWindowBelow) {
    PatternWindow below(Display(), {0, 0, kScreen.width, kScreen.height}, 5);
    ASSERT_TRUE(below.Shown());
    // A loaded server may still be placing the window below: one more click if none arrived.
    int presses = 0;
    for (int attempt = 0; attempt < 2 && !presses; ++attempt) {
        NSRunLoopRunUntil(0.3, [] { return false; });
        Click(start, start.width / 2, start.height / 2);
        presses = below.Presses(3);
    }
    EXPECT_EQ(presses, 1);
    NSRunLoopRunUntil(0.3, [] { return false; });
    EXPECT_EQ(Frame(), start);
}

} // namespace
