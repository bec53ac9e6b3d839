#include "app/windows/protocol_MouseCapture.h"

namespace mousecapture {

namespace {

// Left-mouse-up and left-mouse-dragged.
constexpr NSUInteger kCaptureMask = NSLeftMouseUpMask | NSLeftMouseDraggedMask;
static_assert(kCaptureMask == 68);

} // namespace

NSPoint mouseCaptureScreenLocation(NSWindow& window, const NSEvent& event) {
    return window.convertBaseToScreen(event.locationInWindow());
}

NSPoint mouseCaptureWindowLocation(NSView& view, const NSEvent& event) {
    return view.convertPoint_fromView(event.locationInWindow(), nullptr);
}

void protocol_MouseCaptureEventLoop(protocol_MouseCapture& receiver, self_MouseCapture& capture) {
    capture.mStartLocation = capture.mLocation = receiver.mouseCaptureLocation(capture);
    NSWindow* window = receiver.mouseCaptureWindow();
    NSApplication* app = NSApp();
    if (!window || !app) return;
    capture.mIsShiftDown = (capture.mEvent.modifierFlags() & NSShiftKeyMask) != 0;
    if (capture.mIsShiftDown)
        capture.mShiftStartLocation = capture.mShiftLocation = capture.mStartLocation;
    receiver.mouseCaptureBegin(capture);
    // Pointer events wait for the loop from here on, so none slips through between two reads.
    app->beginCapture();
    for (NSDate until = NSDate::distantFuture;;) {
        std::optional<NSEvent> event = app->nextEventMatchingMask_untilDate_inMode_dequeue(
            kCaptureMask, until, NSEventTrackingRunLoopMode, true);
        if (event) {
            capture.mIsIdle = false;
            capture.mEvent = *event;
            capture.mLocation = receiver.mouseCaptureLocation(capture);
            if (!capture.mIsShiftDown) receiver.mouseCaptureMove(capture);
            if (event->type() == NSLeftMouseUp) {
                receiver.mouseCaptureUp(capture);
                capture.mIsShiftDown = false;
                receiver.mouseCaptureEnd(capture);
                break;
            }
            until = NSDate::distantPast; // handle what is already queued
            continue;
        }
        if (capture.mIsShiftDown)
            capture.mShiftLocation = capture.mLocation;
        else
            capture.mIsIdle = true;
        receiver.mouseCaptureIdle(capture);
        until = NSDate::distantFuture;
    }
    app->endCapture();
}

} // namespace mousecapture
