#include "platform/files/FinderInfo.h"
#include "platform/files/PlatformFiles.h"
#include "tests/support/TestSupport.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <tuple>

using namespace platform::files;
using testsupport::Exists;
using testsupport::ScopedEnv;

namespace {

class FindFolderTest : public ::testing::Test {
protected:
    testsupport::TempFolder mTemp;
    const std::string mState = mTemp / "state", mData = mTemp / "data", mHome = mTemp / "home";
    ScopedEnv mStateEnv{"XDG_STATE_HOME", mState.c_str()};
    ScopedEnv mDataEnv{"XDG_DATA_HOME", mData.c_str()};
    ScopedEnv mHomeEnv{"HOME", mHome.c_str()};
};

// Each folder is found only once it exists, made (the missing parents too, private) only when
// asked, and a failed search leaves the path alone.
TEST_F(FindFolderTest, UserFoldersFollowXdgAndUserDirsOrDefaultUnderHome) {
    ScopedEnv config("XDG_CONFIG_HOME", (mTemp / "config").c_str());
    ASSERT_EQ(::mkdir((mTemp / "config").c_str(), 0700), 0);
    testsupport::WriteFile(mTemp / "config/user-dirs.dirs",
                           "# the last value of a key wins\n"
                           "XDG_PICTURES_DIR=\"$HOME/Old\"\nXDG_PICTURES_DIR=\"$HOME/Bilder\"\n"
                           "XDG_DOCUMENTS_DIR=\"$HOME/My \\\"Docs\\\"\"\nXDG_MUSIC_DIR=\"Music2\"\n"
                           "  XDG_DESKTOP_DIR=\"" +
                               mTemp / "desk top/\"\n");
    // A variable set for the case (else as the fixture set it), the folder type, the path. A
    // relative XDG value falls back under home.
    const std::tuple<const char*, const char*, uint32_t, std::string> cases[] = {
        {"", "", kLogsFolderType, mState},
        {"XDG_STATE_HOME", "relative/state", kLogsFolderType, mHome + "/.local/state"},
        {"", "", kQuickTimeComponentsFolderType, mData + "/vistrel/components"},
        {"", "", kPictureDocumentsFolderType, mHome + "/Bilder"},
        {"", "", kDesktopFolderType, mTemp / "desk top"},
        {"", "", kDocumentsFolderType, mHome + "/My \"Docs\""},
        {"", "", kMusicDocumentsFolderType, mHome + "/Music"}, // neither $HOME/... nor absolute
        {"", "", kDesktopPicturesFolderType, mData + "/backgrounds"},
    };
    // Taken as they are, relative values would land beside the working folder: make that ours.
    const std::filesystem::path cwd = std::filesystem::current_path();
    std::filesystem::current_path(mTemp.Path());
    for (const auto& [variable, value, type, expected] : cases) {
        std::optional<ScopedEnv> env;
        if (*variable) env.emplace(variable, value);
        std::string path = "untouched";
        EXPECT_EQ(FindFolder(kUserDomain, type, kDontCreateFolder, path), kFnfErr) << expected;
        EXPECT_TRUE(path == "untouched" && !Exists(expected));
        EXPECT_EQ(FindFolder(kUserDomain, type, kCreateFolder, path), kNoErr) << expected;
        EXPECT_EQ(FindFolder(kUserDomain, type, kDontCreateFolder, path), kNoErr) << expected;
        EXPECT_EQ(path, expected);
        for (const std::filesystem::path folder : {path, path + "/.."})
            EXPECT_EQ(std::filesystem::status(folder).permissions(), std::filesystem::perms(0700))
                << folder;
    }
    std::filesystem::current_path(cwd);
    EXPECT_FALSE(Exists(mTemp / "relative"));
}

// The system domain has a folder in the library folder of each prefix whose data folder
// XDG_DATA_DIRS lists, in that order, where it exists; entries that name no prefix are passed over.
TEST_F(FindFolderTest, SystemFoldersLieInThePrefixesOfTheDataFolders) {
    const std::string lib = testsupport::StageLibPath("").substr(testsupport::StagePath("").size());
    const std::string a = mTemp / "a/" + lib + "vistrel/", b = mTemp / "b/" + lib + "vistrel/";
    for (const std::string& folder : {a + "components", a + "image-units", b + "components"})
        std::filesystem::create_directories(folder);
    const std::string dirs = mTemp / "b/share/:relative/share:" + mTemp / "a/share:" + mTemp / "a";
    ScopedEnv data("XDG_DATA_DIRS", dirs.c_str());
    EXPECT_EQ(FindFolders(kSystemDomain, kQuickTimeComponentsFolderType),
              (std::vector<std::string>{b + "components", a + "components"}));
    EXPECT_EQ(FindFolders(kSystemDomain, kImageUnitsFolderType),
              std::vector<std::string>{a + "image-units"});
}

TEST_F(FindFolderTest, TypeAndCreatorAreExtendedAttributesWhereTheFileSystemHasThem) {
    const std::string file = mTemp / "file", ramfs = mTemp / "ramfs";
    testsupport::WriteFile(file, "x");
    ASSERT_EQ(::setxattr(file.c_str(), "user.other", "kept", 4, 0), 0);
    ASSERT_EQ(FSSetFileTypeCreator(file, platform::FourCC("PNGf"), platform::FourCC("prvw")),
              kNoErr);
    char value[16] = {};
    EXPECT_EQ(::getxattr(file.c_str(), "user.finder.type", value, 4), 4);
    EXPECT_EQ(::getxattr(file.c_str(), "user.finder.creator", value + 5, 4), 4);
    EXPECT_EQ(::getxattr(file.c_str(), "user.other", value + 10, 4), 4);
    EXPECT_EQ(std::string(value, 14), std::string("PNGf\0prvw\0kept", 14));
    EXPECT_EQ(FSSetFileTypeCreator(mTemp / "missing", 1, 2), kFnfErr); // (read back: the saves')
    // ramfs keeps no extended attributes: nothing is written and nothing fails.
    ASSERT_EQ(::mkdir(ramfs.c_str(), 0700), 0);
    if (::mount("ramfs", ramfs.c_str(), "ramfs", 0, nullptr) != 0)
        GTEST_SKIP() << "no private mount namespace to mount a file system in";
    testsupport::WriteFile(ramfs + "/file", "x");
    EXPECT_EQ(FSSetFileTypeCreator(ramfs + "/file", 1, 2), kNoErr);
    uint32_t type = 0, creator = 0;
    EXPECT_EQ(FSGetFileTypeCreator(ramfs + "/file", type, creator), kNoErr);
    EXPECT_EQ(type + creator, 0u);
    ::umount(ramfs.c_str());
}

} // namespace
