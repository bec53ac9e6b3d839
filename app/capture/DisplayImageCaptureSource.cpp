// The screen as display images of the platform: the grabber's rectangle taken whole across
// displays, or one display alone.
#include "app/capture/GrabCaptureSource.h"
#include "platform/quartzdisplay/CoreGraphicsDisplays.h"

using namespace platform::appkit;
using namespace platform::coregraphics;

namespace {

class DisplayImageSource final : public GrabCaptureSource {
public:
    bool readsChosenDisplay() const override { return false; }

    // The server writes a frame of the frame's own size straight into it; any other size, or a
    // server that cannot, gives an image stretched over the frame.
    void captureFrame(NSRect rect, GrabFrameTarget& target) const override {
        const CGRect bounds = GlobalDisplayRect(rect);
        target.drawInFrame([&bounds](CGContextRef frame) {
            if (CGWindowListDrawImageInPlace(bounds, frame)) return true;
            CGImageRef image = CreateImageOfBounds(bounds);
            if (!image) return false;
            CGContextDrawImage(frame,
                               CGRectMake(0, 0, CGFloat(CGBitmapContextGetWidth(frame)),
                                          CGFloat(CGBitmapContextGetHeight(frame))),
                               image);
            CGImageRelease(image);
            return true;
        });
    }

    GrabCaptureResult captureGrab(uint32_t display, const NSRect* rect,
                                  GrabAside& aside) const override {
        aside.stepAside();
        CGImageRef image =
            rect ? CreateImageOfBounds(GlobalDisplayRect(*rect)) : CGDisplayCreateImage(display);
        GrabCaptureResult result{NSBitmapImageRep::initWithCGImage(image), {}};
        CGImageRelease(image);
        aside.stepBack();
        // A rectangle off every display, or a display that gives no image, keeps the last grab.
        const std::string problem = result.bitmap ? "" : CGDisplayImageProblem();
        if (!problem.empty())
            result.failure = problem + "; the grab before stays";
        else if (!result.bitmap)
            result.failure = rect ? "the grabber lies off every display; the grab before stays"
                                  : "display " + std::to_string(display) +
                                        " gave no picture; the grab before stays";
        return result;
    }

private:
    static CGImageRef CreateImageOfBounds(CGRect bounds) {
        return CGWindowListCreateImage(bounds, kCGWindowListOptionOnScreenOnly, kCGNullWindowID,
                                       kCGWindowImageDefault);
    }
};

} // namespace

CGRect GlobalDisplayRect(NSRect r) {
    const CGRect main = CGDisplayBounds(CGMainDisplayID());
    r.origin.y = main.size.height - r.size.height - r.origin.y;
    return r;
}

const GrabCaptureSource& DisplayImageCaptureSource() {
    static const DisplayImageSource source;
    return source;
}
