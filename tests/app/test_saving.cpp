#include "app/saving/CoreNumberedFilename.h"
#include "app/saving/CoreUserFolder.h"
#include "app/saving/QuickSaveFile.h"
#include "platform/files/FinderInfo.h"
#include "tests/support/ImageDecoders.h"
#include "tests/support/TestSupport.h"
#include "tests/support/VerifyReports.h"

#include <climits>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace platform::files;
using testsupport::Exists;
using testsupport::ScopedEnv;
using testsupport::VerifyReported;
using testsupport::VerifyReports;

namespace {

void Touch(const std::string& path) {
    testsupport::WriteFile(path, "");
}

std::string Codes(const std::string& path) {
    uint32_t type = 0, creator = 0;
    if (FSGetFileTypeCreator(path, type, creator) != kNoErr) return "error";
    const auto text = [](uint32_t c) {
        return std::string{char(c >> 24), char(c >> 16), char(c >> 8), char(c)};
    };
    return text(type) + "/" + text(creator);
}

class SavingTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(::mkdir(mFolder.c_str(), 0755), 0);
        ASSERT_EQ(::mkdir(mHome.c_str(), 0700), 0);
    }
    testsupport::TempFolder mTemp;
    const std::string mFolder = mTemp / "saves", mHome = mTemp / "home";
    ScopedEnv mHomeEnv{"HOME", mHome.c_str()};
    ScopedEnv mConfigEnv{"XDG_CONFIG_HOME", (mTemp / "config").c_str()};
};

TEST_F(SavingTest, NumberedNamesFillTheFirstGapPerExtension) {
    struct Case {
        std::vector<std::string> present;
        const char* extension;
        int number; // -1: no free name
    } cases[] = {
        {{}, "png", 0},
        {{"Vistrel 0000.jpg", "Vistrel 0002.jpg"}, "jpg", 1},
        {{"Vistrel 0000.jpg", "Vistrel 0002.jpg"}, "png", 0},
        {{"Vistrel 0000.png", "Vistrel 0001.png", "Vistrel 0003.png", "Vistrel 0004.png"},
         "png",
         2},
        {{"Vistrel 0000.tiff/", "Vistrel 0001.tiff@"}, "tiff", 2}, // a folder, a dangling link
        {{"Vistrel 0000.tif"}, "tiff", 0},
    };
    for (const Case& c : cases) {
        testsupport::TempFolder folder;
        for (const std::string& name : c.present) {
            const std::string path = folder / name.substr(0, name.find_first_of("/@"));
            if (name.back() == '/')
                ::mkdir(path.c_str(), 0700);
            else if (name.back() == '@')
                ASSERT_EQ(::symlink("nowhere", path.c_str()), 0);
            else
                Touch(path);
        }
        CoreNumberedFilename numbered;
        ASSERT_TRUE(numbered.Construct(folder.Path().c_str()));
        char path[kCorePathCapacity];
        int number = -1;
        ASSERT_TRUE(
            numbered.FindFirstAvailableNamedPathNumber(path, "Vistrel %04d", c.extension, &number));
        EXPECT_EQ(number, c.number) << c.extension;
        char expected[64];
        std::snprintf(expected, sizeof expected, "/Vistrel %04d.%s", c.number, c.extension);
        EXPECT_EQ(std::string(path), folder.Path() + expected);
    }
}

TEST_F(SavingTest, AThousandTakenNamesAnswerNoneWithoutAReport) {
    for (int n = 0; n < 1000; ++n) {
        char name[32];
        std::snprintf(name, sizeof name, "/Vistrel %04d.tiff", n);
        Touch(mFolder + name);
    }
    CoreNumberedFilename numbered;
    ASSERT_TRUE(numbered.Construct(mFolder.c_str()));
    char path[kCorePathCapacity] = "stale";
    int number = 7;
    const std::string reports = VerifyReports([&] {
        EXPECT_FALSE(
            numbered.FindFirstAvailableNamedPathNumber(path, "Vistrel %04d", "tiff", &number));
    });
    EXPECT_EQ(reports, "");
    EXPECT_EQ(path[0], 0);
    EXPECT_EQ(number, 0);
    EXPECT_TRUE(numbered.FindFirstAvailableNamedFileNumber("Vistrel %04d", "png", &number));
}

