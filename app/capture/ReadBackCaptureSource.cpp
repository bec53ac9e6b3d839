// The screen read back from the front buffer of a full-screen OpenGL context: a broadcast
// frame from the main display's, a user's grab from the grabbed display's.
#include "app/capture/Apple_CGL_GrabContext.h"
#include "app/capture/GrabCaptureSource.h"
#include "app/capture/GrabberController_CGL.h"
#include "app/capture/OpenGLBitmaps.h"
#include "core/CoreVerify.h"
#include "platform/cgl/GL.h"
#include "platform/quartzdisplay/CoreGraphicsDisplays.h"

#include <cstring>

using namespace platform::appkit;
using namespace platform::coregraphics;

namespace {

constexpr int kGLFront = 0x0404;
// The read-back reads nothing of a part this small or smaller.
constexpr double kSmallestReadable = 3.0;

// Attached full screen, made current again, its front buffer selected for reading.
void ReadFrontBuffer(const Apple_CGL::GrabContext& context) {
    VERIFY(context.MakeCurrent(true));
    context.MakeCurrent(true);
    platform::cgl::glReadBuffer(kGLFront);
}

class ReadBackSource final : public GrabCaptureSource {
public:
    bool readsChosenDisplay() const override { return true; }

    void captureFrame(NSRect r, GrabFrameTarget& target) const override {
        Apple_CGL::GrabContext oglContext;
        if (!VERIFY(oglContext.Construct())) return;
        ReadFrontBuffer(oglContext);
        // A rectangle (almost) off the main display reads nothing: the frame is cleared rather
        // than showing memory that was never written.
        const NSRect onMain = NSIntersectionRect(r, CGDisplayBounds(CGMainDisplayID()));
        const bool readable =
            onMain.size.width > kSmallestReadable && onMain.size.height > kSmallestReadable;
        target.readPixels(r.size, [&](void* pixels, size_t rowBytes, size_t height, CGSize size) {
            if (!readable) {
                std::memset(pixels, 0, rowBytes * height);
                return;
            }
            grabOpenGLViewportContentsTo_ARGB_BufferSize_sizePixels_bufferData_bufferRowBytes_flipHorizontal(
                r.origin, size, pixels, rowBytes, false);
        });
        VERIFY(oglContext.MakeCurrent(false));
    }

    GrabCaptureResult captureGrab(uint32_t display, const NSRect* rect,
                                  GrabAside& aside) const override {
        GrabCaptureResult result;
        Apple_CGL::GrabContext oglContext;
        if (!VERIFY(oglContext.Construct(display))) return result;
        aside.stepAside();
        ReadFrontBuffer(oglContext);
        NSRect viewport{};
        result.bitmap = bitmapWithOpenGLViewportContents_hasAlpha(viewport, false);
        aside.stepBack();
        if (result.bitmap && rect)
            result.bitmap =
                bitmapCroppedWithRect_withRect(*result.bitmap, NSIntersectionRect(viewport, *rect));
        if (!result.bitmap)
            result.failure = "display " + std::to_string(display) +
                             " could not be read back; the grab before stays";
        VERIFY(oglContext.MakeCurrent(false));
        return result;
    }
};

} // namespace

const GrabCaptureSource& ReadBackCaptureSource() {
    static const ReadBackSource source;
    return source;
}
