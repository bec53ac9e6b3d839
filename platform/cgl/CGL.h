#pragma once

// The platform's CGL with its documented names and values, for full-screen contexts that read
// a display's front buffer. A pixel format names displays by their OpenGL display masks (see
// CGDisplayIDToOpenGLDisplayMask); a context attached full screen has the display as its
// drawable and a viewport of the display's size. The current context is per thread.
#include "platform/cgl/GL.h"

#include <cstdint>

namespace platform::cgl {

struct _CGLPixelFormatObject;
struct _CGLContextObject;
using CGLPixelFormatObj = _CGLPixelFormatObject*;
using CGLContextObj = _CGLContextObject*;

using CGLPixelFormatAttribute = int32_t;
constexpr CGLPixelFormatAttribute kCGLPFAFullScreen = 54;
constexpr CGLPixelFormatAttribute kCGLPFADisplayMask = 84; // followed by the mask

using CGLError = int32_t;
constexpr CGLError kCGLNoError = 0;
constexpr CGLError kCGLBadAttribute = 10000;
constexpr CGLError kCGLBadProperty = 10001;
constexpr CGLError kCGLBadPixelFormat = 10002;
constexpr CGLError kCGLBadRendererInfo = 10003;
constexpr CGLError kCGLBadContext = 10004;
constexpr CGLError kCGLBadDrawable = 10005;
constexpr CGLError kCGLBadDisplay = 10006;
constexpr CGLError kCGLBadState = 10007;
constexpr CGLError kCGLBadValue = 10008;
constexpr CGLError kCGLBadMatch = 10009;
constexpr CGLError kCGLBadEnumeration = 10010;
constexpr CGLError kCGLBadOffScreen = 10011;
constexpr CGLError kCGLBadFullScreen = 10012;
constexpr CGLError kCGLBadWindow = 10013;
constexpr CGLError kCGLBadAddress = 10014;
constexpr CGLError kCGLBadCodeModule = 10015;
constexpr CGLError kCGLBadAlloc = 10016;
constexpr CGLError kCGLBadConnection = 10017;

// attribs ends with 0; kCGLPFADisplayMask is always followed by its value, also a 0 one. Without a
// display mask every online display qualifies. A mask that names no online display gives no pixel
// format (*pix null, *npix 0) and kCGLBadDisplay; no X server gives kCGLBadConnection.
CGLError CGLChoosePixelFormat(const CGLPixelFormatAttribute* attribs, CGLPixelFormatObj* pix,
                              GLint* npix);
CGLError CGLDestroyPixelFormat(CGLPixelFormatObj pix);

// The context keeps what it needs of pix: the pixel format may be destroyed at once. There are
// no shared objects to share, so share is only accepted.
CGLError CGLCreateContext(CGLPixelFormatObj pix, CGLContextObj share, CGLContextObj* ctx);
// Also stops the context being current on this thread.
CGLError CGLDestroyContext(CGLContextObj ctx);

CGLError CGLSetCurrentContext(CGLContextObj ctx);
CGLContextObj CGLGetCurrentContext();

// Attaches the context to the first display of its full-screen pixel format and sets the
// viewport to that display's size.
CGLError CGLSetFullScreen(CGLContextObj ctx);
CGLError CGLClearDrawable(CGLContextObj ctx);

} // namespace platform::cgl