TEST_F(SavingTest, UnusableFormatsAndOverlongNamesAreRefusedNotCut) {
    CoreNumberedFilename numbered;
    char path[kCorePathCapacity];
    EXPECT_TRUE(VerifyReported(VerifyReports([&] {
                                   EXPECT_FALSE(
                                       numbered.FindFirstAvailableNamedPath(path, "V %04d", "png"));
                               }),
                               "IsConstructed()"));
    ASSERT_TRUE(numbered.Construct(mFolder.c_str()));
    struct Case {
        std::string format;
        const char* extension;
        bool found;
    } cases[] = {
        {"100%% %03d", "png", true},
        {"%s", "png", false},
        {"%d-%d", "png", false},
        {"%*d", "png", false},
        {"no number", "png", false},
        {"%04d", "a/b", false},
        {std::string(NAME_MAX - 8, 'n') + "%04d", "png", true},
        {std::string(NAME_MAX - 7, 'n') + "%04d", "png", false},
    };
    for (const Case& c : cases) {
        const std::string reports = VerifyReports([&] {
            EXPECT_EQ(numbered.FindFirstAvailableNamedPath(path, c.format.c_str(), c.extension),
                      c.found)
                << c.format;
        });
        EXPECT_EQ(reports.empty(), c.found) << c.format << reports;
    }
    const std::string longest = std::string(NAME_MAX - 8, 'n') + "%04d";
    EXPECT_TRUE(numbered.FindFirstAvailableNamedPath(path, longest.c_str(), "png"));
    EXPECT_EQ(std::string(path), mFolder + "/" + std::string(NAME_MAX - 8, 'n') + "0000.png");
    EXPECT_TRUE(numbered.FindFirstAvailableNamedPath(path, "100%% %03d", "png"));
    EXPECT_EQ(std::string(path), mFolder + "/100% 000.png");

    // A folder deep enough that its numbered paths pass 1024 bytes.
    std::string deep = mFolder;
    while (deep.size() < kCorePathCapacity - 14) {
        deep += "/" + std::string(std::min<size_t>(200, kCorePathCapacity - 14 - deep.size()), 'd');
        ASSERT_EQ(::mkdir(deep.c_str(), 0700), 0);
    }
    ASSERT_TRUE(numbered.Construct(deep.c_str()));
    EXPECT_TRUE(numbered.FindFirstAvailableNamedPath(path, "%d", "png")); // short names fit
    EXPECT_FALSE(numbered.FindFirstAvailableNamedPath(path, "Vistrel %04d", "png"));
    EXPECT_EQ(path[0], 0);
}

TEST_F(SavingTest, FoldersAreFoundButOnlyTheUserFolderCreatesThem) {
    CoreNumberedFilename numbered;
    EXPECT_FALSE(numbered.Construct((mTemp / "missing").c_str()));
    Touch(mTemp / "file");
    EXPECT_FALSE(numbered.Construct((mTemp / "file").c_str()));
    EXPECT_FALSE(numbered.IsConstructed());
    ASSERT_EQ(::symlink(mFolder.c_str(), (mTemp / "link").c_str()), 0);
    ASSERT_TRUE(numbered.Construct((mTemp / "link/./").c_str()));
    EXPECT_EQ(std::string(numbered.DefaultFolderPath()), mFolder);

    // Standard folders: Pictures is not made by the numbering.
    EXPECT_FALSE(numbered.Construct(folder_Pictures));
    EXPECT_FALSE(Exists(mHome + "/Pictures"));
    const CoreUserFolder vistrel("Vistrel", kPictureDocumentsFolderType, kUserDomain);
    EXPECT_TRUE(Exists(mHome + "/Pictures/Vistrel"));
    std::string path;
    ASSERT_TRUE(vistrel.GetUnixPath(path));
    EXPECT_EQ(path, mHome + "/Pictures/Vistrel");
    EXPECT_TRUE(numbered.Construct(folder_Pictures));
    EXPECT_EQ(std::string(numbered.DefaultFolderPath()), mHome + "/Pictures");
    ::mkdir((mHome + "/Desktop").c_str(), 0700);
    EXPECT_TRUE(numbered.Construct(folder_enum_t(9))); // any other value is the Desktop
    EXPECT_EQ(std::string(numbered.DefaultFolderPath()), mHome + "/Desktop");

    ASSERT_TRUE(CoreUserFolder(nullptr, kDocumentsFolderType, kUserDomain).GetUnixPath(path));
    EXPECT_EQ(path, mHome + "/Documents");
    // A file where the subfolder should be stays and the folder is not had.
    Touch(mHome + "/Documents/Vistrel");
    const std::string reports = VerifyReports([&] {
        EXPECT_FALSE(
            CoreUserFolder("Vistrel", kDocumentsFolderType, kUserDomain).GetUnixPath(path));
    });
    EXPECT_TRUE(VerifyReported(reports, "nestedFolder.CreateFolder()")) << reports;
    EXPECT_TRUE(VerifyReported(reports, "GetFileRef(foundFolderRef)")) << reports;
    EXPECT_FALSE(CoreUserFolder("../x", kDocumentsFolderType, kUserDomain).GetUnixPath(path));
}

