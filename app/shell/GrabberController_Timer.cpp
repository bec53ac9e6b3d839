// The grab timer, the clock of the broadcast: it ticks 30 times a second on the main loop, in
// every mode (menus open, the grabber dragged, a panel running modally), and every n-th tick
// grabs the broadcast's source through the broadcast's capture source and hands the pixels to
// the broadcast control: a screen image is drawn straight into the locked frame buffer, read-back
// pixels are read into it. A tick whose rectangle has not changed on the screen grabs nothing:
// the clients show the last frame, and it is published again now and then so that those that
// look for a live broadcast find one, and grabbed again once a second. Between those the timer
// sleeps where the screen tells when it is drawn on: what is drawn over the rectangle, or the
// rectangle moved, wakes it for a tick at once (but not before the frame rate allows one). With no
// broadcast, the timer stops.
#include "app/broadcast/GrabBroadcastControl.h"
#include "app/capture/GrabCaptureSource.h"
#include "app/shell/GrabberController.h"
#include "core/CoreVerify.h"
#include "platform/quartzdisplay/CoreGraphicsDisplays.h"

#include <algorithm>
#include <chrono>

using namespace platform::coregraphics;

namespace {

constexpr double kGrabTimerInterval = 1.0 / 30.0;
// A still screen's frame is published again this often: a look for a live broadcast lasts a
// quarter of a second.
constexpr double kRepeatSeconds = 0.15;
// And grabbed again this often: a channel made anew under the broadcast, or drawing the server
// does not report, shows within a second.
constexpr double kRefreshSeconds = 1.0;

double Now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// The camera frame of the broadcast control as the capture sources' target.
class CameraFrame final : public GrabFrameTarget {
public:
    explicit CameraFrame(GrabBroadcastControl& control) : control(control) {}

    void drawInFrame(const ContextDraw& draw) override {
        control.broadcastInFrame([&](CGContextRef into) { return drawn = draw(into); });
    }

    void readPixels(CGSize size, const Reader& read) override {
        drawn = true;
        if (size.width == NSUICamBroadcastControl_CameraWidth &&
            size.height == NSUICamBroadcastControl_CameraHeight) {
            // Straight into the write buffer, under its lock like the other ways in.
            control.frameWriter().Write([&](int, const tagSHARED_CAMERA_BUFFER& camera_buffer) {
                read(camera_buffer.frameBufferPtr, size_t(camera_buffer.frameBufferRowBytes),
                     size_t(camera_buffer.frameHeight), size);
            });
            return;
        }
        CoreGraphics::BitmapContext context;
        // clang-format off
        if (VERIFY(context.Construct((int)size.width, (int)size.height, CoreGraphics::BitmapContext::BitmapType_Device_ARGB))) {
            // clang-format on
            read(context.GetImageDataBytes(), context.GetImageRowBytes(), context.GetImageHeight(),
                 CGSize{double(context.GetImageWidth()), double(context.GetImageHeight())});
            control.broadcastFrame(&context);
        }
    }

    bool drawn = false;

private:
    GrabBroadcastControl& control;
};

} // namespace

bool GrabClockTick(int32_t& counter, float factor) {
    counter = int32_t(uint32_t(counter) + 1u);
    return counter % FrameRateDivisor(factor) == 0;
}

GrabberController::~GrabberController() {
    NSNotificationCenter::defaultCenter().removeObserver(this);
    if (_grabTimer) _grabTimer->invalidate();
    _grabTimer.reset();
}

void GrabberController::constructGrabberTimer() {
    _grabCounter = 0;
    startGrabberTimer();
    NSNotificationCenter::defaultCenter().addObserver(
        this, NSSelectorFromString("broadcastDidStart:"), NSUICamBroadcastDidStartNotification,
        nullptr);
}

void GrabberController::startGrabberTimer() {
    if (_grabTimer && _grabTimer->isValid()) return;
    // The layer's timers fire in the default, modal-panel and event-tracking modes alike.
    _grabTimer = NSTimer::scheduledTimerWithTimeInterval(kGrabTimerInterval, this,
                                                         NSSelectorFromString("grabTimer:"), true);
}

void GrabberController::broadcastDidStart(NSObject*) {
    // A broadcast starts with a frame, even of a screen that has not changed.
    _screenWatch.Forget();
    if (_grabTimer) startGrabberTimer();
    if (_grabTimerAsleep) wakeGrabTimer(0);
}

