#pragma once

// The OpenGL calls of a front-buffer read-back, acting on this thread's current CGL context.
// Pixels come from the context's display as OpenGL delivers them: window coordinates with the
// origin at the bottom-left, bottom row first. Errors follow OpenGL: a failing call sets the
// context's first unread error and has no other effect. Without a current context every call
// fails with GL_INVALID_OPERATION, read by glGetError on the same thread.
#include <cstdint>

namespace platform::cgl {

using GLenum = uint32_t;
using GLint = int32_t;
using GLsizei = int32_t;
using GLvoid = void;

constexpr GLenum GL_NO_ERROR = 0;
constexpr GLenum GL_INVALID_ENUM = 0x0500;
constexpr GLenum GL_INVALID_VALUE = 0x0501;
constexpr GLenum GL_INVALID_OPERATION = 0x0502;
constexpr GLenum GL_OUT_OF_MEMORY = 0x0505;
constexpr GLenum GL_INVALID_FRAMEBUFFER_OPERATION = 0x0506;

constexpr GLenum GL_FRONT = 0x0404;
constexpr GLenum GL_BACK = 0x0405;
constexpr GLenum GL_READ_BUFFER = 0x0C02;
constexpr GLenum GL_VIEWPORT = 0x0BA2;
constexpr GLenum GL_PACK_ROW_LENGTH = 0x0D02;
constexpr GLenum GL_PACK_SKIP_ROWS = 0x0D03;
constexpr GLenum GL_PACK_SKIP_PIXELS = 0x0D04;
constexpr GLenum GL_PACK_ALIGNMENT = 0x0D05;
constexpr GLenum GL_BGRA = 0x80E1;
constexpr GLenum GL_UNSIGNED_INT_8_8_8_8_REV = 0x8367;

// Full-screen pixel formats are single-buffered: GL_BACK is an invalid operation.
void glReadBuffer(GLenum mode);
// GL_VIEWPORT (four values), GL_READ_BUFFER and the four pack parameters.
void glGetIntegerv(GLenum pname, GLint* params);
void glFinish();
// Alignment 1, 2, 4 or 8; row length and skips not negative.
void glPixelStorei(GLenum pname, GLint param);
// Only GL_BGRA with GL_UNSIGNED_INT_8_8_8_8_REV: bytes B, G, R, A with alpha 255. Pixels of the
// rectangle outside the display leave their place in pixels untouched. Nothing attached:
// GL_INVALID_FRAMEBUFFER_OPERATION.
void glReadPixels(GLint x, GLint y, GLsizei width, GLsizei height, GLenum format, GLenum type,
                  GLvoid* pixels);
GLenum glGetError();

} // namespace platform::cgl
