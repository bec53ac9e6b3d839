// The application kit's coordinates on a server whose main display does not start at the root
// window's origin: frames are in points from the main display's bottom-left corner, y up.
#include "platform/quartzdisplay/CoreGraphicsDisplays.h"
#include "tests/support/AppKitServer.h"

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

    const struct {
        NSRect frame;
        RootBox root;
        size_t screen; // holding the greater part
    } cases[] = {
        {NSMakeRect(10, 20, 100, 50), {210, 630, 100, 50}, 0},
        {NSMakeRect(700, 500, 300, 200), {900, 0, 300, 200}, 1},
    };
    for (const auto& c : cases) {
        NSWindow window(c.frame, NSBorderlessWindowMask, NSBackingStoreBuffered, false);
        window.orderFront(nullptr);
        EXPECT_TRUE(NSRunLoopRunUntil(
            5, [&] { return RootGeometry(Display(), uint32_t(window.windowNumber())) == c.root; }));
        const std::optional<NSScreen> screen = window.screen();
        ASSERT_TRUE(screen);
        EXPECT_TRUE(NSEqualRects(screen->frame(), all[c.screen].frame()));
        // A point in the window converts to the screen by the frame's origin.
        const NSPoint p = window.convertBaseToScreen(NSMakePoint(3, 4));
        EXPECT_EQ(p.x, c.frame.origin.x + 3);
        EXPECT_EQ(p.y, c.frame.origin.y + 4);
    }
}

// Counts the actions a control sends.
struct Receiver : NSObject {
    Receiver() {
        addAction("changed:", [this](NSObject* sender) { senders.push_back(sender); });
    }
    std::vector<NSObject*> senders;
};

TEST_F(AppKitScreens, ControlsKeepTheirValuesAndSendTheirActions) {
    Receiver receiver;
    NSPanel panel(NSMakeRect(20, 20, 260, 200), NSTitledWindowMask, NSBackingStoreBuffered, false);
    NSView& content = *panel.contentView();
    auto* box = static_cast<NSButton*>(content.addSubview(std::make_unique<NSButton>(
        NSMakeRect(10, 160, 200, 30), "Allow", NSButtonType::NSSwitchButton)));
    box->setTarget(&receiver);
    box->setAction(NSSelectorFromString("changed:"));
    // A matrix keeps its cell when asked for a tag it does not have.
    auto* matrix = static_cast<NSMatrix*>(content.addSubview(std::make_unique<NSMatrix>(
        NSMakeRect(120, 60, 120, 50), std::vector<NSMatrix::Cell>{{"Size", 0}, {"Percent", 1}})));
    EXPECT_TRUE(matrix->selectCellWithTag(1));
    EXPECT_FALSE(matrix->selectCellWithTag(7));
    EXPECT_EQ(matrix->selectedTag(), 1);

    panel.makeKeyAndOrderFront(nullptr);
    const uint32_t id = uint32_t(panel.windowNumber());
    // A loaded machine may still be placing the panel: click once its place has held still.
    std::optional<RootBox> seen, previous;
    auto sampled = std::chrono::steady_clock::now();
    ASSERT_TRUE(NSRunLoopRunUntil(10, [&] {
        if (seen && seen == previous) return true;
        if (std::chrono::steady_clock::now() - sampled < std::chrono::milliseconds(250))
            return false;
        sampled = std::chrono::steady_clock::now();
        previous = std::exchange(seen, RootGeometry(Display(), id));
        return seen && seen == previous;
    }));
    const RootBox where = *seen;
    // The check box lies 10 points in and 25 points down from the panel's top-left.
    ASSERT_TRUE(Xdotool(Display(), {"mousemove", std::to_string(where.x + 18),
                                    std::to_string(where.y + 25), "click", "1"}));
    EXPECT_TRUE(NSRunLoopRunUntil(5, [&] { return !receiver.senders.empty(); }));
    EXPECT_EQ(box->state(), NSOnState);
    ASSERT_EQ(receiver.senders.size(), 1u);
    EXPECT_EQ(receiver.senders[0], box);
}

} // namespace
