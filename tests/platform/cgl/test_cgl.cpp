// Full-screen CGL contexts and the read-back calls refused, against a private X server. (The
// pixel formats of present and missing displays, and reads with the pack state the grabs set, are
// the capture tests'; a read with the default pack state, the program's read-back grab.)
#include "platform/cgl/CGL.h"
#include "platform/quartzdisplay/CoreGraphicsDisplays.h"
#include "tests/support/PatternScreen.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

using namespace platform::cgl;
using namespace platform::coregraphics;

namespace {

using Bytes = std::vector<uint8_t>;
constexpr testsupport::ScreenSize kScreen{320, 200};

using CGLScreen = testsupport::PatternScreenSuite<kScreen>;

CGLError Choose(std::vector<CGLPixelFormatAttribute> attributes, CGLPixelFormatObj* pix) {
    GLint count = -1;
    attributes.push_back(0);
    const CGLError error = CGLChoosePixelFormat(attributes.data(), pix, &count);
    EXPECT_EQ(count, *pix ? 1 : 0);
    return error;
}

// A full-screen context is current on its thread only, and a windowed one cannot go full screen;
// refused calls set the error and write nothing.
TEST_F(CGLScreen, AFullScreenContextIsCurrentOnItsThreadAndRefusedCallsWriteNothing) {
    testsupport::InDisplayChild(Display(), [] {
        Bytes buffer(64, 0xCD);
        const auto read = [&](GLenum format, GLenum type) {
            glReadPixels(0, 0, 2, 2, format, type, buffer.data());
        };
        read(GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV); // nothing current yet
        EXPECT_EQ(glGetError(), GL_INVALID_OPERATION);
        EXPECT_EQ(glGetError(), GL_NO_ERROR);

        CGLPixelFormatObj pix = nullptr;
        ASSERT_EQ(
            Choose({kCGLPFAFullScreen, kCGLPFADisplayMask,
                    CGLPixelFormatAttribute(CGDisplayIDToOpenGLDisplayMask(CGMainDisplayID()))},
                   &pix),
            kCGLNoError);
        CGLContextObj ctx = nullptr;
        ASSERT_EQ(CGLCreateContext(pix, nullptr, &ctx), kCGLNoError);
        CGLDestroyPixelFormat(pix);
        EXPECT_EQ(CGLSetCurrentContext(ctx), kCGLNoError);
        EXPECT_EQ(CGLSetFullScreen(ctx), kCGLNoError);
        std::thread([] { EXPECT_EQ(CGLGetCurrentContext(), nullptr); }).join();
        EXPECT_EQ(CGLGetCurrentContext(), ctx);

        ASSERT_EQ(Choose({kCGLPFADisplayMask, 1}, &pix), kCGLNoError);
        CGLContextObj windowed = nullptr;
        ASSERT_EQ(CGLCreateContext(pix, ctx, &windowed), kCGLNoError);
        EXPECT_EQ(CGLSetFullScreen(windowed), kCGLBadFullScreen);
        CGLDestroyContext(windowed);
        CGLDestroyPixelFormat(pix);

        read(0x1908 /* GL_RGBA */, GL_UNSIGNED_INT_8_8_8_8_REV);
        EXPECT_EQ(glGetError(), GL_INVALID_ENUM);
        read(GL_BGRA, 0x1401 /* GL_UNSIGNED_BYTE */);
        EXPECT_EQ(glGetError(), GL_INVALID_ENUM);
        glReadBuffer(GL_BACK);
        EXPECT_EQ(glGetError(), GL_INVALID_OPERATION);
        glPixelStorei(GL_PACK_ALIGNMENT, 3);
        EXPECT_EQ(glGetError(), GL_INVALID_VALUE);
        GLint alignment = 0;
        glGetIntegerv(GL_PACK_ALIGNMENT, &alignment);
        EXPECT_EQ(alignment, 4);
        CGLClearDrawable(ctx);
        read(GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV);
        EXPECT_EQ(glGetError(), GL_INVALID_FRAMEBUFFER_OPERATION);
        EXPECT_EQ(buffer, Bytes(64, 0xCD));
        EXPECT_EQ(CGLDestroyContext(ctx), kCGLNoError);
        EXPECT_EQ(CGLGetCurrentContext(), nullptr);
    });
}

} // namespace
