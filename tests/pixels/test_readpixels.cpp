// The read-back converters' bytes and the frames they turn over (their rows are the kernel
// table's swizzles, tested in tests/kernels).
#include "pixels/OpenGL_ReadPixels.h"
#include "tests/support/VerifyReports.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

// A failed one-row allocation must come back as null here, also under the address sanitizer.
extern "C" __attribute__((visibility("default"))) const char* __asan_default_options() {
    return "allocator_may_return_null=1";
}

namespace {

namespace RP = OpenGL::ReadPixels;
using Bytes = std::vector<uint8_t>;

// Every converter on frames of odd and even row counts, with rows of whole vector steps and a
// tail: each pixel, tagged with its own column and row, lands where flipping and mirroring put
// it, with the converter's bytes.
TEST(ReadPixelsFrame, EachConverterPutsEveryPixelInPlace) {
    using FrameFn = void (*)(void*, size_t, size_t, bool, bool);
    // Destination byte i is source byte from[i] (4 stands for an opaque 255), unmirrored and
    // mirrored.
    const struct {
        const char* name;
        FrameFn frame;
        int from[2][4];
    } cases[] = {
        // The mirror twin of BGRA to ARGB drops alpha.
        {"BGRA_to_ARGB", RP::_swizzle_framebuffer_GL_BGRA_to_ARGB, {{3, 2, 1, 0}, {4, 2, 1, 0}}},
        {"BGRX_to_ARGB", RP::_swizzle_framebuffer_GL_BGRX_to_ARGB, {{4, 2, 1, 0}, {4, 2, 1, 0}}},
        {"BGRA_to_RGBA", RP::_swizzle_framebuffer_GL_BGRA_to_RGBA, {{2, 1, 0, 3}, {2, 1, 0, 3}}},
        {"BGRX_to_RGBA", RP::_swizzle_framebuffer_GL_BGRX_to_RGBA, {{2, 1, 0, 4}, {2, 1, 0, 4}}},
    };
    const size_t width = 19;
    for (const auto& c : cases) {
        for (size_t rows : {1u, 2u, 3u, 6u}) {
            for (int variant = 0; variant < 4; ++variant) {
                const bool flip = variant & 1, mirror = variant & 2;
                SCOPED_TRACE(testing::Message() << c.name << " rows " << rows << " flip " << flip
                                                << " mirror " << mirror);
                Bytes frame, expected;
                for (size_t y = 0; y < rows; ++y) {
                    for (size_t x = 0; x < width; ++x) {
                        frame.insert(frame.end(), {uint8_t(x), uint8_t(y), 200, 77});
                        const uint8_t source[5] = {uint8_t(mirror ? width - 1 - x : x),
                                                   uint8_t(flip ? rows - 1 - y : y), 200, 77, 255};
                        for (int from : c.from[mirror])
                            expected.push_back(source[from]);
                    }
                }
                c.frame(frame.data(), rows, 4 * width, flip, mirror);
                ASSERT_EQ(frame, expected);
            }
        }
    }
}

// A row of a partial pixel, and a failed one-row allocation, flipping or not: the frame stays as
// read, and the check is reported.
TEST(ReadPixelsFrame, PartialPixelRowsOrNoScanlineLeaveTheFrameAsReadAndReport) {
    for (const size_t rowBytes : {size_t(6), size_t(1) << 62}) {
        for (bool flip : {true, false}) {
            Bytes frame = {1, 2, 3, 4, 5, 6};
            const std::string reports = testsupport::VerifyReports([&] {
                RP::_swizzle_framebuffer_GL_BGRA_to_ARGB(frame.data(), 1, rowBytes, flip, false);
            });
            EXPECT_EQ(frame, (Bytes{1, 2, 3, 4, 5, 6}));
            EXPECT_TRUE(testsupport::VerifyReported(
                reports, rowBytes == 6 ? "buffer != nullptr && rowBytes % sizeof(uint_pixel_t) == 0"
                                       : "one_scanline_buffer"))
                << reports;
        }
    }
}

} // namespace
