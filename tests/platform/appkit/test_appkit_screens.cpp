// The application kit's coordinates on a server whose main display does not start at the root
// window's origin: frames are in points from the main display's bottom-left corner, y up.
#include "platform/quartzdisplay/CoreGraphicsDisplays.h"
#include "tests/support/AppKitServer.h"

#include <tuple>

using namespace testsupport;
using namespace platform::appkit;

namespace {

using AppKitScreens = AppKitServerSuite<ScreenSize{1400, 900}>;

TEST_F(AppKitScreens, FramesCountFromTheMainDisplaysBottomLeft) {
    // Main display 800 x 600 at (200, 100) of the root; a second one to its right.
    ASSERT_TRUE(SetMonitor(Display(), "MAIN", 200, 100, 800, 600, true, true));
    ASSERT_TRUE(SetMonitor(Display(), "SIDE", 1000, 0, 400, 900, false, false));
    const std::optional<NSScreen> main = NSScreen::mainScreen();
    ASSERT_TRUE(main);
    EXPECT_TRUE(NSEqualRects(main->frame(), NSMakeRect(0, 0, 800, 600)));
    EXPECT_EQ(main->deviceDescription().at("NSScreenNumber"),
              platform::coregraphics::CGMainDisplayID());
    const std::vector<NSScreen> all = NSScreen::screens();
    ASSERT_EQ(all.size(), 2u);
    EXPECT_TRUE(NSEqualRects(all[1].frame(), NSMakeRect(800, -200, 400, 900)));

    // A window's frame, its place on the root, the screen holding the greater part of it.
    const std::tuple<NSRect, RootBox, size_t> cases[] = {
        {NSMakeRect(10, 20, 100, 50), {210, 630, 100, 50}, 0},
        {NSMakeRect(700, 500, 300, 200), {900, 0, 300, 200}, 1},
    };
    for (const auto& [frame, root, index] : cases) {
        NSWindow window(frame, NSBorderlessWindowMask, NSBackingStoreBuffered, false);
        window.orderFront(nullptr);
        EXPECT_TRUE(NSRunLoopRunUntil(
            5, [&] { return RootGeometry(Display(), uint32_t(window.windowNumber())) == root; }));
        const std::optional<NSScreen> screen = window.screen();
        ASSERT_TRUE(screen);
        EXPECT_TRUE(NSEqualRects(screen->frame(), all[index].frame()));
        // A point in the window converts to the screen by the frame's origin.
        const NSPoint p = window.convertBaseToScreen(NSMakePoint(3, 4));
        EXPECT_EQ(p.x, frame.origin.x + 3);
        EXPECT_EQ(p.y, frame.origin.y + 4);
    }
}

struct RedView : NSView {
    using NSView::NSView;
    bool drawsContent() const override { return true; }
    void drawRect(NSRect) override {
        NSColor::colorWithCalibratedRed_green_blue_alpha(1, 0, 0, 1).set();
        NSRectFill(bounds());
    }
};

// A clear window's shape, as the server has it, is its painting views (so the screen shows
// through and clicks pass elsewhere); with none showing, one pixel is kept (an empty shape would
// be no shape); an opaque window is whole. The server's shape is read, not the screen, so the
// window manager's timing plays no part.
TEST_F(AppKitScreens, AClearWindowIsShapedToItsPaintingViews) {
    NSWindow window(NSMakeRect(50, 50, 200, 100), NSBorderlessWindowMask, NSBackingStoreBuffered,
                    false);
    window.setBackgroundColor(NSColor::clearColor());
    window.setOpaque(false);
    window.setContentView(std::make_unique<NSView>(NSMakeRect(0, 0, 200, 100)));
    NSView* red =
        window.contentView()->addSubview(std::make_unique<RedView>(NSMakeRect(0, 20, 50, 80)));
    window.orderFront(nullptr);
    using Shape = std::optional<std::vector<RootBox>>;
    const auto shapeIs = [&](const Shape& expected) {
        return NSRunLoopRunUntil(10, [&] {
            return BoundingShape(Display(), uint32_t(window.windowNumber())) == expected;
        });
    };
    // The view's bottom-left origin becomes the server's top-left one.
    EXPECT_TRUE(shapeIs(std::vector<RootBox>{{0, 0, 50, 80}}));
    red->setHidden(true);
    EXPECT_TRUE(NSRunLoopRunUntil(10, [&] {
        const Shape now = BoundingShape(Display(), uint32_t(window.windowNumber()));
        return now && now->size() == 1 && (*now)[0].width == 1 && (*now)[0].height == 1;
    }));
    window.setOpaque(true);
    EXPECT_TRUE(shapeIs(std::nullopt));
}

} // namespace
