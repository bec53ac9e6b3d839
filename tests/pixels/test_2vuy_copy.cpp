#include "core/CoreMachDebugLog.h"
#include "pixels/CoreGraphicsBitmapContext.h"
#include "pixels/Q_2vuy_format.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

using CoreGraphics::BitmapContext;

namespace {

std::string Reports(const std::function<void()>& call) {
    CoreMachDebugLogSetUseLogger(kCoreLogToASL);
    return testsupport::CaptureStandardError(call);
}

bool Reported(const std::string& reports, const std::string& expression) {
    return reports.find("VERIFY FAILED:  code : " + expression + " in ") != std::string::npos;
}

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

TEST(Pixels2vuyCopy, RefusesBitmapsItCannotFillAndReportsWhy) {
    Picture picture(8, 8);
    BitmapContext empty;
    std::string reports = Reports([&] { picture.view.CopyPixelsTo(empty); });
    EXPECT_TRUE(Reported(reports, "in_rhs.IsConstructed()")) << reports;

    BitmapContext xrgb;
    ASSERT_TRUE(xrgb.Construct(8, 8, BitmapContext::BitmapType_Device_XRGB));
    std::memset(xrgb.GetImageDataBytes(), 0x5A, xrgb.GetImageDataSize());
    reports = Reports([&] { picture.view.CopyPixelsTo(xrgb); });
    EXPECT_TRUE(Reported(reports, "fOk = (CoreGraphics::BitmapContext::BitmapType_Device_ARGB=="
                                  "in_rhs.GetImageType())"))
        << reports;
    const std::vector<uint8_t> untouched(xrgb.GetImageDataSize(), 0x5A);
    EXPECT_EQ(0, std::memcmp(untouched.data(), xrgb.GetImageDataBytes(), untouched.size()));

    BitmapContext argb;
    ASSERT_TRUE(argb.Construct(8, 8, BitmapContext::BitmapType_Device_ARGB));
    EXPECT_EQ("", Reports([&] { EXPECT_TRUE(picture.view.CanCopyFormat(argb)); }));
}

TEST(Pixels2vuyCopy, ShorterPictureFillsTheBottomRowsOnly) {
    Picture picture(640, 400);
    BitmapContext bitmap;
    ASSERT_TRUE(bitmap.Construct(640, 480, BitmapContext::BitmapType_Device_ARGB));
    std::memset(bitmap.GetImageDataBytes(), 0x5A, bitmap.GetImageDataSize());
    picture.view.CopyPixelsTo(bitmap);

    const std::vector<uint8_t> untouched(4 * 640, 0x5A);
    for (int y : {0, 40, 79})
        EXPECT_EQ(untouched, BitmapRow(bitmap, y, 640)) << "row " << y;
    for (int y : {80, 81, 300, 479})
        EXPECT_EQ(picture.Row(y - 80, 640), BitmapRow(bitmap, y, 640)) << "row " << y;
}

TEST(Pixels2vuyCopy, LargerPictureIsCutToTheBitmapAndItsOwnMemory) {
    // Wider and taller than the bitmap: the top rows fall outside and each row is cut.
    Picture wide(12, 10);
    BitmapContext bitmap;
    ASSERT_TRUE(bitmap.Construct(8, 6, BitmapContext::BitmapType_Device_ARGB));
    wide.view.CopyPixelsTo(bitmap);
    for (int y = 0; y < 6; ++y) {
        std::vector<uint8_t> expected = wide.Row(y + 4, 12);
        expected.resize(4 * 8);
        EXPECT_EQ(expected, BitmapRow(bitmap, y, 8)) << "row " << y;
    }

    // A picture claiming more rows than its memory holds converts only the rows it has.
    Picture shortMemory(8, 3);
    shortMemory.view._Height = 6;
    std::memset(bitmap.GetImageDataBytes(), 0x5A, bitmap.GetImageDataSize());
    shortMemory.view.CopyPixelsTo(bitmap);
    for (int y = 0; y < 3; ++y)
        EXPECT_EQ(shortMemory.Row(y, 8), BitmapRow(bitmap, y, 8)) << "row " << y;
    for (int y = 3; y < 6; ++y)
        EXPECT_EQ(std::vector<uint8_t>(32, 0x5A), BitmapRow(bitmap, y, 8)) << "row " << y;
}

} // namespace
