#include "app/saving/CoreNumberedFilename.h"
#include "app/saving/ImageFormats.h"
#include "app/saving/QuickSaveFile.h"
#include "platform/files/FinderInfo.h"
#include "tests/support/ImageDecoders.h"
#include "tests/support/TestSupport.h"
#include "tests/support/VerifyReports.h"

#include <climits>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <tuple>
#include <unistd.h>

using namespace platform::files;
using testsupport::VerifyReports;
using testsupport::WriteFile;

namespace {

std::string Codes(const std::string& path) {
    uint32_t t = 0, c = 0;
    FSGetFileTypeCreator(path, t, c);
    return std::string{char(t >> 24), char(t >> 16), char(t >> 8), char(t), '/',
                       char(c >> 24), char(c >> 16), char(c >> 8), char(c)};
}

class Saving : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(::mkdir(mFolder.c_str(), 0755), 0); }
    // Vistrel 0000.<extension> to Vistrel 0999.<extension>, all taken.
    void TakeAllNames(const char* extension) {
        for (int n = 10000; n < 11000; ++n)
            WriteFile(mFolder + "/Vistrel " + std::to_string(n).substr(1) + "." + extension, "");
    }
    testsupport::TempFolder mTemp;
    const std::string mFolder = mTemp / "saves", mHome = mTemp / "home";
    testsupport::ScopedEnv mHomeEnv{"HOME", mHome.c_str()};
    testsupport::ScopedEnv mConfigEnv{"XDG_CONFIG_HOME", (mTemp / "config").c_str()};
};

TEST_F(Saving, NumberedNamesFillTheFirstGapPerExtensionUpToTheLimits) {
    for (const char* name : {"0000.jpg", "0002.jpg", "0000.png", "0003.png", "0001.tif"})
        WriteFile(mFolder + "/Vistrel " + name, "");
    ::mkdir((mFolder + "/Vistrel 0001.png").c_str(), 0700);         // any object takes a name,
    ::symlink("nowhere", (mFolder + "/Vistrel 0000.tiff").c_str()); // a dangling link too
    TakeAllNames("gif");
    CoreNumberedFilename numbered;
    char path[kCorePathCapacity];
    EXPECT_TRUE(testsupport::VerifyReported(
        VerifyReports([&] { numbered.FindFirstAvailableNamedPath(path, "%d", "png"); }),
        "IsConstructed()"));
    ASSERT_TRUE(numbered.Construct(mFolder.c_str()));
    // An extension, the number found (-1: none).
    const std::tuple<const char*, int> cases[] = {
        {"jpg", 1}, {"png", 2}, {"tiff", 1}, {"bmp", 0}, {"gif", -1}};
    for (const auto& [extension, expected] : cases) {
        int number = 7;
        const std::string reports = VerifyReports([&] {
            EXPECT_EQ(numbered.FindFirstAvailableNamedPathNumber(path, "Vistrel %04d", extension,
                                                                 &number),
                      expected >= 0);
        });
        EXPECT_EQ(reports, "") << extension;
        EXPECT_EQ(number, std::max(expected, 0)) << extension;
        char name[NAME_MAX + 1] = "";
        if (expected >= 0) std::snprintf(name, sizeof name, "Vistrel %04d", expected);
        EXPECT_EQ(path, expected >= 0 ? mFolder + "/" + name + "." + extension : "");
    }
    // A folder deep enough that its numbered paths pass 1024 bytes: short names still fit.
    std::string deep = mFolder;
    while (deep.size() < kCorePathCapacity - 14) {
        deep += "/" + std::string(std::min<size_t>(200, kCorePathCapacity - 14 - deep.size()), 'd');
        ASSERT_EQ(::mkdir(deep.c_str(), 0700), 0);
    }
    ASSERT_TRUE(numbered.Construct(deep.c_str()));
    EXPECT_TRUE(numbered.FindFirstAvailableNamedPath(path, "%d", "png"));
    EXPECT_FALSE(numbered.FindFirstAvailableNamedPath(path, "Vistrel %04d", "png"));
}

