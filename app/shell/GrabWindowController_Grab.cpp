// The user grabs: the rectangle under the grabber's grab view (across displays), or the whole
// display the grabber is mostly on, with the grabber raised out of the way or hidden while the
// screen is read.
#include "app/capture/Apple_CGL_GrabContext.h"
#include "app/shell/GrabWindowController.h"
#include "app/shell/OpenGLBitmaps.h"
#include "app/shell/UserFeedback.h"
#include "core/CoreSystem.h"
#include "core/CoreVerify.h"
#include "platform/appkit/NSWindowServer.h"
#include "platform/cgl/GL.h"
#include "platform/quartzdisplay/CoreGraphicsDisplays.h"

#include <algorithm>

using namespace platform::coregraphics;

namespace {

// Time for the window manager to follow a hidden or raised grabber before the screen is read.
constexpr double kWindowManagerSettleSeconds = 0.15;
const char* const kCouldNotGrab = "Could not grab the screen";

NSRect Intersection(NSRect a, NSRect b) {
    const double left = std::max(a.origin.x, b.origin.x);
    const double bottom = std::max(a.origin.y, b.origin.y);
    const double right = std::min(a.origin.x + a.size.width, b.origin.x + b.size.width);
    const double top = std::min(a.origin.y + a.size.height, b.origin.y + b.size.height);
    if (right <= left || top <= bottom) return NSMakeRect(0, 0, 0, 0);
    return NSMakeRect(left, bottom, right - left, top - bottom);
}

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
    if (CoreSystem::IsAtLeast(0x1070))
        snowLeopard_grabScreenDisplayID_withOptions(display, options);
    else
        tiger_grabScreenDisplayID_withOptions(display, options);
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

void GrabWindowController::snowLeopard_grabScreenDisplayID_withOptions(uint32_t display,
                                                                       int options) {
    const int level = grabScreenOptionsBeforeGrab(options);
    // The user sees one rectangle: it is taken whole, across displays; a whole-display grab
    // takes that display alone.
    CGImageRef image = (options & kGrabOptionGrabberRect) ? leopardGrabberRectangleCopyCGImageRef()
                                                          : CGDisplayCreateImage(display);
    std::unique_ptr<NSBitmapImageRep> bitmap = NSBitmapImageRep::initWithCGImage(image);
    CGImageRelease(image);
    grabScreenOptionsAfterGrab_windowLevel(options, level);
    // A rectangle off every display, or a display that gives no image, keeps the last grab.
    if (bitmap)
        setGrabbedBitmapImageRep(std::move(bitmap));
    else if (options & kGrabOptionGrabberRect)
        TellUser(kCouldNotGrab, "the grabber lies off every display; the grab before stays");
    else
        TellUser(kCouldNotGrab,
                 "display " + std::to_string(display) + " gave no picture; the grab before stays");
}

void GrabWindowController::tiger_grabScreenDisplayID_withOptions(uint32_t display, int options) {
    Apple_CGL::GrabContext oglContext;
    if (!VERIFY(oglContext.Construct(display))) return;
    const int level = grabScreenOptionsBeforeGrab(options);
    VERIFY(oglContext.MakeCurrent(true));
    oglContext.MakeCurrent(true);
    platform::cgl::glReadBuffer(0x0404); // the front buffer
    NSRect viewport{};
    std::unique_ptr<NSBitmapImageRep> bitmap =
        bitmapWithOpenGLViewportContents_hasAlpha(viewport, false);
    grabScreenOptionsAfterGrab_windowLevel(options, level);
    if (bitmap && (options & kGrabOptionGrabberRect))
        bitmap = bitmapCroppedWithRect_withRect(
            *bitmap, Intersection(viewport, grabberRectangleInScreenCoordinates()));
    if (bitmap)
        setGrabbedBitmapImageRep(std::move(bitmap));
    else
        TellUser(kCouldNotGrab, "display " + std::to_string(display) +
                                    " could not be read back; the grab before stays");
    VERIFY(oglContext.MakeCurrent(false));
}

CGImageRef GrabWindowController::leopardGrabberRectangleCopyCGImageRef() const {
    if (!CoreSystem::IsAtLeast(0x1060)) return nullptr;
    const NSRect r = grabberRectangleInGlobalDisplayCoordinates();
    return CGWindowListCreateImage(CGRectMake(r.origin.x, r.origin.y, r.size.width, r.size.height),
                                   kCGWindowListOptionOnScreenOnly, kCGNullWindowID,
                                   kCGWindowImageDefault);
}

NSRect GrabWindowController::grabberRectangleInScreenCoordinates() const {
    NSView* grabThisView = mGrabWindow ? mGrabWindow->grabThisViewContentRect() : nullptr;
    if (!grabThisView && mGrabWindow) grabThisView = mGrabWindow->contentView();
    if (!VERIFY(grabThisView)) return NSMakeRect(0, 0, 0, 0);
    const NSRect inWindow = grabThisView->convertRect_toView(grabThisView->bounds(), nullptr);
    const NSPoint origin = mGrabWindow->convertBaseToScreen(inWindow.origin);
    return NSMakeRect(origin.x, origin.y, inWindow.size.width, inWindow.size.height);
}

NSRect GrabWindowController::grabRectScreenCoordinates() const {
    NSView* grabThisView = mGrabWindow ? mGrabWindow->grabThisViewContentRect() : nullptr;
    if (!grabThisView && mGrabWindow) grabThisView = mGrabWindow->contentView();
    if (!VERIFY(grabThisView)) return NSMakeRect(0, 0, 640, 480);
    return grabberRectangleInScreenCoordinates();
}

NSRect GrabWindowController::grabberRectangleInGlobalDisplayCoordinates() const {
    // Screen coordinates are y-up from the main display's bottom-left; global display coordinates
    // are y-down from its top-left: y turns over within the main display's height.
    const NSRect r = grabberRectangleInScreenCoordinates();
    const CGRect mainBounds = CGDisplayBounds(CGMainDisplayID());
    return NSMakeRect(r.origin.x, mainBounds.size.height - r.size.height - r.origin.y, r.size.width,
                      r.size.height);
}
