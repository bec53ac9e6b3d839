// The grabber window on a real X server with a window manager: drags sent through XTEST move and
// resize it by the pointer's travel within its limits and ratio, the float flag lifts it only
// while it is key, and its grab view shows the screen below and lets clicks through.
#include "app/windows/GrabRegionWindowLayout.h"
#include "platform/quartzdisplay/CoreGraphicsDisplays.h"
#include "tests/support/AppKitServer.h"
#include "tests/support/TestSupport.h"

#include <algorithm>
#include <cmath>
#include <string>

using namespace testsupport;
namespace cg = platform::coregraphics;

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
        window->setMinSize(GrabRegionWindowFrameSize({48, 48}));
        window->setMaxSize(GrabRegionWindowFrameSize({2048, 2048}));
        window->setFrameViewDelta(NSMakeSize(2 * kBar, 2 * kBar));
        window->makeKeyAndOrderFront(nullptr);
        // Root y of the top edge: 768 - (200 + height).
        start = {200, 768 - 200 - int(frame.height), int(frame.width), int(frame.height)};
        ASSERT_TRUE(SettlesAt(start)) << Describe(Frame());
        // The pointer starts once the grabber has the focus: a window manager that has only just
        // started may not hand it over on its own, and then a click on a bar gives it.
        if (!NSRunLoopRunUntil(3, [&] { return window->isKeyWindow(); }))
            Xdotool(Display(), {"mousemove", std::to_string(start.x + 200),
                                std::to_string(start.y + 9), "click", "1"});
        ASSERT_TRUE(NSRunLoopRunUntil(5, [&] { return window->isKeyWindow(); }));
        ASSERT_TRUE(SettlesAt(start)) << Describe(Frame());
    }
    void TearDown() override { window.reset(); }

    RootBox Frame() const {
        return RootGeometry(Display(), uint32_t(window->windowNumber())).value_or(RootBox{});
    }
    static std::string Describe(RootBox b) {
        return std::to_string(b.x) + "," + std::to_string(b.y) + " " + std::to_string(b.width) +
               "x" + std::to_string(b.height);
    }
    // Waits until no drag runs and the server shows the window there.
    bool SettlesAt(RootBox expected) const {
        return NSRunLoopRunUntil(5, [&] { return !NSApp()->isCapturing() && Frame() == expected; });
    }
    // Presses at (x, y) of the window, moves by (dx, dy) in two steps and releases.
    void Drag(int x, int y, int dx, int dy, bool shift = false) const {
        const RootBox f = Frame();
        const auto at = [](int v) { return std::to_string(v); };
        std::vector<std::string> args;
        if (shift) args = {"keydown", "shift"};
        const int x0 = f.x + x, y0 = f.y + y;
        for (const std::string& a :
             {std::string("mousemove"), at(x0), at(y0), std::string("mousedown"), at(1),
              std::string("mousemove"), at(x0 + dx / 2), at(y0 + dy / 2), std::string("mousemove"),
              at(x0 + dx), at(y0 + dy), std::string("mouseup"), at(1)})
            args.push_back(a);
        if (shift) args.insert(args.end(), {"keyup", "shift"});
        ASSERT_TRUE(Xdotool(Display(), args));
        NSRunLoopRunUntil(0.3, [] { return false; });
        NSRunLoopRunUntil(5, [] { return !NSApp()->isCapturing(); });
    }
    static RootBox Moved(RootBox b, int dx, int dy) {
        return {b.x + dx, b.y + dy, b.width, b.height};
    }

    std::unique_ptr<GrabRegionWindow> window;
    RootBox start{};
};

TEST_F(GrabberWindow, BarDragsMoveByThePointersTravel) {
    const struct {
        const char* bar;
        int x, y; // in the window, counted from its top-left
    } bars[] = {{"top", 200, 9}, {"bottom", 200, 327}, {"left", 9, 150}, {"right", 427, 150}};
    RootBox expected = start;
    for (const auto& b : bars) {
        Drag(b.x, b.y, 37, -23);
        expected = Moved(expected, 37, -23);
        EXPECT_TRUE(SettlesAt(expected)) << b.bar << ": " << Describe(Frame());
    }
}

