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

// A full-screen context is current on its thread only; refused calls set the error and write
// nothing.
TEST_F(CGLScreen, AFullScreenContextIsCurrentOnItsThreadAndRefusedCallsWriteNothing) {
    testsupport::InDisplayChild(Display(), [] {
        Bytes buffer(64, 0xCD);
        const auto read = [&] {
            glReadPixels(0, 0, 2, 2, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, buffer.data());
        };
        read(); // nothing current yet
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
        CGLClearDrawable(ctx);
        read();
        EXPECT_EQ(glGetError(), GL_INVALID_FRAMEBUFFER_OPERATION);
        EXPECT_EQ(buffer, Bytes(64, 0xCD));
        EXPECT_EQ(CGLDestroyContext(ctx), kCGLNoError);
        EXPECT_EQ(CGLGetCurrentContext(), nullptr);
    });
}

} // namespace
