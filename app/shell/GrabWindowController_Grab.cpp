// The user grabs: the rectangle under the grabber's grab view (across displays), or the whole
// display the grabber is mostly on, with the grabber raised out of the way or hidden while the
// screen is read.
#include "app/capture/GrabCaptureSource.h"
#include "app/shell/GrabWindowController.h"
#include "app/shell/UserFeedback.h"
#include "core/CoreVerify.h"
#include "platform/appkit/NSWindowServer.h"
#include "platform/quartzdisplay/CoreGraphicsDisplays.h"

using namespace platform::coregraphics;

namespace {

// Time for the window manager to follow a hidden or raised grabber before the screen is read.
constexpr double kWindowManagerSettleSeconds = 0.15;
const char* const kCouldNotGrab = "Could not grab the screen";

// The grabber raised above the screen or hidden while a grab reads it, as the options say.
class GrabberAside final : public GrabAside {
public:
    GrabberAside(GrabWindowController& controller, int options)
        : controller(controller), options(options) {}
    void stepAside() override { level = controller.grabScreenOptionsBeforeGrab(options); }
    void stepBack() override { controller.grabScreenOptionsAfterGrab_windowLevel(options, level); }

private:
    GrabWindowController& controller;
    const int options;
    int level = 0;
};

} // namespace

void GrabWindowController::grab(NSObject*) {
    grabLookpaneScreen(kGrabOptionGrabberRect | kGrabOptionRaiseWindow);
}

void GrabWindowController::grabScreen(NSObject*) {
    grabLookpaneScreen(kGrabOptionHideWindow);
}

void GrabWindowController::grabLookpaneScreen(int options) {
    if (!VERIFY(mGrabWindow)) return;
    grabScreenDisplayID_withOptions(grabScreenID(), options);
}

uint32_t GrabWindowController::grabScreenID() const {
    // The display holding the greater part of the window; the main one when it is on none.
    const std::optional<NSScreen> screen = mGrabWindow ? mGrabWindow->screen() : std::nullopt;
    if (screen) return screen->deviceDescription().at("NSScreenNumber");
    return CGMainDisplayID();
}

void GrabWindowController::grabScreenDisplayID_withOptions(uint32_t display, int options) {
    // The user sees one rectangle: it is taken whole, across displays where the source can; a
    // whole-display grab takes that display alone.
    const bool ofRect = options & kGrabOptionGrabberRect;
    const NSRect rect = ofRect ? grabberRectangleInScreenCoordinates() : NSRect{};
    GrabberAside aside(*this, options);
    GrabCaptureResult result =
        UserGrabCaptureSource().captureGrab(display, ofRect ? &rect : nullptr, aside);
    if (result.bitmap)
        setGrabbedBitmapImageRep(std::move(result.bitmap));
    else if (!result.failure.empty())
        TellUser(kCouldNotGrab, result.failure);
}

int GrabWindowController::grabScreenOptionsBeforeGrab(int options) {
    int level = CGWindowLevelForKey(kCGNormalWindowLevelKey);
    if (!mGrabWindow) return level;
    if (options & kGrabOptionRaiseWindow) {
        level = mGrabWindow->level();
        mGrabWindow->setLevel(CGWindowLevelForKey(kCGScreenSaverWindowLevelKey));
        mGrabWindow->orderFrontRegardless();
        mGrabWindow->display();
    } else if (options & kGrabOptionHideWindow) {
        mGrabWindow->orderOut(this);
        mGrabWindow->display();
    } else {
        return level;
    }
    platform::appkit::NSWindowServerSync(kWindowManagerSettleSeconds);
    return level;
}

void GrabWindowController::grabScreenOptionsAfterGrab_windowLevel(int options, int level) {
    if (!mGrabWindow) return;
    if (options & kGrabOptionRaiseWindow)
        mGrabWindow->setLevel(level);
    else if (options & kGrabOptionHideWindow)
        mGrabWindow->orderFront(this);
}

NSRect GrabWindowController::grabberRectangleInScreenCoordinates() const {
    NSView* grabThisView = mGrabWindow ? mGrabWindow->grabThisViewContentRect() : nullptr;
    if (!grabThisView && mGrabWindow) grabThisView = mGrabWindow->contentView();
    if (!VERIFY(grabThisView)) return NSMakeRect(0, 0, 0, 0);
    const NSRect inWindow = grabThisView->convertRect_toView(grabThisView->bounds(), nullptr);
    const NSPoint origin = mGrabWindow->convertBaseToScreen(inWindow.origin);
    return NSRect{origin, inWindow.size};
}

NSRect GrabWindowController::grabRectScreenCoordinates() const {
    NSView* grabThisView = mGrabWindow ? mGrabWindow->grabThisViewContentRect() : nullptr;
    if (!grabThisView && mGrabWindow) grabThisView = mGrabWindow->contentView();
    if (!VERIFY(grabThisView)) return NSMakeRect(0, 0, 640, 480);
    return grabberRectangleInScreenCoordinates();
}