TEST_F(GrabberWindow, CornerDragsResizeByThePointersTravel) {
    const int w = start.width, h = start.height;
    const struct {
        const char* corner;
        int x, y;
        RootBox expected; // after a drag by (+30, +20)
    } corners[] = {
        {"top-left", 5, 5, {start.x + 30, start.y + 20, w - 30, h - 20}},
        {"top-right", w - 5, 5, {start.x, start.y + 20, w + 30, h - 20}},
        {"bottom-left", 5, h - 5, {start.x + 30, start.y, w - 30, h + 20}},
        {"bottom-right", w - 5, h - 5, {start.x, start.y, w + 30, h + 20}},
    };
    for (const auto& c : corners) {
        window->setFrame_display(NSMakeRect(200, 200, w, h), true);
        ASSERT_TRUE(SettlesAt(start));
        Drag(c.x, c.y, 30, 20);
        EXPECT_TRUE(SettlesAt(c.expected)) << c.corner << ": " << Describe(Frame());
    }
}

TEST_F(GrabberWindow, LimitsHoldDuringACornerDrag) {
    window->setMaxSize(NSMakeSize(500, 400));
    window->setMinSize(NSMakeSize(200, 150));
    // Beyond the maximum the window follows the dragged corner at its largest size.
    Drag(start.width - 5, start.height - 5, 300, 200);
    const RootBox big{start.x + start.width + 300 - 500, start.y + start.height + 200 - 400, 500,
                      400};
    EXPECT_TRUE(SettlesAt(big)) << Describe(Frame());
    Drag(5, 5, 400, 300);
    const RootBox small{big.x + 400, big.y + 300, 200, 150};
    EXPECT_TRUE(SettlesAt(small)) << Describe(Frame());
}

TEST_F(GrabberWindow, SixteenByNineHoldsDuringACornerDrag) {
    window->setConstrainedAspectRatio(16.0f / 9.0f);
    for (const int dy : {60, -90}) {
        const RootBox before = Frame();
        Drag(before.width - 5, before.height - 5, 10, dy);
        NSRunLoopRunUntil(5, [&] { return Frame().height == before.height + dy; });
        const RootBox after = Frame();
        EXPECT_EQ(after.height, before.height + dy);
        EXPECT_NEAR(after.width - 2 * kBar, 16.0 / 9.0 * (after.height - 2 * kBar), 1.0)
            << Describe(after);
    }
}

TEST_F(GrabberWindow, ShiftDragChangesNothing) {
    Drag(start.width - 5, start.height - 5, 60, 40, true);
    Drag(200, 9, -50, 30, true);
    EXPECT_TRUE(SettlesAt(start)) << Describe(Frame());
    Drag(200, 9, -50, 30); // and without Shift it moves
    EXPECT_TRUE(SettlesAt(Moved(start, -50, 30))) << Describe(Frame());
}

TEST_F(GrabberWindow, FixedSizeTurnsACornerDragIntoAMove) {
    window->setMinSize(window->frame().size);
    window->setMaxSize(window->frame().size);
    ASSERT_FALSE(window->canBeMouseResized());
    Drag(start.width - 5, start.height - 5, 40, 30);
    EXPECT_TRUE(SettlesAt(Moved(start, 40, 30))) << Describe(Frame());
}

TEST_F(GrabberWindow, FloatsAboveAnotherWindowOnlyWhileKey) {
    NSWindow other(NSMakeRect(100, 100, 500, 500), NSTitledWindowMask, NSBackingStoreBuffered,
                   false);
    other.setTitle("other");
    other.makeKeyAndOrderFront(nullptr);
    const uint32_t grabber = uint32_t(window->windowNumber());
    const uint32_t otherId = uint32_t(other.windowNumber());
    const auto above = [&] {
        const std::vector<std::string> states = NetWmState(Display(), grabber);
        return std::count(states.begin(), states.end(), "_NET_WM_STATE_ABOVE") == 1;
    };
    const auto click = [&](const RootBox& box, int x, int y) {
        ASSERT_TRUE(Xdotool(Display(), {"mousemove", std::to_string(box.x + x),
                                        std::to_string(box.y + y), "click", "1"}));
    };
    const RootBox otherBox = RootGeometry(Display(), otherId).value_or(RootBox{});

    window->setFloatAboveMenus(true);
    click(start, 200, 9);
    EXPECT_TRUE(NSRunLoopRunUntil(5, [&] {
        return window->isKeyWindow() && above() && StackedAbove(Display(), grabber, otherId);
    }));
    // Another window becomes key: the grabber drops to the normal level, below it.
    click(otherBox, 5, otherBox.height - 5);
    EXPECT_TRUE(NSRunLoopRunUntil(5,
                                  [&] {
                                      return !window->isKeyWindow() && !above() &&
                                             StackedAbove(Display(), otherId, grabber);
                                  }))
        << "key " << window->isKeyWindow() << " above " << above();
    // Without the flag, being key does not lift it (its right bar is clear of the other window).
    window->setFloatAboveMenus(false);
    click(start, start.width - 9, 150);
    EXPECT_TRUE(NSRunLoopRunUntil(5, [&] { return window->isKeyWindow(); }));
    NSRunLoopRunUntil(0.3, [] { return false; });
    EXPECT_FALSE(above());
}

