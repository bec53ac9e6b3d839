#pragma once

// How the screen is read, for the broadcast's frames and for the user's grabs: as display images
// of the platform, or read back from the front buffer of a full-screen OpenGL context. Each use
// gets its source once, from the system version; another desktop plugs in below the display
// images, in the displays layer, and nothing here changes.
#include "platform/appkit/AppKitTypes.h"
#include "platform/appkit/NSBitmapImageRep.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

// Where a broadcast frame's pixels go; the shell writes them into the camera frame.
class GrabFrameTarget {
public:
    // Fills packed ARGB rows, top row first, of the given size.
    using Reader = std::function<void(void* pixels, size_t rowBytes, size_t height,
                                      platform::coregraphics::CGSize size)>;
    // Draws into a bitmap context over the frame's own pixels, under the frame's lock: draw
    // answers whether it filled the frame, and a frame it did not fill is not published.
    using ContextDraw = std::function<bool(platform::coregraphics::CGContextRef frame)>;
    virtual void drawInFrame(const ContextDraw& draw) = 0;
    // Pixels of the given size, read into rows the target provides.
    virtual void readPixels(platform::coregraphics::CGSize size, const Reader& read) = 0;

protected:
    ~GrabFrameTarget() = default;
};

// Gets the grabber out of the way of a grab, and back.
class GrabAside {
public:
    virtual void stepAside() = 0;
    virtual void stepBack() = 0;

protected:
    ~GrabAside() = default;
};

struct GrabCaptureResult {
    std::unique_ptr<platform::appkit::NSBitmapImageRep> bitmap;
    // Without a bitmap: what to tell the user; empty when the failure was already reported.
    std::string failure;
};

class GrabCaptureSource {
public:
    virtual ~GrabCaptureSource() = default;
    // Whether a broadcast may show a display of the user's choice: display images always show
    // the grabber's rectangle.
    virtual bool readsChosenDisplay() const = 0;
    // One broadcast frame of a rectangle in screen coordinates; none when the screen gives none.
    virtual void captureFrame(platform::appkit::NSRect rect, GrabFrameTarget& target) const = 0;
    // A user's grab of a display, or of a rectangle in screen coordinates when one is given.
    virtual GrabCaptureResult captureGrab(uint32_t display, const platform::appkit::NSRect* rect,
                                          GrabAside& aside) const = 0;
};

enum class GrabCaptureKind { kDisplayImage, kReadBack };
struct GrabCaptureKinds {
    GrabCaptureKind broadcast;
    GrabCaptureKind grab;
};
// Display images for the broadcast from system 0x1060 on, for the user's grabs from 0x1070 on.
GrabCaptureKinds GrabCaptureKindsForVersion(uint32_t systemVersion);

const GrabCaptureSource& DisplayImageCaptureSource();
const GrabCaptureSource& ReadBackCaptureSource();
const GrabCaptureSource& CaptureSourceOfKind(GrabCaptureKind kind);

// A rectangle in screen coordinates (y up from the main display's bottom-left) in global display
// coordinates (y down from its top-left), which display images are asked in.
platform::coregraphics::CGRect GlobalDisplayRect(platform::appkit::NSRect rect);

// Chosen on first use from the running system's version, then kept for the process.
const GrabCaptureSource& BroadcastCaptureSource();
const GrabCaptureSource& UserGrabCaptureSource();
