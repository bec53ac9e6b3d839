#include "app/capture/GrabberController_CGL.h"

#include "core/CoreVerify.h"
#include "pixels/OpenGL_ReadPixels.h"
#include "platform/appkit/AppKitTypes.h"
#include "platform/cgl/GL.h"

#include <algorithm>
#include <cstring>

using namespace platform::cgl;
using namespace platform::coregraphics;

void grabOpenGLViewportContentsTo_ARGB_BufferSize_sizePixels_bufferData_bufferRowBytes_flipHorizontal(
    CGPoint origin, CGSize size, void* bufferData, size_t bufferRowBytes, bool flipHorizontal) {
    GLint viewport[4] = {0, 0, 0, 0};
    glGetIntegerv(GL_VIEWPORT, viewport);
    const CGRect inside = platform::appkit::NSIntersectionRect(
        CGRectMake(0, 0, viewport[2], viewport[3]), {origin, size});
    if (!(inside.size.width > 3.0 && inside.size.height > 3.0)) return;

    // clang-format off
    if (!VERIFY(bufferData) || !VERIFY(bufferRowBytes)) return;
    // clang-format on
    if (!VERIFY(size.width < 0x7FFFFFFF && size.height < 0x7FFFFFFF)) return;
    const GLint width = GLint(size.width), height = GLint(size.height);
    // The read packs rows of size.width pixels and the conversion steps by bufferRowBytes: when
    // they differ the rows come out sheared, or the read runs past the buffer.
    if (!VERIFY(bufferRowBytes == 4 * size_t(width))) return;

    glFinish();
    if (size.width > inside.size.width || size.height > inside.size.height)
        std::memset(bufferData, 0, size_t(height) * bufferRowBytes);

    const GLint readWidth = GLint(inside.size.width), readHeight = GLint(inside.size.height);
    const GLint readX = GLint(inside.origin.x), readY = GLint(inside.origin.y);
    // The part inside lands where it lies within the rectangle, also left of or below it.
    const GLint skipPixels = std::clamp(readX - GLint(origin.x), 0, width - readWidth);
    const GLint skipRows = std::clamp(readY - GLint(origin.y), 0, height - readHeight);
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glPixelStorei(GL_PACK_ROW_LENGTH, width);
    glPixelStorei(GL_PACK_SKIP_ROWS, skipRows);
    glPixelStorei(GL_PACK_SKIP_PIXELS, skipPixels);
    glReadPixels(readX, readY, readWidth, readHeight, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV,
                 bufferData);
    OpenGL::ReadPixels::_swizzle_framebuffer_GL_BGRA_to_ARGB(bufferData, size_t(height),
                                                             bufferRowBytes, true, flipHorizontal);
}
