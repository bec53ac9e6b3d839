#include "app/capture/Apple_CGL_GrabContext.h"

#include "core/CoreVerify.h"
#include "platform/quartzdisplay/CoreGraphicsDisplays.h"

using namespace platform::cgl;
using namespace platform::coregraphics;

namespace Apple_CGL {

GrabContext::GrabContext() : mContext(nullptr) {}

GrabContext::GrabContext(unsigned int displayID) : mContext(nullptr) {
    VERIFY(Construct(displayID));
}

GrabContext::~GrabContext() {
    Destruct();
}

bool GrabContext::Construct() {
    return VERIFY(Construct(CGMainDisplayID()));
}

bool GrabContext::Construct(unsigned int displayID) {
    Destruct(); // a second construction must not leak the first context
    const CGLPixelFormatAttribute attributes[] = {
        kCGLPFAFullScreen, kCGLPFADisplayMask,
        static_cast<CGLPixelFormatAttribute>(CGDisplayIDToOpenGLDisplayMask(displayID)), 0};
    CGLPixelFormatObj pixelFormat = nullptr;
    GLint pixelFormats = 0;
    CGLChoosePixelFormat(attributes, &pixelFormat, &pixelFormats);
    if (pixelFormat) {
        CGLCreateContext(pixelFormat, nullptr, &mContext);
        CGLDestroyPixelFormat(pixelFormat);
    }
    return VERIFY(IsValid());
}

bool GrabContext::MakeCurrent(bool attach) const {
    if (!VERIFY(IsValid())) return false;
    if (attach) {
        const CGLError current = CGLSetCurrentContext(mContext);
        return current == kCGLNoError && CGLSetFullScreen(mContext) == kCGLNoError;
    }
    const CGLError current = CGLSetCurrentContext(nullptr);
    return current == kCGLNoError && CGLClearDrawable(mContext) == kCGLNoError;
}

void GrabContext::Destruct() {
    if (mContext) CGLDestroyContext(mContext);
    mContext = nullptr;
}

} // namespace Apple_CGL
