// The full-screen read context and the controller's read-back into ARGB buffers, against a
// private X server showing a known pattern; which capture source each use gets.
#include "app/capture/Apple_CGL_GrabContext.h"
#include "app/capture/GrabCaptureSource.h"
#include "app/capture/GrabberController_CGL.h"
#include "core/CoreMachDebugLog.h"
#include "platform/quartzdisplay/CoreGraphicsDisplays.h"
#include "tests/support/PatternScreen.h"
#include "tests/support/VerifyReports.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

using namespace platform::cgl;
using namespace platform::coregraphics;

namespace {

using Bytes = std::vector<uint8_t>;
constexpr testsupport::ScreenSize kScreen{240, 160};

using CaptureScreen = testsupport::PatternScreenSuite<kScreen, 23>;

// A display that is not there, or no X server at all: no context, reported, and none current.
TEST_F(CaptureScreen, GrabContextOnAMissingDisplayReportsAndFails) {
    for (const std::string& display : {Display(), std::string()})
        testsupport::InDisplayChild(display, [&] {
            Apple_CGL::GrabContext context;
            const std::string reports = testsupport::VerifyReports([&] {
                EXPECT_FALSE(display.empty() ? context.Construct()
                                             : context.Construct(CGMainDisplayID() + 1));
                EXPECT_FALSE(context.MakeCurrent(true));
            });
            EXPECT_TRUE(testsupport::VerifyReported(reports, "IsValid()", "Construct")) << reports;
            EXPECT_FALSE(context.IsConstructed());
        });
}

struct GrabCase {
    const char* name;
    CGPoint origin;
    CGSize size;
    bool mirror;
    bool touched; // false: nothing is read and the buffer keeps its bytes
};

// The ARGB frame a grab should leave, top row first: the screen under the rectangle where it is
// on the screen, 0 elsewhere.
Bytes Expected(const testsupport::PatternScreen& screen, const GrabCase& c, Bytes buffer) {
    const int width = int(c.size.width), height = int(c.size.height);
    for (int i = 0; c.touched && i < width * height; ++i) {
        const int wx = int(c.origin.x) + (c.mirror ? width - 1 - i % width : i % width);
        const int wy = screen.size.height - int(c.origin.y) - height + i / width; // y down
        const bool on = wx >= 0 && wy >= 0 && wx < screen.size.width && wy < screen.size.height;
        const uint32_t argb = on ? 0xff000000u | screen.At(wx, wy) : 0;
        for (int byte = 0; byte < 4; ++byte)
            buffer[4 * size_t(i) + size_t(byte)] = uint8_t(argb >> (24 - 8 * byte));
    }
    return buffer;
}

TEST_F(CaptureScreen, GrabReadsTheViewportIntoTopDownARGBAndReportsBadBuffers) {
    const GrabCase cases[] = {
        {"inside mirrored", {30, 40}, {64, 48}, true, true},
        {"whole display", {0, 0}, {240, 160}, false, true},
        {"only 3 pixels of width inside", {237, 10}, {20, 20}, false, false},
        {"only 3 pixels of height inside", {10, -17}, {20, 20}, false, false},
        {"larger than the part inside: cleared, then read", {200, 130}, {64, 48}, false, true},
        {"off the bottom left lands in place", {-10, -6}, {32, 24}, false, true},
    };
    testsupport::InDisplayChild(Display(), [&] {
        Apple_CGL::GrabContext context;
        ASSERT_TRUE(context.Construct());
        ASSERT_TRUE(context.MakeCurrent(true));
        glReadBuffer(GL_FRONT);
        for (const GrabCase& c : cases) {
            SCOPED_TRACE(c.name);
            const size_t rowBytes = 4 * size_t(c.size.width);
            Bytes buffer(rowBytes * size_t(c.size.height), 0xCD);
            const Bytes expected = Expected(*sScreen, c, buffer);
            grabOpenGLViewportContentsTo_ARGB_BufferSize_sizePixels_bufferData_bufferRowBytes_flipHorizontal(
                c.origin, c.size, buffer.data(), rowBytes, c.mirror);
            EXPECT_TRUE(buffer == expected);
            EXPECT_EQ(glGetError(), GL_NO_ERROR);
        }
        // Rows too short for the width would make the read run past the buffer.
        Bytes untouched(4 * 16 * 16, 0xCD);
        const std::string reports = testsupport::VerifyReports([&] {
            grabOpenGLViewportContentsTo_ARGB_BufferSize_sizePixels_bufferData_bufferRowBytes_flipHorizontal(
                {0, 0}, {16, 16}, untouched.data(), 60, false);
        });
        EXPECT_TRUE(testsupport::VerifyReported(reports, "bufferRowBytes == 4 * size_t(width)"))
            << reports;
        EXPECT_EQ(untouched, Bytes(4 * 16 * 16, 0xCD));
        ASSERT_TRUE(context.MakeCurrent(false));
        EXPECT_EQ(CGLGetCurrentContext(), nullptr);
    });
}

// The broadcast takes display images a version before the user's grabs do, and only a
// read-back lets the broadcast's source pop-up choose a display.
TEST(CaptureSources, EachUseTakesItsSourceFromTheSystemVersion) {
    constexpr GrabCaptureKind kImage = GrabCaptureKind::kDisplayImage;
    constexpr GrabCaptureKind kRead = GrabCaptureKind::kReadBack;
    // The version, the broadcast's source, the grabs'.
    const std::tuple<uint32_t, GrabCaptureKind, GrabCaptureKind> rows[] = {
        {0x1050, kRead, kRead},
        {0x1060, kImage, kRead},
        {0x1068, kImage, kRead},
        {0x1070, kImage, kImage}};
    for (const auto& [version, broadcast, grab] : rows) {
        SCOPED_TRACE(testing::Message() << std::hex << version);
        const GrabCaptureKinds kinds = GrabCaptureKindsForVersion(version);
        EXPECT_EQ(kinds.broadcast, broadcast);
        EXPECT_EQ(kinds.grab, grab);
        EXPECT_EQ(CaptureSourceOfKind(kinds.broadcast).readsChosenDisplay(), broadcast == kRead);
    }
}

} // namespace
