// 2vuy pictures: their buffers, the row conversions of the class, and copies into bitmaps (the
// row kernels themselves are tested in tests/kernels).
#include "pixels/CoreGraphicsBitmapContext.h"
#include "pixels/Q_2vuy_format.h"
#include "tests/support/VerifyReports.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

using CoreGraphics::BitmapContext;

namespace {

TEST(Pixels2vuyFormat, BuffersHoldWholePairsAndRowsConvertBothWays) {
    const Q_2vuy_buffer odd(5, 3);
    EXPECT_EQ(odd._RowBytes, 12);
    EXPECT_EQ(odd._PixelDataSize, 36);
    ASSERT_NE(odd._PixelData, nullptr);
    EXPECT_EQ(Q_2vuy_buffer(0, 3)._PixelData, nullptr);

    std::vector<uint8_t> argb(8), pairs(4);
    Q_2vuy_data::ConvertScanline_2vuy_to_ARGB(std::vector<uint8_t>{128, 235, 128, 16}.data(),
                                              argb.data(), 2);
    EXPECT_EQ(argb, (std::vector<uint8_t>{255, 255, 255, 255, 255, 0, 0, 0}));
    Q_2vuy_data::ConvertScanline_ARGB_to_2vuy(argb.data(), pairs.data(), 2);
    EXPECT_EQ(pairs, (std::vector<uint8_t>{128, 234, 128, 16}));
}

// A picture lands in the bitmap's bottom rows, cut to the bitmap's width and to the rows its own
// memory holds; every other byte stays as it was. A bitmap it cannot fill is reported and keeps
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
        std::vector<uint8_t> bytes(size_t(2 * c.width * c.memoryRows));
        for (size_t i = 0; i < bytes.size(); ++i)
            bytes[i] = uint8_t(16 + (i * 7 + i / size_t(2 * c.width) * 13) % 220);
        Q_2vuy_data picture;
        picture._Width = int16_t(c.width);
        picture._Height = int16_t(c.height);
        picture._RowBytes = 2L * c.width;
        picture._PixelData = bytes.data();
        picture._PixelDataSize = long(bytes.size());
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
            std::vector<uint8_t> expected(size_t(4 * c.bitmapWidth), 0x5A);
            if (!c.report && row >= 0 && row < c.memoryRows) {
                expected.resize(size_t(4 * c.width));
                Q_2vuy_data::ConvertScanline_2vuy_to_ARGB(&bytes[size_t(row) * 2 * c.width],
                                                          expected.data(), c.width);
                expected.resize(size_t(4 * c.bitmapWidth));
            }
            const uint8_t* got = bitmap.GetImageDataBytes() + y * bitmap.GetImageRowBytes();
            ASSERT_EQ(expected, std::vector<uint8_t>(got, got + expected.size())) << "row " << y;
        }
    }
}

} // namespace
