#pragma once

// A mouse-capture loop: follows one left-button drag outside the normal event dispatch and calls
// the receiver's hooks. While Shift was held at the press, no move reaches the receiver.
#include "platform/appkit/AppKit.h"

namespace mousecapture {

using namespace platform::appkit;

struct self_MouseCapture {
    explicit self_MouseCapture(const NSEvent& event) : mEvent(event) {}
    bool mIsShiftDown = false;
    bool mIsIdle = false;
    NSPoint mStartLocation{0, 0};
    NSPoint mLocation{0, 0};
    NSPoint mShiftStartLocation{0, 0};
    NSPoint mShiftLocation{0, 0};
    NSEvent mEvent;
};

// The receiver of a capture: hooks that do nothing unless overridden, and where the events are
// read from. A window receiver reads screen locations, a view receiver its own coordinates.
class protocol_MouseCapture {
public:
    virtual ~protocol_MouseCapture() = default;
    virtual void mouseCaptureBegin(self_MouseCapture&) {}
    virtual void mouseCaptureMove(self_MouseCapture&) {}
    virtual void mouseCaptureUp(self_MouseCapture&) {}
    virtual void mouseCaptureEnd(self_MouseCapture&) {}
    virtual void mouseCaptureIdle(self_MouseCapture&) {}
    // The window whose events the loop reads; none stops the capture.
    virtual NSWindow* mouseCaptureWindow() const { return nullptr; }
    // The event's location; (0, 0) for a receiver that is neither window nor view.
    virtual NSPoint mouseCaptureLocation(self_MouseCapture&) { return NSMakePoint(0, 0); }
};

// A window's location: locationInWindow converted with convertBaseToScreen.
NSPoint mouseCaptureScreenLocation(NSWindow& window, const NSEvent& event);
// A view's location: from window coordinates into the view.
NSPoint mouseCaptureWindowLocation(NSView& view, const NSEvent& event);

void protocol_MouseCaptureEventLoop(protocol_MouseCapture& receiver, self_MouseCapture& capture);

} // namespace mousecapture
