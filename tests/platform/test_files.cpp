#include "platform/files/FinderInfo.h"
#include "platform/files/PlatformFiles.h"
#include "tests/support/TestSupport.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/xattr.h>

using namespace platform::files;
using testsupport::Exists;
using testsupport::ScopedEnv;

namespace {

mode_t ModeOf(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

class FindFolderTest : public ::testing::Test {
protected:
    testsupport::TempFolder mTemp;
    const std::string mState = mTemp / "state", mData = mTemp / "data", mHome = mTemp / "home";
    ScopedEnv mStateEnv{"XDG_STATE_HOME", mState.c_str()};
    ScopedEnv mDataEnv{"XDG_DATA_HOME", mData.c_str()};
    ScopedEnv mHomeEnv{"HOME", mHome.c_str()};
};

TEST_F(FindFolderTest, UserFoldersFollowXdgAndAreCreatedOnlyWhenAsked) {
    std::string path = "untouched";
    EXPECT_EQ(FindFolder(kUserDomain, kLogsFolderType, kDontCreateFolder, path), kFnfErr);
    EXPECT_EQ(path, "untouched");
    ASSERT_EQ(::mkdir(mState.c_str(), 0700), 0);
    FSRef ref;
    EXPECT_EQ(FSFindFolder(kUserDomain, kLogsFolderType, kDontCreateFolder, &ref), kNoErr);
    EXPECT_EQ(ref.path, mState);

    EXPECT_EQ(FindFolder(kUserDomain, kQuickTimeComponentsFolderType, kDontCreateFolder, path),
              kFnfErr);
    EXPECT_FALSE(Exists(mData));
    EXPECT_EQ(FindFolder(kUserDomain, kQuickTimeComponentsFolderType, kCreateFolder, path), kNoErr);
    EXPECT_EQ(path, mData + "/vistrel/components");
    EXPECT_EQ(ModeOf(path), 0700u);
    EXPECT_EQ(ModeOf(mData + "/vistrel"), 0700u);

    path.clear();
    EXPECT_EQ(FindFolder(kUserDomain, platform::FourCC("xxxx"), kCreateFolder, path), kParamErr);
    EXPECT_EQ(FindFolder(Domain(0), kLogsFolderType, kCreateFolder, path), kParamErr);
    EXPECT_EQ(path, "");
}

TEST_F(FindFolderTest, RelativeOrEmptyXdgValuesFallBackUnderHome) {
    ScopedEnv state("XDG_STATE_HOME", "relative/state");
    ScopedEnv data("XDG_DATA_HOME", "");
    // Taken as they are, relative values would land beside the working folder: make that ours.
    const std::filesystem::path cwd = std::filesystem::current_path();
    std::filesystem::current_path(mTemp.Path());
    std::string logs, components;
    EXPECT_EQ(FindFolder(kUserDomain, kLogsFolderType, kCreateFolder, logs), kNoErr);
    EXPECT_EQ(FindFolder(kUserDomain, kQuickTimeComponentsFolderType, kCreateFolder, components),
              kNoErr);
    std::filesystem::current_path(cwd);
    EXPECT_EQ(logs, mHome + "/.local/state");
    EXPECT_EQ(components, mHome + "/.local/share/vistrel/components");
    EXPECT_FALSE(Exists(mTemp / "relative"));
}

TEST_F(FindFolderTest, UserFoldersComeFromUserDirsOrDefaultUnderHome) {
    ScopedEnv config("XDG_CONFIG_HOME", (mTemp / "config").c_str());
    struct Case {
        uint32_t type;
        std::string path;
    };
    const auto check = [](const std::vector<Case>& cases, const char* what) {
        for (const Case& c : cases) {
            std::string path;
            EXPECT_EQ(FindFolder(kUserDomain, c.type, kDontCreateFolder, path),
                      Exists(c.path) ? kNoErr : kFnfErr)
                << what;
            EXPECT_EQ(FindFolder(kUserDomain, c.type, kCreateFolder, path), kNoErr) << what;
            EXPECT_EQ(path, c.path) << what;
        }
    };
    check({{kPictureDocumentsFolderType, mHome + "/Pictures"},
           {kDesktopFolderType, mHome + "/Desktop"},
           {kDocumentsFolderType, mHome + "/Documents"},
           {kMusicDocumentsFolderType, mHome + "/Music"},
           {kDesktopPicturesFolderType, mData + "/backgrounds"}},
          "without user-dirs.dirs");

    ASSERT_EQ(::mkdir((mTemp / "config").c_str(), 0700), 0);
    testsupport::WriteFile(mTemp / "config/user-dirs.dirs",
                           "# written by xdg-user-dirs-update\n"
                           "XDG_PICTURES_DIR=\"$HOME/Old\"\n"
                           "XDG_PICTURES_DIR=\"$HOME/Bilder\"\n"
                           "  XDG_DESKTOP_DIR=\"" +
                               mTemp.Path() +
                               "/desk top/\"\n"
                               "XDG_DOCUMENTS_DIR=\"$HOME/My \\\"Docs\\\"\"\n"
                               "XDG_MUSIC_DIR=\"Music2\"\n"
                               "XDG_DOWNLOAD_DIR=\"$HOME/\"\n");
    check({{kPictureDocumentsFolderType, mHome + "/Bilder"},
           {kDesktopFolderType, mTemp / "desk top"},
           {kDocumentsFolderType, mHome + "/My \"Docs\""},
           {kMusicDocumentsFolderType, mHome + "/Music"}}, // not $HOME/ nor absolute
          "with user-dirs.dirs");
}

class FinderInfoTest : public ::testing::Test {
protected:
    testsupport::TempFolder mTemp;
    const std::string mFile = mTemp / "file";
    void SetUp() override { testsupport::WriteFile(mFile, "x"); }
};

TEST_F(FinderInfoTest, CodesAreExtendedAttributesBesideOthers) {
    uint32_t type = 1, creator = 1;
    EXPECT_EQ(FSGetFileTypeCreator(mFile, type, creator), kNoErr);
    EXPECT_EQ(type, 0u);
    EXPECT_EQ(creator, 0u);
    ASSERT_EQ(::setxattr(mFile.c_str(), "user.other", "kept", 4, 0), 0);
    ASSERT_EQ(FSSetFileTypeCreator(mFile, platform::FourCC("PNGf"), platform::FourCC("prvw")),
              kNoErr);
    char value[8] = {};
    EXPECT_EQ(::getxattr(mFile.c_str(), "user.finder.type", value, sizeof value), 4);
    EXPECT_STREQ(value, "PNGf");
    EXPECT_EQ(::getxattr(mFile.c_str(), "user.finder.creator", value, sizeof value), 4);
    EXPECT_STREQ(value, "prvw");
    EXPECT_EQ(FSGetFileTypeCreator(mFile, type, creator), kNoErr);
    EXPECT_EQ(type, platform::FourCC("PNGf"));
    EXPECT_EQ(creator, platform::FourCC("prvw"));
    EXPECT_EQ(::getxattr(mFile.c_str(), "user.other", value, sizeof value), 4);

    EXPECT_EQ(FSSetFileTypeCreator(mTemp / "missing", 1, 2), kFnfErr);
    EXPECT_EQ(FSGetFileTypeCreator(mTemp / "missing", type, creator), kFnfErr);
}

TEST_F(FinderInfoTest, AFileSystemWithoutAttributesHasNoCodesAndNoError) {
    const std::string folder = mTemp / "ramfs";
    ASSERT_EQ(::mkdir(folder.c_str(), 0700), 0);
    // ramfs keeps no extended attributes.
    if (::mount("ramfs", folder.c_str(), "ramfs", 0, nullptr) != 0)
        GTEST_SKIP() << "no private mount namespace to mount a file system in";
    const std::string file = folder + "/file";
    testsupport::WriteFile(file, "x");
    uint32_t type = 1, creator = 1;
    EXPECT_EQ(FSSetFileTypeCreator(file, platform::FourCC("TIFF"), platform::FourCC("8BIM")),
              kNoErr);
    EXPECT_EQ(FSGetFileTypeCreator(file, type, creator), kNoErr);
    EXPECT_EQ(type, 0u);
    EXPECT_EQ(creator, 0u);
    ::umount(folder.c_str());
}

} // namespace
