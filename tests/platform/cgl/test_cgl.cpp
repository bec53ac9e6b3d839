// Full-screen CGL contexts and glReadPixels against a private X server showing a known pattern.
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

// A context on the main display, current and attached full screen.
CGLContextObj Attached() {
    CGLPixelFormatObj pix = nullptr;
    EXPECT_EQ(Choose({kCGLPFAFullScreen, kCGLPFADisplayMask,
                      CGLPixelFormatAttribute(CGDisplayIDToOpenGLDisplayMask(CGMainDisplayID()))},
                     &pix),
              kCGLNoError);
    CGLContextObj ctx = nullptr;
    EXPECT_EQ(CGLCreateContext(pix, nullptr, &ctx), kCGLNoError);
    CGLDestroyPixelFormat(pix);
    EXPECT_EQ(CGLSetCurrentContext(ctx), kCGLNoError);
    EXPECT_EQ(CGLSetFullScreen(ctx), kCGLNoError);
    return ctx;
}

TEST(CGLPixelFormat, NoXServerGivesNone) {
    testsupport::InDisplayChild("", [] {
        CGLPixelFormatObj pix = nullptr;
        EXPECT_EQ(Choose({kCGLPFAFullScreen}, &pix), kCGLBadConnection);
        EXPECT_EQ(pix, nullptr);
    });
}

TEST_F(CGLScreen, PixelFormatsNameOnlineDisplays) {
    testsupport::InDisplayChild(Display(), [] {
        struct Case {
            std::vector<CGLPixelFormatAttribute> attributes;
            CGLError error;
        } cases[] = {
            {{kCGLPFAFullScreen, kCGLPFADisplayMask, 1}, kCGLNoError},
            {{kCGLPFAFullScreen}, kCGLNoError},
            {{kCGLPFAFullScreen, kCGLPFADisplayMask, 2}, kCGLBadDisplay}, // no second display
            {{kCGLPFAFullScreen, kCGLPFADisplayMask,
              CGLPixelFormatAttribute(CGDisplayIDToOpenGLDisplayMask(CGMainDisplayID() + 1))},
             kCGLBadDisplay},
            {{kCGLPFAFullScreen, 5 /* double buffer: not offered */}, kCGLBadAttribute},
        };
        for (Case& c : cases) {
            SCOPED_TRACE(c.attributes.back());
            CGLPixelFormatObj pix = nullptr;
            EXPECT_EQ(Choose(c.attributes, &pix), c.error);
            EXPECT_EQ(pix != nullptr, c.error == kCGLNoError);
            if (pix) CGLDestroyPixelFormat(pix);
        }
    });
}

// (The viewport and reads in the layout the grabs use are the capture tests'.)
TEST_F(CGLScreen, AFullScreenContextIsCurrentOnThisThreadOnly) {
    testsupport::InDisplayChild(Display(), [] {
        CGLContextObj ctx = Attached();
        std::thread([] { EXPECT_EQ(CGLGetCurrentContext(), nullptr); }).join();
        EXPECT_EQ(CGLGetCurrentContext(), ctx);

        // A windowed pixel format cannot go full screen.
        CGLPixelFormatObj pix = nullptr;
        ASSERT_EQ(Choose({kCGLPFADisplayMask, 1}, &pix), kCGLNoError);
        CGLContextObj windowed = nullptr;
        ASSERT_EQ(CGLCreateContext(pix, ctx, &windowed), kCGLNoError);
        EXPECT_EQ(CGLSetFullScreen(windowed), kCGLBadFullScreen);
        CGLDestroyContext(windowed);
        CGLDestroyPixelFormat(pix);

        EXPECT_EQ(CGLDestroyContext(ctx), kCGLNoError);
        EXPECT_EQ(CGLGetCurrentContext(), nullptr);
    });
}

struct ReadCase {
    const char* name;
    GLint x, y, width, height;
    GLint alignment, rowLength, skipRows, skipPixels;
};

// What OpenGL leaves in a buffer of sentinel bytes for a read of the pattern screen.
Bytes Expected(const testsupport::PatternScreen& screen, const ReadCase& c, size_t size) {
    Bytes out(size, 0xCD);
    const size_t length = size_t(c.rowLength ? c.rowLength : c.width);
    const size_t stride =
        (4 * length + size_t(c.alignment) - 1) / size_t(c.alignment) * size_t(c.alignment);
    for (GLint j = 0; j < c.height; ++j) {
        for (GLint i = 0; i < c.width; ++i) {
            const GLint wx = c.x + i, wy = c.y + j;
            if (wx < 0 || wy < 0 || wx >= screen.size.width || wy >= screen.size.height) continue;
            const uint32_t rgb = screen.At(wx, screen.size.height - 1 - wy);
            uint8_t* p = &out[(size_t(c.skipRows) + size_t(j)) * stride +
                              4 * (size_t(c.skipPixels) + size_t(i))];
            p[0] = uint8_t(rgb), p[1] = uint8_t(rgb >> 8), p[2] = uint8_t(rgb >> 16), p[3] = 255;
        }
    }
    return out;
}

TEST_F(CGLScreen, ReadPixelsDeliversBottomRowFirstInTheStoredPackLayout) {
    const ReadCase cases[] = {
        {"odd width padded to 8", 17, 9, 5, 6, 8, 0, 0, 0},
        {"odd width byte aligned", 17, 9, 5, 6, 1, 0, 0, 0},
        {"partly off the bottom right, longer rows", 310, -4, 16, 8, 2, 21, 1, 1},
        {"entirely off", 320, 0, 4, 4, 4, 0, 0, 0},
    };
    testsupport::InDisplayChild(Display(), [&] {
        CGLContextObj ctx = Attached();
        glReadBuffer(GL_FRONT);
        for (const ReadCase& c : cases) {
            SCOPED_TRACE(c.name);
            glPixelStorei(GL_PACK_ALIGNMENT, c.alignment);
            glPixelStorei(GL_PACK_ROW_LENGTH, c.rowLength);
            glPixelStorei(GL_PACK_SKIP_ROWS, c.skipRows);
            glPixelStorei(GL_PACK_SKIP_PIXELS, c.skipPixels);
            const size_t size =
                size_t(c.skipRows + c.height + 1) * 8 * size_t(c.rowLength + c.width);
            Bytes buffer(size, 0xCD);
            glFinish();
            glReadPixels(c.x, c.y, c.width, c.height, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV,
                         buffer.data());
            EXPECT_EQ(glGetError(), GL_NO_ERROR);
            EXPECT_TRUE(buffer == Expected(*sScreen, c, size));
        }
        CGLDestroyContext(ctx);
    });
}

TEST_F(CGLScreen, RefusedCallsSetTheErrorAndWriteNothing) {
    testsupport::InDisplayChild(Display(), [] {
        Bytes buffer(64, 0xCD);
        const auto read = [&](GLenum format, GLenum type) {
            glReadPixels(0, 0, 2, 2, format, type, buffer.data());
        };
        read(GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV); // nothing current yet
        EXPECT_EQ(glGetError(), GL_INVALID_OPERATION);
        EXPECT_EQ(glGetError(), GL_NO_ERROR);

        CGLContextObj ctx = Attached();
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
        CGLDestroyContext(ctx);
    });
}

} // namespace