// A 3 x 2 grab with alpha, in the camera's A,R,G,B byte order.
struct Grab {
    uint8_t pixels[2][12] = {{255, 1, 2, 3, 255, 4, 5, 6, 255, 7, 8, 9},
                             {255, 10, 11, 12, 128, 13, 14, 15, 255, 16, 17, 18}};
    platform::imageio::ImageDescription Description() const {
        return {3, 2, 12, platform::imageio::PixelLayout::kARGB, true, pixels};
    }
};

TEST_F(SavingTest, QuickSavesWriteNumberedFilesWithTheirCodes) {
    const Grab grab;
    const QuickSaveFile image(grab.Description());
    QuickSaveFile::setQuikCreatorPreviewApp();
    QuickSaveFile::setQuikSaveImageType(QuikSaveImageType_JPEG);
    ASSERT_TRUE(QuickSaveFile::setQuickSaveFolderUnixPathUTF8(mFolder.c_str()));
    EXPECT_EQ(QuickSaveFile::quickSaveFolderUnixPath(), mFolder);

    const std::optional<std::string> png = image.saveToNextNumberedFileName_withQuikSaveImageType(
        "Vistrel %04d", QuikSaveImageType_PNG);
    ASSERT_EQ(png, mFolder + "/Vistrel 0000.png");
    EXPECT_EQ(Codes(*png), "PNGf/prvw");
    const testsupport::DecodedImage decoded = testsupport::DecodePNG(*png);
    ASSERT_TRUE(decoded.ok);
    EXPECT_EQ(decoded.samples,
              (std::vector<uint8_t>{1,  2,  3,  255, 4,  5,  6,  255, 7,  8,  9,  255,
                                    10, 11, 12, 255, 13, 14, 15, 128, 16, 17, 18, 255}));

    Touch(mFolder + "/Vistrel 0000.jpg");
    Touch(mFolder + "/Vistrel 0002.jpg");
    QuickSaveFile::setQuikCreatorPhotoshopApp();
    EXPECT_EQ(QuickSaveFile::defaultQuikCreatorCode(), platform::FourCC("8BIM"));
    const std::optional<std::string> jpg = image.saveToNextNumberedFileName("Vistrel %04d");
    ASSERT_EQ(jpg, mFolder + "/Vistrel 0001.jpg");
    EXPECT_EQ(Codes(*jpg), "JPEG/8BIM");
    EXPECT_TRUE(testsupport::DecodeJPEG(*jpg).ok);

    struct Case {
        int32_t defaultType;
        const char* pattern;
        const char* written;
        const char* codes;
    } cases[] = {
        {QuikSaveImageType_PNG, "Vistrel %04d", "Vistrel 0001.png", "PNGf/TVOD"},
        {QuikSaveImageType_TIFF, "Vistrel %04d", "Vistrel 0000.tiff", "TIFF/TVOD"},
        {7, "Vistrel %04d", "Vistrel 0003.jpg", "JPEG/TVOD"}, // unknown types are JPEG
        {QuikSaveImageType_JPEG, "Shot %d.png", "Shot 0.png.png", "PNGf/TVOD"},
        {QuikSaveImageType_JPEG, "Shot %d.tif", "Shot 0.tif.tiff", "TIFF/TVOD"},
    };
    QuickSaveFile::setQuikCreatorQuickTimeApp();
    for (const Case& c : cases) {
        QuickSaveFile::setQuikSaveImageType(c.defaultType);
        const std::optional<std::string> written = image.saveToNextNumberedFileName(c.pattern);
        ASSERT_EQ(written, mFolder + "/" + c.written);
        EXPECT_EQ(Codes(*written), c.codes) << c.written;
    }
    const testsupport::DecodedImage tiff = testsupport::DecodeTIFF(mFolder + "/Vistrel 0000.tiff");
    ASSERT_TRUE(tiff.ok);
    EXPECT_EQ(tiff.samples, decoded.samples);
    EXPECT_TRUE(tiff.associatedAlpha);
    EXPECT_FALSE(QuickSaveFile::setGrabFolderSubDirectory("sub"));
    EXPECT_EQ(QuickSaveFile::quickSaveFolderUnixPath(), mFolder);
}