void GrabberController::grabTimer(NSObject* timer) {
    // Stopped (not destroyed: this is its own call) until a broadcast starts.
    if (_grabTimer && (!_broadcastControl || !_broadcastControl->isBroadcasting()))
        _grabTimer->invalidate();
    const float factor = _broadcastControl ? _broadcastControl->frameRateFactor() : 1.0f;
    if (_grabTimerAsleep) {
        // Woken: this tick grabs, and the frame rate counts from it. The watch stays on while
        // the timer sleeps again at once, as it does on a still screen.
        _grabTimerAsleep = _grabTimerWoken = false;
        if (_grabTimer) _grabTimer->setFireDate(kGrabTimerInterval);
        _grabCounter = 0;
        grabTimerFactor(timer);
        if (_drawingWatch && !_grabTimerAsleep) _drawingWatch->setEnabled(false);
        return;
    }
    if (GrabClockTick(_grabCounter, factor)) grabTimerFactor(timer);
}

NSRect GrabberController::broadcastRectangle() const {
    // Only a read-back follows the source pop-up.
    return !BroadcastCaptureSource().readsChosenDisplay() ? grabberRectangleInScreenCoordinates()
           : _broadcastControl->sourceGrabber()
               ? grabRectScreenCoordinates()
               : CGDisplayBounds(_broadcastControl->sourceScreenID());
}

void GrabberController::sleepGrabTimer(NSRect rect, double now) {
    const int fd = _screenWatch.DrawingDescriptor();
    if (!grabTimerRuns() || fd < 0) return;
    if (!_drawingWatch)
        _drawingWatch = std::make_unique<platform::appkit::NSRunLoopDescriptorSource>(
            fd, [this] { wakeGrabTimerOnChange(); });
    _grabTimerAsleep = true;
    _grabTimerWoken = false;
    _grabTicked = now;
    _grabSleepsOver = rect;
    _drawingWatch->setEnabled(true);
    // A repeat the channel refused is tried again at the next frame, as a ticking timer would.
    const double due = std::min(_framePublished + kRepeatSeconds, _frameGrabbed + kRefreshSeconds);
    _grabTimer->setFireDate(std::max(due - now, frameInterval()));
}

double GrabberController::frameInterval() const {
    const float factor = _broadcastControl ? _broadcastControl->frameRateFactor() : 1.0f;
    return FrameRateDivisor(factor) * kGrabTimerInterval;
}

void GrabberController::wakeGrabTimerOnChange() {
    const bool waiting = _grabTimerAsleep && !_grabTimerWoken && _broadcastControl;
    // The rectangle first: finding its display may read the connection's events, which the look
    // at the drawing then takes in. That look reads what has arrived even when not waiting, so
    // that the descriptor is readable no more.
    const bool moved = waiting && !NSEqualRects(broadcastRectangle(), _grabSleepsOver);
    const bool drawn = _screenWatch.MayHaveChanged();
    if (waiting && (moved || drawn)) wakeGrabTimer(_grabTicked + frameInterval() - Now());
}

void GrabberController::wakeGrabTimer(double seconds) {
    _grabTimerWoken = true;
    if (_grabTimer) _grabTimer->setFireDate(seconds);
}

void GrabberController::grabTimerFactor(NSObject*) {
    if (!_broadcastControl || !_broadcastControl->isBroadcasting()) return;
    GrabBroadcastControl& control = *_broadcastControl;
    const GrabCaptureSource& source = BroadcastCaptureSource();
    const NSRect rect = broadcastRectangle();
    const double now = Now();
    if (!_screenWatch.Changed(GlobalDisplayRect(rect)) && now - _frameGrabbed < kRefreshSeconds) {
        if (now - _framePublished >= kRepeatSeconds &&
            control.frameWriter().Repeat() == SharedCameraFrameWriter::Result::kWritten)
            _framePublished = now;
        sleepGrabTimer(rect, now);
        return;
    }
    CameraFrame frame(control);
    source.captureFrame(rect, frame);
    if (frame.drawn)
        _framePublished = _frameGrabbed = now;
    else
        _screenWatch.Forget(); // tried again at the next tick
}
