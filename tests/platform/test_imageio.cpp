#include "platform/imageio/ImageWriters.h"
#include "tests/support/ImageDecoders.h"
#include "tests/support/TestSupport.h"

#include <array>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <dirent.h>
#include <gtest/gtest.h>
#include <map>
#include <sys/resource.h>
#include <sys/stat.h>

using namespace platform::imageio;
using platform::OSErr;
using testsupport::DecodedImage;

namespace {

// Pixels of a layout with distinct samples (and distinct unused bytes), rows padded by 12 bytes.
struct TestImage {
    TestImage(PixelLayout layout, int width, int height) {
        const size_t bytes = BytesPerPixel(layout);
        description = {width, height, size_t(width) * bytes + 12, layout, false, nullptr};
        memory.resize(description.rowBytes * size_t(height));
        uint32_t state = 12345;
        for (uint8_t& b : memory)
            b = uint8_t((state = state * 1103515245u + 12345u) >> 16);
        description.pixels = memory.data();
    }
    // What a decoder must give back: R,G,B(,A) of each pixel, in file order.
    std::vector<uint8_t> Expected(bool withAlpha) const {
        static const std::map<PixelLayout, std::array<int, 4>> offsets = {
            {PixelLayout::kRGBA, {0, 1, 2, 3}},  {PixelLayout::kARGB, {1, 2, 3, 0}},
            {PixelLayout::kBGRA, {2, 1, 0, 3}},  {PixelLayout::kXRGB, {1, 2, 3, -1}},
            {PixelLayout::kBGRX, {2, 1, 0, -1}}, {PixelLayout::kRGB, {0, 1, 2, -1}}};
        const std::array<int, 4>& at = offsets.at(description.layout);
        std::vector<uint8_t> samples;
        for (int y = 0; y < description.height; ++y)
            for (int x = 0; x < description.width; ++x) {
                const uint8_t* p = memory.data() + size_t(y) * description.rowBytes +
                                   size_t(x) * BytesPerPixel(description.layout);
                for (int c = 0; c < (withAlpha ? 4 : 3); ++c)
                    samples.push_back(at[c] < 0 ? 255 : p[at[c]]);
            }
        return samples;
    }
    ImageDescription description;
    std::vector<uint8_t> memory;
};

std::vector<std::string> FolderEntries(const std::string& folder) {
    std::vector<std::string> names;
    if (DIR* dir = ::opendir(folder.c_str())) {
        while (dirent* entry = ::readdir(dir))
            if (std::string name = entry->d_name; name != "." && name != "..")
                names.push_back(name);
        ::closedir(dir);
    }
    return names;
}

struct Format {
    const char* name;
    OSErr (*write)(const std::string&, const ImageDescription&);
    DecodedImage (*decode)(const std::string&);
    std::vector<uint8_t> (*data)(const ImageDescription&);
};
const Format kFormats[] = {
    {"png", WritePNG, testsupport::DecodePNG, PNGData},
    {"tiff", WriteTIFF, testsupport::DecodeTIFF, TIFFData},
    {"jpg", [](const std::string& p, const ImageDescription& i) { return WriteJPEG(p, i, 0.75); },
     testsupport::DecodeJPEG, [](const ImageDescription& i) { return JPEGData(i, 0.75); }},
};

class ImageWriterTest : public ::testing::Test {
protected:
    testsupport::TempFolder mTemp;
};

TEST_F(ImageWriterTest, PNGAndTIFFDecodeToExactlyThePixelsOfEveryLayout) {
    const PixelLayout layouts[] = {PixelLayout::kRGBA, PixelLayout::kARGB, PixelLayout::kBGRA,
                                   PixelLayout::kXRGB, PixelLayout::kBGRX, PixelLayout::kRGB};
    for (const Format& format : {kFormats[0], kFormats[1]})
        for (PixelLayout layout : layouts) {
            const std::string where =
                std::string(format.name) + " layout " + std::to_string(int(layout));
            TestImage image(layout, 37, 23);
            image.description.alphaPremultiplied = layout == PixelLayout::kARGB;
            const std::string path = mTemp / ("image." + std::string(format.name));
            ASSERT_EQ(format.write(path, image.description), platform::kNoErr) << where;
            const DecodedImage decoded = format.decode(path);
            ASSERT_TRUE(decoded.ok) << where;
            EXPECT_EQ(decoded.width, 37) << where;
            EXPECT_EQ(decoded.height, 23) << where;
            const bool alpha = HasAlpha(layout);
            EXPECT_EQ(decoded.channels, alpha ? 4 : 3) << where;
            EXPECT_TRUE(decoded.samples == image.Expected(alpha)) << where;
            EXPECT_FALSE(decoded.interlaced) << where;
            // Only TIFF can say that the pixels are premultiplied.
            EXPECT_EQ(decoded.associatedAlpha,
                      format.decode == testsupport::DecodeTIFF && layout == PixelLayout::kARGB)
                << where;
        }
    EXPECT_EQ(FolderEntries(mTemp.Path()).size(), 2u); // no temporary file stays behind
}

TEST_F(ImageWriterTest, JPEGIsWrittenAtTheQualityOfItsCompressionFactor) {
    // A smooth picture, so that quality 75 keeps it close.
    TestImage image(PixelLayout::kBGRA, 64, 48);
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 64; ++x) {
            uint8_t* p = image.memory.data() + size_t(y) * image.description.rowBytes + x * 4;
            p[0] = uint8_t(x * 4), p[1] = uint8_t(y * 5), p[2] = uint8_t(128 + x), p[3] = 0;
        }
    const std::string path = mTemp / "image.jpg";
    ASSERT_EQ(WriteJPEG(path, image.description, 0.75), platform::kNoErr);
    const DecodedImage decoded = testsupport::DecodeJPEG(path);
    ASSERT_TRUE(decoded.ok);
    EXPECT_EQ(decoded.width, 64);
    EXPECT_EQ(decoded.height, 48);
    const std::vector<uint8_t> expected = image.Expected(false);
    ASSERT_EQ(decoded.samples.size(), expected.size());
    long error = 0;
    for (size_t i = 0; i < expected.size(); ++i)
        error += std::abs(decoded.samples[i] - expected[i]);
    EXPECT_LT(double(error) / double(expected.size()), 3.0);
    // Quality 75 scales the standard luminance table by one half: its first row
    // 16 11 10 16 24 40 51 61 becomes this.
    ASSERT_GE(decoded.lumaQuantization.size(), 8u);
    EXPECT_EQ(std::vector<uint16_t>(decoded.lumaQuantization.begin(),
                                    decoded.lumaQuantization.begin() + 8),
              (std::vector<uint16_t>{8, 6, 5, 8, 12, 20, 26, 31}));