TEST_F(SavingTest, FailedSavesWriteNothingAndAnswerNothing) {
    const Grab grab;
    QuickSaveFile::setQuikCreatoriPhotoApp();
    ASSERT_TRUE(QuickSaveFile::setQuickSaveFolderUnixPath(mFolder));
    for (int n = 0; n < 1000; ++n) {
        char name[32];
        std::snprintf(name, sizeof name, "/Vistrel %04d.tiff", n);
        Touch(mFolder + name);
    }
    EXPECT_EQ(QuickSaveFile(grab.Description())
                  .saveToNextNumberedFileName_withQuikSaveImageType("Vistrel %04d",
                                                                    QuikSaveImageType_TIFF),
              std::nullopt);
    platform::imageio::ImageDescription broken = grab.Description();
    broken.pixels = nullptr;
    const std::string reports = VerifyReports([&] {
        EXPECT_EQ(QuickSaveFile(broken).saveToNextNumberedFileName("Vistrel %04d.png"),
                  std::nullopt);
    });
    EXPECT_NE(reports.find("OSErr:-50  code : WritePNG(inOutputFileName, mImage)"),
              std::string::npos)
        << reports;
    EXPECT_FALSE(Exists(mFolder + "/Vistrel %04d.png.png"));
    EXPECT_FALSE(Exists(mFolder + "/Vistrel 0000.png.png"));
    EXPECT_TRUE(VerifyReported(
        VerifyReports([] { EXPECT_FALSE(QuickSaveFile::SetFileTypeCreatorCode("/nowhere", 1)); }),
        "bool_FSRef_ConstructFromPath(fileRef, in_pathname)"));
    EXPECT_FALSE(QuickSaveFile::setQuickSaveFolderUnixPathUTF8(nullptr));
    EXPECT_FALSE(QuickSaveFile::setQuickSaveFolderUnixPath(mTemp / "missing"));
}

TEST_F(SavingTest, TheFolderIsSetUpLazilyFromTheChosenLocation) {
    // The class-wide folder is empty only once per process: look from fresh children.
    testsupport::Child withoutPictures(
        [] { return !QuickSaveFile::quickSaveFolderUnixPath() ? 0 : 1; });
    ASSERT_TRUE(withoutPictures.Wait());
    EXPECT_EQ(withoutPictures.exitCode, 0);
    ::mkdir((mHome + "/Pictures").c_str(), 0700);
    ::mkdir((mHome + "/Documents").c_str(), 0700);
    testsupport::Child child([&] {
        if (QuickSaveFile::quickSaveFolderUnixPath() != mHome + "/Pictures") return 1;
        QuickSaveFile::setQuikSaveLocation(folder_Documents);
        const Grab grab;
        const std::optional<std::string> path =
            QuickSaveFile(grab.Description()).saveToNextNumberedFileName("Vistrel %04d");
        return path == mHome + "/Documents/Vistrel 0000.jpg" &&
                       QuickSaveFile::defaultQuikSaveLocation() == folder_Documents
                   ? 0
                   : 2;
    });
    ASSERT_TRUE(child.Wait());
    EXPECT_EQ(child.exitCode, 0) << child.err;
    EXPECT_TRUE(Exists(mHome + "/Documents/Vistrel 0000.jpg"));
}

} // namespace
