// The OpenGL read-back calls over the current context's display.
#include "platform/cgl/CGLContextObject.h"

#include <algorithm>
#include <cstring>

namespace platform::cgl {

using namespace coregraphics;

namespace {

// Errors of calls made with no context current on this thread.
thread_local GLenum sNoContextError = GL_NO_ERROR;

// OpenGL keeps the first error until it is read.
void SetError(CGLContextObj c, GLenum error) {
    GLenum& slot = c ? c->error : sNoContextError;
    if (slot == GL_NO_ERROR) slot = error;
}

CGLContextObj Context() {
    CGLContextObj c = CGLGetCurrentContext();
    if (!c) SetError(nullptr, GL_INVALID_OPERATION);
    return c;
}

GLint* PackParameter(CGLContextObj c, GLenum pname) {
    switch (pname) {
    case GL_PACK_ALIGNMENT:
        return &c->packAlignment;
    case GL_PACK_ROW_LENGTH:
        return &c->packRowLength;
    case GL_PACK_SKIP_ROWS:
        return &c->packSkipRows;
    case GL_PACK_SKIP_PIXELS:
        return &c->packSkipPixels;
    default:
        return nullptr;
    }
}

// Bytes from one packed row to the next: 4-byte pixels, rows padded to the pack alignment.
size_t PackStride(const _CGLContextObject& c, GLsizei width) {
    const size_t length = size_t(c.packRowLength > 0 ? c.packRowLength : width);
    const size_t alignment = size_t(c.packAlignment);
    return (4 * length + alignment - 1) / alignment * alignment;
}

// The last read's pixels, kept for the next read of the same size on the thread: a fresh buffer
// each time costs its page faults every frame, and callers may make a context for each read.
struct ReadBuffer {
    CGContextRef pixels = nullptr;
    ~ReadBuffer() { CGContextRelease(pixels); }
};
thread_local ReadBuffer sReadBuffer;

// The display's pixels of a rectangle in display coordinates (top-left origin), top row first,
// as bytes B, G, R, A: the opaque screen image drawn into the thread's read buffer. Null when
// the display gave no image of the whole rectangle.
CGContextRef ScreenPixels(CGDirectDisplayID display, CGRect rect) {
    CGImageRef image = CGDisplayCreateImageForRect(display, rect);
    if (!image) return nullptr;
    const size_t width = size_t(rect.size.width), height = size_t(rect.size.height);
    CGContextRef pixels = nullptr;
    if (CGImageGetWidth(image) == width && CGImageGetHeight(image) == height) {
        if (CGBitmapContextGetWidth(sReadBuffer.pixels) != width ||
            CGBitmapContextGetHeight(sReadBuffer.pixels) != height) {
            CGContextRelease(sReadBuffer.pixels);
            CGColorSpaceRef rgb = CGColorSpaceCreateDeviceRGB();
            sReadBuffer.pixels =
                CGBitmapContextCreate(nullptr, width, height, 8, 0, rgb,
                                      kCGImageAlphaPremultipliedFirst | kCGBitmapByteOrder32Little);
            CGColorSpaceRelease(rgb);
        }
        pixels = sReadBuffer.pixels;
        if (pixels)
            CGContextDrawImage(pixels, CGRectMake(0, 0, double(width), double(height)), image);
    }
    CGImageRelease(image);
    return pixels;
}

} // namespace

void glReadBuffer(GLenum mode) {
    CGLContextObj c = Context();
    if (!c) return;
    if (mode == GL_FRONT)
        c->readBuffer = mode;
    else
        SetError(c, mode == GL_BACK ? GL_INVALID_OPERATION : GL_INVALID_ENUM);
}

void glGetIntegerv(GLenum pname, GLint* params) {
    CGLContextObj c = Context();
    if (!c) return;
    if (pname == GL_VIEWPORT) {
        std::copy(c->viewport, c->viewport + 4, params);
    } else if (pname == GL_READ_BUFFER) {
        *params = GLint(c->readBuffer);
    } else if (const GLint* value = PackParameter(c, pname)) {
        *params = *value;
    } else {
        SetError(c, GL_INVALID_ENUM);
    }
}

// Reads are complete when glReadPixels returns: there is nothing to wait for.
void glFinish() {
    Context();
}

void glPixelStorei(GLenum pname, GLint param) {
    CGLContextObj c = Context();
    if (!c) return;
    GLint* value = PackParameter(c, pname);
    if (!value) return SetError(c, GL_INVALID_ENUM);
    const bool valid = pname == GL_PACK_ALIGNMENT
                           ? param == 1 || param == 2 || param == 4 || param == 8
                           : param >= 0;
    if (!valid) return SetError(c, GL_INVALID_VALUE);
    *value = param;
}

void glReadPixels(GLint x, GLint y, GLsizei width, GLsizei height, GLenum format, GLenum type,
                  GLvoid* pixels) {
    CGLContextObj c = Context();
    if (!c) return;
    if (format != GL_BGRA || type != GL_UNSIGNED_INT_8_8_8_8_REV)
        return SetError(c, GL_INVALID_ENUM);
    if (width < 0 || height < 0 || !pixels) return SetError(c, GL_INVALID_VALUE);
    if (c->drawable == kCGNullDirectDisplay) return SetError(c, GL_INVALID_FRAMEBUFFER_OPERATION);

    // The part of the rectangle on the display, in window coordinates.
    const int64_t displayWidth = int64_t(CGDisplayPixelsWide(c->drawable));
    const int64_t displayHeight = int64_t(CGDisplayPixelsHigh(c->drawable));
    const int64_t left = std::max<int64_t>(x, 0),
                  right = std::min(int64_t(x) + width, displayWidth);
    const int64_t bottom = std::max<int64_t>(y, 0);
    const int64_t top = std::min(int64_t(y) + height, displayHeight);
    if (left >= right || bottom >= top) return;

    CGContextRef screen =
        ScreenPixels(c->drawable, CGRectMake(double(left), double(displayHeight - top),
                                             double(right - left), double(top - bottom)));
    if (!screen) return SetError(c, GL_INVALID_FRAMEBUFFER_OPERATION);
    const uint8_t* source = static_cast<const uint8_t*>(CGBitmapContextGetData(screen));
    const size_t sourceStride = CGBitmapContextGetBytesPerRow(screen);
    const size_t stride = PackStride(*c, width);
    uint8_t* const first = static_cast<uint8_t*>(pixels) + size_t(c->packSkipRows) * stride +
                           4 * size_t(c->packSkipPixels) + 4 * size_t(left - x);
    // The screen's top row is the highest window row read: rows land bottom row first.
    for (int64_t row = top - 1; row >= bottom; --row, source += sourceStride)
        std::memcpy(first + size_t(row - y) * stride, source, 4 * size_t(right - left));
}

GLenum glGetError() {
    CGLContextObj c = CGLGetCurrentContext();
    GLenum& slot = c ? c->error : sNoContextError;
    const GLenum error = slot;
    slot = GL_NO_ERROR;
    return error;
}

} // namespace platform::cgl