// A 2 x 2 grab in the camera's A,R,G,B order.
const uint8_t kPixels[] = {255, 1, 2, 3, 128, 4, 5, 6, 255, 7, 8, 9, 255, 10, 11, 12};
const QuickSaveFile kImage({2, 2, 8, platform::imageio::PixelLayout::kARGB, true, kPixels});

TEST_F(Saving, QuickSavesWriteNumberedFilesOfEachFormatWithTheirCodes) {
    // Each format in its menu order: its title, the extensions files and users rely on.
    std::string names;
    for (const ImageFormat& f : kImageFormats) {
        names += std::string(f.name) + " " + f.extension + " " + f.panelType + ", ";
        EXPECT_EQ(&ImageFormatOfType(f.type), &f);
    }
    EXPECT_EQ(names, "JPEG jpg jpg, TIFF tiff tif, PNG png png, ");
    ASSERT_TRUE(QuickSaveFile::setQuickSaveFolderUnixPathUTF8(mFolder.c_str()));
    // A TIFF saved through the panel takes its number from the quick saves too.
    for (const char* name : {"/Vistrel 0000.jpg", "/Vistrel 0000.tif"})
        WriteFile(mFolder + name, "");
    // The creator chosen, the default type, the file written and its type and creator codes.
    using Q = QuickSaveFile;
    const std::tuple<void (*)(), int32_t, const char*, const char*> cases[] = {
        {Q::setQuikCreatorPhotoshopApp, 0, "Vistrel 0001.jpg", "JPEG/8BIM"},
        {Q::setQuikCreatorQuickTimeApp, 1, "Vistrel 0000.png", "PNGf/TVOD"},
        {Q::setQuikCreatoriPhotoApp, 2, "Vistrel 0001.tiff", "TIFF/iPho"},
        {Q::setQuikCreatoriPhotoApp, 7, "Vistrel 0002.jpg", "JPEG/iPho"},
        {Q::setQuikCreatorPreviewApp, 0, "Vistrel 0003.jpg", "JPEG/prvw"},
    };
    for (const auto& [creator, defaultType, written, codes] : cases) {
        creator();
        QuickSaveFile::setQuikSaveImageType(defaultType);
        const std::string path = mFolder + "/" + written;
        EXPECT_EQ(kImage.saveToNextNumberedFileName("Vistrel %04d").value_or("none"), path);
        EXPECT_EQ(Codes(path), codes) << written;
        const auto decode = codes[0] == 'J'   ? testsupport::DecodeJPEG
                            : codes[0] == 'P' ? testsupport::DecodePNG
                                              : testsupport::DecodeTIFF;
        EXPECT_TRUE(decode(path).ok) << written; // a decoder that takes only its format
    }
    const std::vector<uint8_t> rgba{1, 2, 3, 255, 4, 5, 6, 128, 7, 8, 9, 255, 10, 11, 12, 255};
    EXPECT_EQ(testsupport::DecodePNG(mFolder + "/Vistrel 0000.png").samples, rgba);
    EXPECT_EQ(testsupport::DecodeTIFF(mFolder + "/Vistrel 0001.tiff").samples, rgba);
    // Every TIFF name taken, or a broken image: nothing is written.
    TakeAllNames("tiff");
    EXPECT_FALSE(kImage.saveToNextNumberedFileName_withQuikSaveImageType("Vistrel %04d", 2));
    const QuickSaveFile broken({2, 2, 7, platform::imageio::PixelLayout::kARGB, true, kPixels});
    EXPECT_FALSE(broken.saveToNextNumberedFileName_withQuikSaveImageType("Vistrel %04d", 1));
    EXPECT_FALSE(testsupport::Exists(mFolder + "/Vistrel 0001.png"));
}

} // namespace
