#include "app/windows/GrabRegionWindow.h"

#include "core/CoreVerify.h"
#include "platform/quartzdisplay/CoreGraphicsDisplays.h"

using namespace platform::coregraphics;

GrabRegionWindow::GrabRegionWindow(NSRect contentRect, NSUInteger styleMask, NSUInteger backing,
                                   bool defer)
    : NSAlphaWindowWithoutShadow(contentRect, styleMask, backing, defer) {
    addAction("windowKeyWindowBegin:", &GrabRegionWindow::windowKeyWindowBegin);
    addAction("windowKeyWindowEnd:", &GrabRegionWindow::windowKeyWindowEnd);
    addAction("grabResizeModeChanged:", &GrabRegionWindow::grabResizeModeChanged);
    addAction("buttonGrabAction:", &GrabRegionWindow::buttonGrabAction);
    addAction("showHideGrabber:", &GrabRegionWindow::showHideGrabber);
    addAction("endFlash:", &GrabRegionWindow::endFlash);
    NSNotificationCenter& center = NSNotificationCenter::defaultCenter();
    center.addObserver(this, NSSelectorFromString("windowKeyWindowBegin:"),
                       NSWindowDidBecomeKeyNotification, this);
    center.addObserver(this, NSSelectorFromString("windowKeyWindowEnd:"),
                       NSWindowDidResignKeyNotification, this);
    mConstrainedAspectRatio = 0;
}

void GrabRegionWindow::awakeFromNib() {
    VERIFY(mGrabTransparentView);
    VERIFY(mMoveTopBar);
    VERIFY(mMoveLeftBar);
    VERIFY(mMoveRightBar);
    VERIFY(mMoveBottomBar);
    VERIFY(mSizeTopLeft);
    VERIFY(mSizeTopRight);
    VERIFY(mSizeBottomLeft);
    VERIFY(mSizeBottomRight);
    setConstrainedAspectRatio(0);
    mFloatAboveMenus = false;
}

void GrabRegionWindow::applyLevel(bool floating) {
    setLevel(
        CGWindowLevelForKey(floating ? kCGScreenSaverWindowLevelKey : kCGNormalWindowLevelKey));
}

void GrabRegionWindow::setFloatAboveMenus(bool flag) {
    mFloatAboveMenus = flag;
    applyLevel(flag);
}

void GrabRegionWindow::windowKeyWindowBegin(NSObject*) {
    applyLevel(mFloatAboveMenus);
}

void GrabRegionWindow::windowKeyWindowEnd(NSObject*) {
    applyLevel(false);
}

NSSize GrabRegionWindow::windowMouseMoveSize_ConstrainAspectRatio(NSSize size) {
    return mousemovesize::AspectConstrainedSize(size, mConstrainedAspectRatio, mFrameViewDelta);
}

bool GrabRegionWindow::canBeMouseResized() const {
    return !NSEqualSizes(minSize(), maxSize());
}

void GrabRegionWindow::grabResizeModeChanged(NSObject*) {
    for (GrabberResizeView* corner :
         {mSizeTopLeft, mSizeTopRight, mSizeBottomLeft, mSizeBottomRight})
        if (corner) corner->display();
    display();
}

void GrabRegionWindow::repaintGrabberDimensions() {
    for (NSView* view : {static_cast<NSView*>(mDisplayView1), static_cast<NSView*>(mDisplayView2),
                         static_cast<NSView*>(mMoveBottomBar)})
        if (view) view->setNeedsDisplay(true);
}

void GrabRegionWindow::paintFrame(float grey) {
    for (NSUIBlackOpaqueView* view : std::initializer_list<NSUIBlackOpaqueView*>{
             mMoveTopBar, mMoveLeftBar, mMoveRightBar, mMoveBottomBar, mSizeTopLeft, mSizeTopRight,
             mSizeBottomLeft, mSizeBottomRight})
        if (view) view->setGreyColor(grey), view->setNeedsDisplay(true);
}

void GrabRegionWindow::flashFrame() {
    constexpr double kFlashSeconds = 0.2;
    paintFrame(0.85f);
    mFlashTimer = NSTimer::scheduledTimerWithTimeInterval(kFlashSeconds, this,
                                                          NSSelectorFromString("endFlash:"), false);
}

void GrabRegionWindow::endFlash(NSObject*) {
    paintFrame(NSUIBlackOpaqueView::kGrey);
}

void GrabRegionWindow::mouseDown(const NSEvent& event) {
    mousemovesize::NSWindow_HitTest region = mousemovesize::kHitTestNone;
    if (canBeMouseResized() && mSizeTopLeft)
        region = mousemovesize::windowMouseMoveSize_MouseHitTest_cornerSize(
            *this, event, mSizeTopLeft->frame().size);
    mousemovesize::windowMouseMoveSize_FromHitRegion_inHitRegion(*this, event, region);
    repaintGrabberDimensions();
}

void GrabRegionWindow::keyDown(const NSEvent& event) {
    auto* keys = dynamic_cast<GrabRegionWindowKeyDelegate*>(delegate());
    if (keys && keys->onKeyDown(event)) {
        if (NSApplication* app = NSApp()) app->flushBufferedKeyEvents();
        return;
    }
    NSAlphaWindowWithoutShadow::keyDown(event);
}

void GrabRegionWindow::buttonGrabAction(NSObject* sender) {
    if (NSObject* target = delegate())
        target->performSelector(NSSelectorFromString("grabQuickSave:"), sender);
}

bool GrabRegionWindow::validateMenuItem(NSMenuItem* item) {
    if (item->action() == NSSelectorFromString("showHideGrabber:"))
        return !isVisible() || NSStatusItem::isAvailable();
    return NSAlphaWindowWithoutShadow::validateMenuItem(item);
}

void GrabRegionWindow::showHideGrabber(NSObject*) {
    if (!isVisible())
        orderFront(this);
    else if (NSStatusItem::isAvailable())
        orderOut(this);
}