    struct Case {
        double factor;
        int quality;
    } cases[] = {{0.75, 75},  {1.0, 100}, {0.0, 1}, {0.004, 1},
                 {0.333, 33}, {1.5, 100}, {-2, 1},  {NAN, 1}};
    for (const Case& c : cases)
        EXPECT_EQ(JPEGQualityForCompressionFactor(c.factor), c.quality) << c.factor;
}

TEST_F(ImageWriterTest, DataInMemoryIsTheFilesEncoding) {
    const TestImage image(PixelLayout::kBGRA, 40, 30);
    for (const Format& format : kFormats) {
        const std::string path = mTemp / ("image." + std::string(format.name));
        ASSERT_EQ(format.write(path, image.description), platform::kNoErr);
        const std::vector<uint8_t> data = format.data(image.description);
        const std::string file = testsupport::ReadFile(path);
        ASSERT_FALSE(data.empty()) << format.name;
        EXPECT_TRUE(std::string(data.begin(), data.end()) == file) << format.name;
        ImageDescription bad = image.description;
        bad.rowBytes = 4;
        EXPECT_TRUE(format.data(bad).empty()) << format.name;
    }
}

TEST_F(ImageWriterTest, AWriteReplacesAnyFileWithANewFilesMode) {
    const std::string path = mTemp / "image.png";
    testsupport::WriteFile(path, "old contents");
    ::chmod(path.c_str(), 0600);
    const mode_t mask = ::umask(022);
    ASSERT_EQ(WritePNG(path, TestImage(PixelLayout::kRGB, 5, 4).description), platform::kNoErr);
    ::umask(mask);
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0644u);
    EXPECT_TRUE(testsupport::DecodePNG(path).ok);
}

TEST_F(ImageWriterTest, BadInputOrAFailedWriteLeavesNoFile) {
    const std::string kept = mTemp / "kept.png";
    testsupport::WriteFile(kept, "earlier image");
    TestImage image(PixelLayout::kARGB, 300, 200);
    ImageDescription noPixels = image.description, shortRows = image.description,
                     tooWide = image.description, empty = image.description;
    noPixels.pixels = nullptr;
    shortRows.rowBytes = 300 * 4 - 1;
    tooWide.width = kMaxImageDimension + 1;
    empty.height = 0;
    for (const Format& format : kFormats) {
        for (const ImageDescription& bad : {noPixels, shortRows, tooWide, empty})
            EXPECT_EQ(format.write(kept, bad), platform::kParamErr) << format.name;
        EXPECT_EQ(format.write(mTemp / "missing/image", image.description), platform::kFnfErr);
    }
    EXPECT_EQ(testsupport::ReadFile(kept), "earlier image");

    // A file-size limit makes every encoder's writes fail part-way.
    testsupport::Child child([&] {
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{4096, 4096};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        int failures = 0;
        for (const Format& format : kFormats)
            failures += format.write(kept, image.description) == platform::kIoErr;
        return failures == 3 ? 0 : 1;
    });
    ASSERT_TRUE(child.Wait());
    EXPECT_EQ(child.exitCode, 0);
    EXPECT_EQ(testsupport::ReadFile(kept), "earlier image");
    EXPECT_EQ(FolderEntries(mTemp.Path()), std::vector<std::string>{"kept.png"});
}

} // namespace
