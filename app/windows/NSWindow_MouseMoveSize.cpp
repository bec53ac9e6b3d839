#include "app/windows/NSWindow_MouseMoveSize.h"

namespace mousemovesize {

namespace {

NSWindow_MouseMoveSizeHooks* Hooks(NSWindow& window) {
    return dynamic_cast<NSWindow_MouseMoveSizeHooks*>(&window);
}

// A window as receiver of the capture loop, routing three hooks to the drag's steps.
class WindowCapture : public mousecapture::protocol_MouseCapture {
public:
    WindowCapture(NSWindow& window, NSWindow_MouseMoveSize& drag) : mWindow(window), mDrag(drag) {}
    NSWindow* mouseCaptureWindow() const override { return &mWindow; }
    NSPoint mouseCaptureLocation(self_MouseCapture& capture) override {
        return mousecapture::mouseCaptureScreenLocation(mWindow, capture.mEvent);
    }
    void mouseCaptureBegin(self_MouseCapture&) override { windowMouseDownBegin(mWindow, mDrag); }
    void mouseCaptureMove(self_MouseCapture&) override { windowMouseMove(mWindow, mDrag); }
    void mouseCaptureUp(self_MouseCapture&) override { windowMouseUp(mWindow, mDrag); }

private:
    NSWindow& mWindow;
    NSWindow_MouseMoveSize& mDrag;
};

void RunDrag(NSWindow& window, NSWindow_MouseMoveSize& drag) {
    WindowCapture receiver(window, drag);
    mousecapture::protocol_MouseCaptureEventLoop(receiver, drag);
}

NSRect MainScreenFrame() {
    const std::optional<NSScreen> main = NSScreen::mainScreen();
    return main ? main->frame() : NSMakeRect(0, 0, 0, 0);
}

void windowMouseMoveDragging(NSWindow& window, NSWindow_MouseMoveSize& drag) {
    window.setFrameOrigin(MovedOrigin(drag.mLocation, drag.mDragOffset, window.frame().size,
                                      drag.mNoScreenClamp, MainScreenFrame()));
    if (NSWindow_MouseMoveSizeHooks* hooks = Hooks(window))
        hooks->windowMouseMoveSize_OnDragMoved();
}

void windowMouseSizeFromCorner(NSWindow& window, NSWindow_MouseMoveSize& drag) {
    const NSRect frame =
        CornerResizedFrame(SizeMode(drag.mSizeMode), drag.mStartFrame, drag.mStartLocation,
                           drag.mLocation, [&](NSSize size) {
                               windowConstrainSize_newWindowSize(window, drag, size);
                               return size;
                           });
    window.setFrame_display_animate(frame, true, false);
}

} // namespace

NSWindow_HitTest windowMouseMoveSize_MouseHitTest_cornerSize(NSWindow& window, const NSEvent& event,
                                                             NSSize cornerSize) {
    const NSRect bounds =
        window.contentView() ? window.contentView()->bounds() : NSMakeRect(0, 0, 0, 0);
    return HitTest(bounds, cornerSize, event.locationInWindow());
}

void windowMouseMoveSize_FromHitRegion_inHitRegion(NSWindow& window, const NSEvent& event,
                                                   NSWindow_HitTest region) {
    NSWindow_MouseMoveSize drag(event);
    drag.mSizeMode = kSizeModeNone;
    drag.mHitRegion = region;
    drag.mNoScreenClamp = true;
    RunDrag(window, drag);
}

void windowMouseMoveSize_StandardBehaviour(NSWindow& window, const NSEvent& event) {
    NSWindow_MouseMoveSize drag(event);
    const NSWindow_HitTest region =
        windowMouseMoveSize_MouseHitTest_cornerSize(window, event, NSMakeSize(32, 32));
    drag.mHitRegion = region == kHitTestBottomRight ? region : kHitTestNone;
    drag.mNoScreenClamp = false;
    RunDrag(window, drag);
}

void windowConstrainSize_newWindowSize(NSWindow& window, NSWindow_MouseMoveSize&, NSSize& size) {
    NSWindow_MouseMoveSizeHooks* hooks = Hooks(window);
    size = ConstrainedSize(size, window.minSize(), window.maxSize(), [hooks](NSSize s) {
        return hooks ? hooks->windowMouseMoveSize_ConstrainAspectRatio(s) : s;
    });
}

void windowMouseDownBegin(NSWindow& window, NSWindow_MouseMoveSize& drag) {
    drag.mStartFrame = window.frame();
    drag.mSizeMode = SizeModeForHitRegion(drag.mHitRegion);
    if (drag.mHitRegion == kHitTestNone)
        drag.mDragOffset = NSMakePoint(drag.mStartLocation.x - drag.mStartFrame.origin.x,
                                       drag.mStartLocation.y - drag.mStartFrame.origin.y);
}

void windowMouseMove(NSWindow& window, NSWindow_MouseMoveSize& drag) {
    switch (drag.mSizeMode) {
    case kSizeModeMove:
        return windowMouseMoveDragging(window, drag);
    case kSizeModeTopLeft:
    case kSizeModeTopRight:
    case kSizeModeBottomRight:
    case kSizeModeBottomLeft:
        return windowMouseSizeFromCorner(window, drag);
    default:
        return;
    }
}

void windowMouseUp(NSWindow& window, NSWindow_MouseMoveSize& drag) {
    if (NSEqualPoints(drag.mLocation, drag.mStartLocation))
        if (NSWindow_MouseMoveSizeHooks* hooks = Hooks(window))
            hooks->windowMouseMoveSize_SingleClick();
    drag.mSizeMode = kSizeModeNone;
}

} // namespace mousemovesize