TEST_F(GrabberWindow, GrabViewShowsTheScreenBelowAndPassesClicks) {
    PatternWindow below(Display(), {0, 0, kScreen.width, kScreen.height}, 5);
    ASSERT_TRUE(below.Shown());
    NSRunLoopRunUntil(0.3, [] { return false; });
    const RootBox grab{start.x + kBar, start.y + kBar, start.width - 2 * kBar,
                       start.height - 2 * kBar};
    cg::CGImageRef image = cg::CGDisplayCreateImageForRect(
        cg::CGMainDisplayID(),
        cg::CGRectMake(grab.x, grab.y - kBar, grab.width, grab.height + kBar));
    ASSERT_NE(image, nullptr);
    ASSERT_EQ(cg::CGImageGetBytesPerRow(image), size_t(grab.width) * 4);
    std::vector<uint32_t> pixels(size_t(grab.width) * size_t(grab.height + kBar));
    cg::CGColorSpaceRef space = cg::CGColorSpaceCreateDeviceRGB();
    cg::CGContextRef context = cg::CGBitmapContextCreate(
        pixels.data(), size_t(grab.width), size_t(grab.height + kBar), 8, size_t(grab.width) * 4,
        space, cg::kCGImageAlphaPremultipliedFirst | cg::kCGBitmapByteOrder32Little);
    cg::CGContextDrawImage(context, cg::CGRectMake(0, 0, grab.width, grab.height + kBar), image);
    cg::CGContextRelease(context);
    cg::CGColorSpaceRelease(space);
    cg::CGImageRelease(image);
    // The top bar's rows are the grabber; every pixel under the grab view is the window below.
    int bar = 0, mismatched = 0;
    for (int y = 0; y < grab.height + kBar; ++y)
        for (int x = 0; x < grab.width; ++x) {
            const bool same = (pixels[size_t(y) * size_t(grab.width) + size_t(x)] & 0xFFFFFF) ==
                              below.At(grab.x + x, grab.y - kBar + y);
            if (y < kBar)
                bar += !same;
            else
                mismatched += !same;
        }
    EXPECT_EQ(mismatched, 0);
    EXPECT_GT(bar, grab.width * kBar / 2) << "the grabber's bar is not on the screen";

    ASSERT_TRUE(Xdotool(Display(), {"mousemove", std::to_string(grab.x + grab.width / 2),
                                    std::to_string(grab.y + grab.height / 2), "click", "1"}));
    EXPECT_EQ(below.Presses(3), 1);
    NSRunLoopRunUntil(0.3, [] { return false; });
    EXPECT_EQ(Frame(), start);
}

// Counts its ticks, and those that came while a drag's capture loop ran.
struct TickCounter : NSObject {
    TickCounter() {
        addAction("tick:", [this](NSObject*) {
            ++ticks;
            capturing += NSApp()->isCapturing();
            if (stopModalAt && ticks == stopModalAt) NSApp()->stopModal();
        });
    }
    int ticks = 0, capturing = 0, stopModalAt = 0;
};

TEST_F(GrabberWindow, TimersFireDuringADragAndAModalPanel) {
    TickCounter counter;
    auto timer = NSTimer::scheduledTimerWithTimeInterval(0.02, &counter,
                                                         NSSelectorFromString("tick:"), true);
    // The pointer is held for half a second while xdotool runs beside the event loop.
    const std::string x = std::to_string(start.x + 200), y = std::to_string(start.y + 9);
    const std::string display = Display(), xdotool = XServer::ProgramPath("xdotool");
    Child drag([&] {
        ::setenv("DISPLAY", display.c_str(), 1);
        return Exec({xdotool, "mousemove", x, y, "mousedown", "1", "sleep", "0.5", "mousemove",
                     std::to_string(start.x + 230), y, "sleep", "0.3", "mouseup", "1"});
    });
    EXPECT_TRUE(NSRunLoopRunUntil(10, [&] { return drag.Wait(0) && !NSApp()->isCapturing(); }));
    EXPECT_TRUE(SettlesAt(Moved(start, 30, 0))) << Describe(Frame());
    EXPECT_GE(counter.capturing, 10) << counter.ticks << " ticks";

    NSPanel panel(NSMakeRect(100, 100, 200, 100), NSTitledWindowMask, NSBackingStoreBuffered,
                  false);
    counter.stopModalAt = counter.ticks + 5;
    NSApp()->runModalForWindow(&panel);
    EXPECT_EQ(counter.ticks, counter.stopModalAt);
    timer->invalidate();
}

} // namespace
