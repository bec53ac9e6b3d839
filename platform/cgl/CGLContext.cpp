// Pixel formats, contexts, the current context and full-screen attachment.
#include "platform/cgl/CGLContextObject.h"

#include <new>

namespace platform::cgl {

using namespace coregraphics;

namespace {

thread_local CGLContextObj sCurrent = nullptr;

// The masks of the online displays together; false without an X server.
bool OnlineMask(CGOpenGLDisplayMask& mask) {
    CGDirectDisplayID displays[kCGMaxDisplays];
    CGDisplayCount count = 0;
    if (CGGetOnlineDisplayList(kCGMaxDisplays, displays, &count) != kCGErrorSuccess) return false;
    mask = 0;
    for (CGDisplayCount i = 0; i < count; ++i)
        mask |= CGDisplayIDToOpenGLDisplayMask(displays[i]);
    return true;
}

// The first online display of a mask, or none when all of them went away.
CGDirectDisplayID FirstDisplay(CGOpenGLDisplayMask mask) {
    CGDirectDisplayID displays[kCGMaxDisplays];
    CGDisplayCount count = 0;
    if (CGGetOnlineDisplayList(kCGMaxDisplays, displays, &count) != kCGErrorSuccess)
        return kCGNullDirectDisplay;
    for (CGDisplayCount i = 0; i < count; ++i)
        if (CGDisplayIDToOpenGLDisplayMask(displays[i]) & mask) return displays[i];
    return kCGNullDirectDisplay;
}

} // namespace

CGLError CGLChoosePixelFormat(const CGLPixelFormatAttribute* attribs, CGLPixelFormatObj* pix,
                              GLint* npix) {
    if (!attribs || !pix || !npix) return kCGLBadAddress;
    *pix = nullptr;
    *npix = 0;
    bool fullScreen = false, masked = false;
    CGOpenGLDisplayMask wanted = 0;
    for (const CGLPixelFormatAttribute* a = attribs; *a != 0; ++a) {
        if (*a == kCGLPFAFullScreen) {
            fullScreen = true;
        } else if (*a == kCGLPFADisplayMask) {
            // The value is read even when it is 0 (an unknown display's mask).
            wanted = static_cast<CGOpenGLDisplayMask>(*++a);
            masked = true;
        } else {
            return kCGLBadAttribute;
        }
    }
    CGOpenGLDisplayMask online = 0;
    if (!OnlineMask(online)) return kCGLBadConnection;
    const CGOpenGLDisplayMask mask = masked ? wanted & online : online;
    if (mask == 0) return kCGLBadDisplay;
    *pix = new (std::nothrow) _CGLPixelFormatObject{mask, fullScreen};
    if (!*pix) return kCGLBadAlloc;
    *npix = 1;
    return kCGLNoError;
}

CGLError CGLDestroyPixelFormat(CGLPixelFormatObj pix) {
    if (!pix) return kCGLBadPixelFormat;
    delete pix;
    return kCGLNoError;
}

CGLError CGLCreateContext(CGLPixelFormatObj pix, CGLContextObj, CGLContextObj* ctx) {
    if (!ctx) return kCGLBadAddress;
    *ctx = nullptr;
    if (!pix) return kCGLBadPixelFormat;
    *ctx = new (std::nothrow) _CGLContextObject{*pix};
    return *ctx ? kCGLNoError : kCGLBadAlloc;
}

CGLError CGLDestroyContext(CGLContextObj ctx) {
    if (!ctx) return kCGLBadContext;
    if (sCurrent == ctx) sCurrent = nullptr;
    delete ctx;
    return kCGLNoError;
}

CGLError CGLSetCurrentContext(CGLContextObj ctx) {
    sCurrent = ctx;
    return kCGLNoError;
}

CGLContextObj CGLGetCurrentContext() {
    return sCurrent;
}

CGLError CGLSetFullScreen(CGLContextObj ctx) {
    if (!ctx) return kCGLBadContext;
    if (!ctx->format.fullScreen) return kCGLBadFullScreen;
    const CGDirectDisplayID display = FirstDisplay(ctx->format.displayMask);
    if (display == kCGNullDirectDisplay) return kCGLBadDisplay;
    ctx->drawable = display;
    ctx->viewport[0] = ctx->viewport[1] = 0;
    ctx->viewport[2] = static_cast<GLint>(CGDisplayPixelsWide(display));
    ctx->viewport[3] = static_cast<GLint>(CGDisplayPixelsHigh(display));
    return kCGLNoError;
}

CGLError CGLClearDrawable(CGLContextObj ctx) {
    if (!ctx) return kCGLBadContext;
    ctx->drawable = kCGNullDirectDisplay;
    return kCGLNoError;
}

} // namespace platform::cgl
