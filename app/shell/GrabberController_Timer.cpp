// The grab timer, the clock of the broadcast: it ticks 30 times a second on the main loop, in
// every mode (menus open, the grabber dragged, a panel running modally), and every n-th tick
// grabs the broadcast's source and hands the pixels to the broadcast control. From system
// 0x1060 on the screen image of the grab view is drawn straight into the locked frame buffer;
// before that, the pixels are read back from the front buffer of a full-screen GL context.
#include "app/broadcast/GrabBroadcastControl.h"
#include "app/capture/Apple_CGL_GrabContext.h"
#include "app/capture/GrabberController_CGL.h"
#include "app/shell/GrabberController.h"
#include "core/CoreSystem.h"
#include "core/CoreVerify.h"
#include "platform/cgl/GL.h"
#include "platform/quartzdisplay/CoreGraphicsDisplays.h"

#include <algorithm>
#include <cstring>

using namespace platform::coregraphics;

namespace {

constexpr double kGrabTimerInterval = 1.0 / 30.0;
constexpr int kGLFront = 0x0404;
// The read-back reads nothing of a part this small or smaller.
constexpr double kSmallestReadable = 3.0;

// Whether enough of the screen rectangle lies on the main display for the read-back to read it.
bool ReadableOnMainDisplay(CGRect r) {
    const CGRect main = CGDisplayBounds(CGMainDisplayID());
    const double width =
        std::min(r.origin.x + r.size.width, main.size.width) - std::max(r.origin.x, 0.0);
    const double height =
        std::min(r.origin.y + r.size.height, main.size.height) - std::max(r.origin.y, 0.0);
    return width > kSmallestReadable && height > kSmallestReadable;
}

} // namespace

bool GrabClockTick(int32_t& counter, float factor) {
    counter = int32_t(uint32_t(counter) + 1u);
    const int n = std::max(1, int(factor));
    return counter % n == 0;
}

GrabberController::~GrabberController() {
    NSNotificationCenter::defaultCenter().removeObserver(this);
    if (_grabTimer) _grabTimer->invalidate();
    _grabTimer.reset();
}

void GrabberController::constructGrabberTimer() {
    _grabCounter = 0;
    // The layer's timers fire in the default, modal-panel and event-tracking modes alike.
    _grabTimer = NSTimer::scheduledTimerWithTimeInterval(kGrabTimerInterval, this,
                                                         NSSelectorFromString("grabTimer:"), true);
}

void GrabberController::grabTimer(NSObject* timer) {
    const float factor = _broadcastControl ? _broadcastControl->frameRateFactor() : 1.0f;
    if (GrabClockTick(_grabCounter, factor)) grabTimerFactor(timer);
}

void GrabberController::grabTimerFactor(NSObject* timer) {
    if (!_broadcastControl || !_broadcastControl->isBroadcasting()) return;
    if (CoreSystem::IsAtLeast(0x1060))
        leopard_grabTimerFactor(timer);
    else
        tiger_grabTimerFactor(timer);
}

void GrabberController::leopard_grabTimerFactor(NSObject*) {
    GrabBroadcastControl& control = *_broadcastControl;
    if (!control.isBroadcasting()) return;
    CGImageRef image = leopardGrabberRectangleCopyCGImageRef();
    if (!image) return;
    control.broadcastImage(image);
    CGImageRelease(image);
}

void GrabberController::tiger_grabTimerFactor(NSObject*) {
    GrabBroadcastControl& control = *_broadcastControl;
    if (!control.isBroadcasting()) return;
    NSRect grabRect = grabRectScreenCoordinates();
    if (!control.sourceGrabber()) {
        const CGRect bounds = CGDisplayBounds(control.sourceScreenID());
        grabRect =
            NSMakeRect(bounds.origin.x, bounds.origin.y, bounds.size.width, bounds.size.height);
    }
    const CGRect r =
        CGRectMake(grabRect.origin.x, grabRect.origin.y, grabRect.size.width, grabRect.size.height);
    Apple_CGL::GrabContext oglContext;
    if (!VERIFY(oglContext.Construct())) return;
    VERIFY(oglContext.MakeCurrent(true));
    oglContext.MakeCurrent(true);
    platform::cgl::glReadBuffer(kGLFront);
    // A rectangle (almost) off the main display reads nothing: the frame is cleared rather than
    // showing memory that was never written.
    const bool readable = ReadableOnMainDisplay(r);
    const auto readInto = [&](void* pixels, size_t rowBytes, size_t height, CGSize size) {
        if (!readable) {
            std::memset(pixels, 0, rowBytes * height);
            return;
        }
        grabOpenGLViewportContentsTo_ARGB_BufferSize_sizePixels_bufferData_bufferRowBytes_flipHorizontal(
            r.origin, size, pixels, rowBytes, false);
    };
    if (grabRect.size.width == NSUICamBroadcastControl_CameraWidth &&
        grabRect.size.height == NSUICamBroadcastControl_CameraHeight) {
        // Straight into the write buffer, under its lock like the other ways in.
        control.frameWriter().Write([&](int, const tagSHARED_CAMERA_BUFFER& camera_buffer) {
            readInto(camera_buffer.frameBufferPtr, size_t(camera_buffer.frameBufferRowBytes),
                     size_t(camera_buffer.frameHeight), r.size);
        });
    } else {
        CoreGraphics::BitmapContext context;
        // clang-format off
        if (VERIFY(context.Construct((int)grabRect.size.width, (int)grabRect.size.height, CoreGraphics::BitmapContext::BitmapType_Device_ARGB))) {
            // clang-format on
            readInto(context.GetImageDataBytes(), context.GetImageRowBytes(),
                     context.GetImageHeight(),
                     CGSize{double(context.GetImageWidth()), double(context.GetImageHeight())});
            control.broadcastFrame(&context);
        }
    }
    VERIFY(oglContext.MakeCurrent(false));
}
