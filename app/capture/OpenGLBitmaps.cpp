#include "app/capture/OpenGLBitmaps.h"

#include "platform/cgl/GL.h"

#include <cstring>
#include <vector>

using namespace platform::cgl;
using platform::appkit::NSBitmapImageRep;
using platform::appkit::NSRect;

std::unique_ptr<NSBitmapImageRep> bitmapWithOpenGLViewportContents_hasAlpha(NSRect& viewport,
                                                                            bool) {
    GLint box[4] = {0, 0, 0, 0};
    glGetIntegerv(GL_VIEWPORT, box);
    if (glGetError() != GL_NO_ERROR) return nullptr;
    auto bitmap = NSBitmapImageRep::imageRepWithSize(box[2], box[3]);
    if (!bitmap) return nullptr;
    viewport = platform::appkit::NSMakeRect(0, 0, box[2], box[3]);
    std::vector<uint32_t> rows(size_t(box[2]) * size_t(box[3]));
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glPixelStorei(GL_PACK_ROW_LENGTH, 0);
    glReadPixels(box[0], box[1], box[2], box[3], GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, rows.data());
    if (glGetError() != GL_NO_ERROR) return nullptr;
    // OpenGL gives the bottom row first.
    for (int y = 0; y < box[3]; ++y) {
        uint32_t* to = bitmap->bitmapData() + size_t(y) * size_t(box[2]);
        std::memcpy(to, rows.data() + size_t(box[3] - 1 - y) * size_t(box[2]),
                    bitmap->bytesPerRow());
        for (int x = 0; x < box[2]; ++x)
            to[x] |= 0xff000000u;
    }
    return bitmap;
}

std::unique_ptr<NSBitmapImageRep> bitmapCroppedWithRect_withRect(const NSBitmapImageRep& bitmap,
                                                                 NSRect rect) {
    return bitmap.croppedToRect(rect);
}
