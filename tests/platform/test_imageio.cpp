#include "platform/files/AtomicFile.h"
#include "platform/imageio/ImageWriters.h"
#include "tests/support/ImageDecoders.h"
#include "tests/support/TestSupport.h"

#include <csignal>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

using namespace platform::imageio;
using testsupport::DecodedImage;

namespace {

const struct {
    const char* name;
    NSBitmapImageFileType type;
    DecodedImage (*decode)(const std::string&);
} kFormats[] = {
    {"png", NSPNGFileType, testsupport::DecodePNG},
    {"tiff", NSTIFFFileType, testsupport::DecodeTIFF},
    {"jpg", NSJPEGFileType, testsupport::DecodeJPEG},
};

// Noise in rows padded by 8 bytes; smooth when asked, so that JPEG keeps it close.
struct TestImage {
    TestImage(PixelLayout layout, int width, int height, bool smooth = false)
        : description{width, height, width * BytesPerPixel(layout) + 8, layout, false, nullptr},
          memory(description.rowBytes * height) {
        uint32_t state = 12345;
        for (size_t i = 0; i < memory.size(); ++i)
            memory[i] = smooth ? uint8_t(i % description.rowBytes / 2 + i / description.rowBytes)
                               : uint8_t((state = state * 1103515245u + 12345u) >> 16);
        description.pixels = memory.data();
    }
    ImageDescription description;
    std::vector<uint8_t> memory;
};

size_t Entries(const std::string& folder) {
    return size_t(std::distance(std::filesystem::directory_iterator(folder), {}));
}

TEST(ImageWriters, FilesDecodeToThePixelsOfEveryLayout) {
    testsupport::TempFolder temp;
    // Byte offsets of R, G, B and A (-1: opaque) in each layout.
    const struct {
        PixelLayout layout;
        int at[4];
    } layouts[] = {{PixelLayout::kRGBA, {0, 1, 2, 3}},  {PixelLayout::kARGB, {1, 2, 3, 0}},
                   {PixelLayout::kBGRA, {2, 1, 0, 3}},  {PixelLayout::kXRGB, {1, 2, 3, -1}},
                   {PixelLayout::kBGRX, {2, 1, 0, -1}}, {PixelLayout::kRGB, {0, 1, 2, -1}}};
    for (const auto& l : layouts) {
        const TestImage image(l.layout, 37, 23);
        const int channels = l.at[3] < 0 ? 3 : 4;
        std::vector<uint8_t> expected;
        for (int y = 0; y < 23; ++y)
            for (int x = 0; x < 37; ++x)
                for (int c = 0; c < channels; ++c)
                    expected.push_back(image.memory[y * image.description.rowBytes +
                                                    x * BytesPerPixel(l.layout) + l.at[c]]);
        for (const auto& format : {kFormats[0], kFormats[1]}) {
            const std::string path = temp / format.name;
            ASSERT_EQ(WriteImage(path, image.description, format.type, 0.75), platform::kNoErr);
            const DecodedImage decoded = format.decode(path);
            EXPECT_TRUE(decoded.ok && decoded.width == 37 && decoded.height == 23 &&
                        decoded.channels == channels && decoded.samples == expected &&
                        !decoded.interlaced)
                << format.name << " layout " << int(l.layout);
        }
    }
    EXPECT_EQ(Entries(temp.Path()), 2u); // no temporary file is left
}

TEST(ImageWriters, JPEGAtItsCompressionFactorAndDataAsInFiles) {
    testsupport::TempFolder temp;
    const TestImage image(PixelLayout::kBGRX, 64, 48, true);
    for (const auto& format : kFormats) {
        ASSERT_EQ(WriteImage(temp / format.name, image.description, format.type, 0.75),
                  platform::kNoErr);
        const std::vector<uint8_t> data = ImageData(image.description, format.type, 0.75);
        EXPECT_TRUE(std::string(data.begin(), data.end()) ==
                    testsupport::ReadFile(temp / format.name))
            << format.name;
    }
    const DecodedImage jpeg = testsupport::DecodeJPEG(temp / "jpg");
    ASSERT_TRUE(jpeg.ok && jpeg.samples.size() == 64 * 48 * 3);
    long error = 0;
    for (size_t i = 0; i < jpeg.samples.size(); ++i)
        error +=
            std::abs(jpeg.samples[i] - image.memory[i / 192 * 264 + i % 192 / 3 * 4 + 2 - i % 3]);
    EXPECT_LT(error / double(jpeg.samples.size()), 2.0);
    // Quality 75 halves the standard luminance table, whose first row is 16 11 10 16 24 40 51 61.
    // (The factor 0.75 is the only one the program writes with.)
    EXPECT_EQ(
        std::vector<uint16_t>(jpeg.lumaQuantization.begin(), jpeg.lumaQuantization.begin() + 8),
        (std::vector<uint16_t>{8, 6, 5, 8, 12, 20, 26, 31}));
}

TEST(ImageWriters, BadInputOrAFailedWriteLeavesNoFile) {
    testsupport::TempFolder temp;
    const std::string kept = temp / "kept";
    testsupport::WriteFile(kept, "earlier image");
    const TestImage image(PixelLayout::kARGB, 300, 200);
    ImageDescription shortRows = image.description, tooWide = image.description;
    shortRows.rowBytes = 300 * 4 - 1;
    tooWide.width = kMaxImageDimension + 1;
    // Each format.
    for (const NSBitmapImageFileType type : {NSPNGFileType, NSTIFFFileType, NSJPEGFileType}) {
        EXPECT_EQ(WriteImage(kept, shortRows, type, 0.75), platform::kParamErr) << type;
        EXPECT_EQ(WriteImage(kept, tooWide, type, 0.75), platform::kParamErr) << type;
        EXPECT_TRUE(ImageData(shortRows, type, 0.75).empty()) << type;
        EXPECT_EQ(WriteImage(temp / "missing/image", image.description, type, 0.75),
                  platform::kFnfErr);
        EXPECT_EQ(platform::files::AtomicFile::LastError(), ENOENT) << type;
    }
    // A file-size limit makes every encoder's writes fail part-way.
    testsupport::Child child([&] {
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{4096, 4096};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        for (const auto& format : kFormats)
            if (WriteImage(kept, image.description, format.type, 0.75) != platform::kIoErr ||
                platform::files::AtomicFile::LastError() != EFBIG)
                return 1;
        return 0;
    });
    ASSERT_TRUE(child.Wait());
    EXPECT_EQ(child.exitCode, 0);
    EXPECT_EQ(testsupport::ReadFile(kept), "earlier image");
    EXPECT_EQ(Entries(temp.Path()), 1u);
    // A write that succeeds replaces the file, with the mode of a new file.
    const mode_t mask = ::umask(027);
    ASSERT_EQ(WriteImage(kept, image.description, NSPNGFileType, 0.75), platform::kNoErr);
    ::umask(mask);
    EXPECT_EQ(std::filesystem::status(kept).permissions(), std::filesystem::perms(0640));
}

} // namespace
