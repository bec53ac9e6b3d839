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

    void captureFrame(NSRect rect, GrabFrameTarget& target) const override {
        CGImageRef image = CreateImageOfRect(rect);
        if (!image) return;
        target.drawImage(image);
        CGImageRelease(image);
    }

    GrabCaptureResult captureGrab(uint32_t display, const NSRect* rect,
                                  GrabAside& aside) const override {
        aside.stepAside();
        CGImageRef image = rect ? CreateImageOfRect(*rect) : CGDisplayCreateImage(display);
        GrabCaptureResult result{NSBitmapImageRep::initWithCGImage(image), {}};
        CGImageRelease(image);
        aside.stepBack();
        // A rectangle off every display, or a display that gives no image, keeps the last grab.
        if (!result.bitmap)
            result.failure = rect ? "the grabber lies off every display; the grab before stays"
                                  : "display " + std::to_string(display) +
                                        " gave no picture; the grab before stays";
        return result;
    }

private:
    static CGImageRef CreateImageOfRect(NSRect r) {
        return CGWindowListCreateImage(GlobalDisplayRect(r), kCGWindowListOptionOnScreenOnly,
                                       kCGNullWindowID, kCGWindowImageDefault);
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
