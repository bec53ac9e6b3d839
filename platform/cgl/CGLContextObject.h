#pragma once

// What a pixel format and a context hold, shared by the CGL and GL halves of the layer.
#include "platform/cgl/CGL.h"
#include "platform/quartzdisplay/CoreGraphicsDisplays.h"

namespace platform::cgl {

struct _CGLPixelFormatObject {
    coregraphics::CGOpenGLDisplayMask displayMask; // online displays only, never 0
    bool fullScreen;
};

struct _CGLContextObject {
    _CGLPixelFormatObject format;
    coregraphics::CGDirectDisplayID drawable = coregraphics::kCGNullDirectDisplay;
    GLint viewport[4] = {0, 0, 0, 0};
    GLenum readBuffer = GL_FRONT;
    GLint packAlignment = 4;
    GLint packRowLength = 0;
    GLint packSkipRows = 0;
    GLint packSkipPixels = 0;
    GLenum error = GL_NO_ERROR;
};

} // namespace platform::cgl
