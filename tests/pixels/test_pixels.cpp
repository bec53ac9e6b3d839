// The pixel library: bitmap contexts; 2vuy pictures, their buffers, row conversions and copies
// into bitmaps; the read-back converters' bytes and the frames they turn over. The rows
// underneath are the kernel table's, tested in tests/kernels.
#include "kernels/KernelTable.h"
#include "pixels/CoreGraphicsBitmapContext.h"
#include "pixels/OpenGL_ReadPixels.h"
#include "pixels/Q_2vuy_format.h"
#include "tests/support/VerifyReports.h"

#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <vector>

using namespace platform::coregraphics;
using CoreGraphics::BitmapContext;
using Bytes = std::vector<uint8_t>;
namespace RP = OpenGL::ReadPixels;

// A failed one-row allocation must come back as null here, also under the address sanitizer.
extern "C" __attribute__((visibility("default"))) const char* __asan_default_options() {
    return "allocator_may_return_null=1";
}

namespace {

// Sizes follow the type's table and the row bytes in use, which may only widen rows; a type
// outside the table is refused without a report.
TEST(BitmapContext, ConstructFollowsTheTypeAndTheRowBytesInUse) {
    const struct {
        int type, width, height;
        size_t inUse;
        bool made;
        unsigned rowBytes;
        CGBitmapInfo info;
        const char* report;
    } cases[] = {
        {BitmapContext::BitmapType_Device_ARGB, 640, 480, 0, true, 2560, 2, nullptr},
        {BitmapContext::BitmapType_Device_Gray, 7, 3, 0, true, 7, 0, nullptr},
        {BitmapContext::BitmapType_Device_XRGB, 7, 3, 0, true, 28, 6, nullptr},
        {BitmapContext::BitmapType_Device_RGBX, 7, 3, 0, true, 28, 5, nullptr},
        {BitmapContext::BitmapType_Device_ARGB, 10, 2, 64, true, 64, 2, nullptr},
        {BitmapContext::BitmapType_Device_ARGB, 10, 2, 39, true, 40, 2,
         "inUseRowBytes>=mImageRowBytes"},
        {0, 4, 4, 0, false, 0, 0, nullptr},
        {5, 4, 4, 0, false, 0, 0, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "type " << c.type << " row bytes in use " << c.inUse);
        BitmapContext bitmap;
        bool made = !c.made;
        const std::string reports = testsupport::VerifyReports([&] {
            made = bitmap.Construct(c.width, c.height, BitmapContext::BitmapType(c.type), c.inUse);
        });
        EXPECT_EQ(made, c.made);
        EXPECT_EQ(bitmap.IsConstructed(), c.made);
        EXPECT_TRUE(c.report ? testsupport::VerifyReported(reports, c.report) : reports.empty())
            << reports;
        if (!c.made) continue;
        EXPECT_EQ(bitmap.GetImageType(), c.type);
        EXPECT_EQ(bitmap.GetImageDataSize(), c.rowBytes * unsigned(c.height));
        EXPECT_EQ(bitmap.GetImageBitmapInfo(), c.info);
        // The drawing context draws into the object's own pixels, rows as wide as the object's.
        EXPECT_EQ(CGBitmapContextGetData(bitmap.GetContext()), bitmap.GetImageDataBytes());
        EXPECT_EQ(CGBitmapContextGetBytesPerRow(bitmap.GetContext()), c.rowBytes);
    }
}

// An image shares the bitmap's pixels: written after it was made, they are seen through it,
// upright.
TEST(BitmapContext, ImagesShareThePixels) {
    BitmapContext bitmap, target;
    ASSERT_TRUE(bitmap.Construct(2, 2, BitmapContext::BitmapType_Device_ARGB));
    ASSERT_TRUE(target.Construct(2, 2, BitmapContext::BitmapType_Device_ARGB));
    CGImageRef image = bitmap.ConstructCGImage();
    const uint8_t pixels[16] = {0xFF, 1, 2, 3, 0xFF, 4, 5, 6, 0xFF, 7, 8, 9, 0xFF, 10, 11, 12};
    std::memcpy(bitmap.GetImageDataBytes(), pixels, sizeof pixels);
    CGContextDrawImage(target.GetContext(), CGRectMake(0, 0, 2, 2), image);
    CGImageRelease(image);
    EXPECT_EQ(std::memcmp(target.GetImageDataBytes(), pixels, 16), 0);
}

// A picture lands in the bitmap's bottom rows, decoded as the plain rows decode (whose bytes the
// kernel tests pin), cut to the bitmap's width and to the rows its own memory holds; every other
// byte stays as it was. A bitmap it cannot fill is reported and keeps
// every byte.
TEST(Pixels2vuyCopy, PicturesFillTheBottomRowsCutToTheBitmapAndTheirMemory) {
    const struct {
        const char* name;
        int width, height, memoryRows, bitmapWidth, bitmapHeight;
        int type; // 0: a bitmap that was never constructed
        const char* report;
    } cases[] = {
        {"shorter", 640, 400, 400, 640, 480, BitmapContext::BitmapType_Device_ARGB, nullptr},
        {"wider and taller", 12, 10, 10, 8, 6, BitmapContext::BitmapType_Device_ARGB, nullptr},
        {"claiming more rows than its memory holds", 8, 6, 3, 8, 6,
         BitmapContext::BitmapType_Device_ARGB, nullptr},
        {"into XRGB", 8, 8, 8, 8, 8, BitmapContext::BitmapType_Device_XRGB,
         "fOk = (CoreGraphics::BitmapContext::BitmapType_Device_ARGB==in_rhs.GetImageType())"},
        {"into nothing", 8, 8, 8, 8, 8, 0, "in_rhs.IsConstructed()"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        // Rows that differ, so that a row landing in the wrong place shows.
        Q_2vuy_buffer picture(int16_t(c.width), int16_t(c.memoryRows));
        for (long i = 0; i < picture._PixelDataSize; ++i)
            picture._PixelData[i] = uint8_t(16 + (i * 7 + i / (2 * c.width) * 13) % 220);
        picture._Height = int16_t(c.height);
        BitmapContext bitmap;
        if (c.type) {
            ASSERT_TRUE(
                bitmap.Construct(c.bitmapWidth, c.bitmapHeight, BitmapContext::BitmapType(c.type)));
            std::memset(bitmap.GetImageDataBytes(), 0x5A, bitmap.GetImageDataSize());
        }
        const std::string reports =
            testsupport::VerifyReports([&] { picture.CopyPixelsTo(bitmap); });
        EXPECT_TRUE(c.report ? testsupport::VerifyReported(reports, c.report) : reports.empty())
            << reports;
        for (unsigned y = 0; y < bitmap.GetImageHeight(); ++y) {
            const int row = int(y) - (c.bitmapHeight - c.height); // the picture's row landing here
            Bytes expected(size_t(4 * c.bitmapWidth), 0x5A);
            if (!c.report && row >= 0 && row < c.memoryRows) {
                expected.resize(size_t(4 * c.width));
                kernels::ForLevel(CoreVectorUnit::kReference)
                    .decode2vuy(picture._PixelData + row * 2 * c.width, expected.data(), c.width);
                expected.resize(size_t(4 * c.bitmapWidth));
            }
            const uint8_t* got = bitmap.GetImageDataBytes() + y * bitmap.GetImageRowBytes();
            ASSERT_EQ(expected, Bytes(got, got + expected.size())) << "row " << y;
        }
    }
}

// Every converter on frames of odd and even row counts, with rows of whole vector steps and a
// tail: each pixel, tagged with its own column and row, lands where flipping and mirroring put
// it, with the converter's bytes.
TEST(ReadPixelsFrame, EachConverterPutsEveryPixelInPlace) {
    // Destination byte i is source byte from[i] (4 stands for an opaque 255), unmirrored and
    // mirrored.
    const struct {
        const char* name;
        void (*frame)(void*, size_t, size_t, bool, bool);
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
