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

// A picture whose rows differ, so a row landing in the wrong place shows.
struct Picture {
    Picture(int width, int height) : bytes(size_t(2 * width * height)) {
        for (size_t i = 0; i < bytes.size(); ++i)
            bytes[i] = uint8_t(16 + (i * 7 + i / size_t(2 * width) * 13) % 220);
        view._Width = int16_t(width);
        view._Height = int16_t(height);
        view._RowBytes = 2L * width;
        view._PixelData = bytes.data();
        view._PixelDataSize = long(bytes.size());
    }
    std::vector<uint8_t> Row(int y, int width) const {
        std::vector<uint8_t> argb(size_t(4 * width));
        Q_2vuy_data::ConvertScanline_2vuy_to_ARGB(bytes.data() + y * view._RowBytes, argb.data(),
                                                  width);
        return argb;
    }
    std::vector<uint8_t> bytes;
    Q_2vuy_data view;
};

std::vector<uint8_t> BitmapRow(const BitmapContext& bitmap, int y, int width) {
    const uint8_t* row = bitmap.GetImageDataBytes() + y * bitmap.GetImageRowBytes();
    return std::vector<uint8_t>(row, row + 4 * width);
}

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

TEST(Pixels2vuyCopy, RefusesBitmapsItCannotFillAndReportsWhy) {
    Picture picture(8, 8);
    BitmapContext empty;
    std::string reports = testsupport::VerifyReports([&] { picture.view.CopyPixelsTo(empty); });
    EXPECT_TRUE(testsupport::VerifyReported(reports, "in_rhs.IsConstructed()")) << reports;

    BitmapContext xrgb;
    ASSERT_TRUE(xrgb.Construct(8, 8, BitmapContext::BitmapType_Device_XRGB));
    std::memset(xrgb.GetImageDataBytes(), 0x5A, xrgb.GetImageDataSize());
    reports = testsupport::VerifyReports([&] { picture.view.CopyPixelsTo(xrgb); });
    EXPECT_NE(reports.find("GetImageType()"), std::string::npos) << reports;
    const std::vector<uint8_t> untouched(xrgb.GetImageDataSize(), 0x5A);
    EXPECT_EQ(0, std::memcmp(untouched.data(), xrgb.GetImageDataBytes(), untouched.size()));
}

// A picture lands in the bitmap's bottom rows, cut to the bitmap's width and to the rows its own
// memory holds; every other byte stays as it was.
TEST(Pixels2vuyCopy, PicturesFillTheBottomRowsCutToTheBitmapAndTheirMemory) {
    const struct {
        const char* name;
        int width, height, memoryRows, bitmapWidth, bitmapHeight;
    } cases[] = {
        {"shorter", 640, 400, 400, 640, 480},
        {"wider and taller", 12, 10, 10, 8, 6},
        {"claiming more rows than its memory holds", 8, 6, 3, 8, 6},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Picture picture(c.width, c.memoryRows);
        picture.view._Height = int16_t(c.height);
        BitmapContext bitmap;
        ASSERT_TRUE(
            bitmap.Construct(c.bitmapWidth, c.bitmapHeight, BitmapContext::BitmapType_Device_ARGB));
        std::memset(bitmap.GetImageDataBytes(), 0x5A, bitmap.GetImageDataSize());
        picture.view.CopyPixelsTo(bitmap);
        for (int y = 0; y < c.bitmapHeight; ++y) {
            const int row = y - (c.bitmapHeight - c.height); // the picture's row landing here
            std::vector<uint8_t> expected(size_t(4 * c.bitmapWidth), 0x5A);
            if (row >= 0 && row < c.memoryRows) {
                expected = picture.Row(row, c.width);
                expected.resize(size_t(4 * c.bitmapWidth));
            }
            ASSERT_EQ(expected, BitmapRow(bitmap, y, c.bitmapWidth)) << "row " << y;
        }
    }
}

} // namespace
