#include "platform/files/PlatformFiles.h"
#include "tests/support/TestSupport.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>

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

} // namespace
