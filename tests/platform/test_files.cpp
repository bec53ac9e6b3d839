#include "platform/files/PlatformFiles.h"
#include "tests/support/TestSupport.h"

#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <sys/stat.h>

using namespace platform::files;
using testsupport::Exists;
using testsupport::TempFolder;

namespace {

// Sets an environment variable for one test and puts the old value back afterwards.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : mName(name) {
        if (const char* old = std::getenv(name)) mOld = old;
        if (value)
            ::setenv(name, value, 1);
        else
            ::unsetenv(name);
    }
    ~ScopedEnv() {
        if (mOld)
            ::setenv(mName, mOld->c_str(), 1);
        else
            ::unsetenv(mName);
    }

private:
    const char* mName;
    std::optional<std::string> mOld;
};

class ScopedCwd {
public:
    explicit ScopedCwd(const std::string& folder) : mOld(std::filesystem::current_path()) {
        std::filesystem::current_path(folder);
    }
    ~ScopedCwd() { std::filesystem::current_path(mOld); }

private:
    std::filesystem::path mOld;
};

mode_t ModeOf(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

class FindFolderTest : public ::testing::Test {
protected:
    TempFolder mTemp;
    const std::string mState = mTemp / "state", mData = mTemp / "data", mHome = mTemp / "home";
    ScopedEnv mStateEnv{"XDG_STATE_HOME", mState.c_str()};
    ScopedEnv mDataEnv{"XDG_DATA_HOME", mData.c_str()};
    ScopedEnv mHomeEnv{"HOME", mHome.c_str()};
};

TEST_F(FindFolderTest, UserFoldersFollowTheXdgVariables) {
    std::string path = "untouched";
    EXPECT_EQ(FindFolder(kUserDomain, kLogsFolderType, kDontCreateFolder, path), kFnfErr);
    EXPECT_EQ(path, "untouched");
    ASSERT_EQ(::mkdir(mState.c_str(), 0700), 0);
    EXPECT_EQ(FindFolder(kUserDomain, kLogsFolderType, kDontCreateFolder, path), kNoErr);
    EXPECT_EQ(path, mState);

    FSRef ref;
    EXPECT_EQ(FSFindFolder(kUserDomain, kLogsFolderType, kDontCreateFolder, &ref), kNoErr);
    EXPECT_EQ(ref.path, mState);
    EXPECT_EQ(FSFindFolder(kUserDomain, kLogsFolderType, kDontCreateFolder, nullptr), kParamErr);

    // Looking up a missing folder without creating it leaves the tree as it was.
    EXPECT_EQ(FindFolder(kUserDomain, kQuickTimeComponentsFolderType, kDontCreateFolder, path),
              kFnfErr);
    EXPECT_FALSE(Exists(mData));
    EXPECT_EQ(FindFolder(kUserDomain, kQuickTimeComponentsFolderType, kCreateFolder, path), kNoErr);
    EXPECT_EQ(path, mData + "/vistrel/components");
    EXPECT_EQ(ModeOf(path), 0700u);
    EXPECT_EQ(ModeOf(mData + "/vistrel"), 0700u);
    EXPECT_EQ(FindFolder(kUserDomain, kQuickTimeComponentsFolderType, kDontCreateFolder, path),
              kNoErr);
}

TEST_F(FindFolderTest, RelativeOrEmptyXdgValuesFallBackUnderHome) {
    ScopedEnv state("XDG_STATE_HOME", "relative/state");
    ScopedEnv data("XDG_DATA_HOME", "");
    // A relative value taken as it is would land beside the working folder: keep that the temp.
    ScopedCwd cwd(mTemp.Path());
    std::string path;
    EXPECT_EQ(FindFolder(kUserDomain, kLogsFolderType, kCreateFolder, path), kNoErr);
    EXPECT_EQ(path, mHome + "/.local/state");
    EXPECT_EQ(FindFolder(kUserDomain, kQuickTimeComponentsFolderType, kCreateFolder, path), kNoErr);
    EXPECT_EQ(path, mHome + "/.local/share/vistrel/components");
    EXPECT_FALSE(Exists(mTemp / "relative"));
}

TEST_F(FindFolderTest, UnknownTypeOrDomainIsAParameterError) {
    const uint32_t unknown = platform::FourCC("xxxx");
    std::string path;
    for (Domain domain : {kUserDomain, kLocalDomain, kSystemDomain})
        EXPECT_EQ(FindFolder(domain, unknown, kCreateFolder, path), kParamErr) << domain;
    EXPECT_EQ(FindFolder(Domain(0), kQuickTimeComponentsFolderType, kCreateFolder, path),
              kParamErr);
    EXPECT_TRUE(path.empty());
}

// Nothing is ever made under /usr here: a missing system folder is only looked up.
TEST_F(FindFolderTest, LocalAndSystemComponentFolders) {
    const std::pair<Domain, std::string> folders[] = {
        {kLocalDomain, "/usr/local/lib/vistrel/components"},
        {kSystemDomain, "/usr/lib/vistrel/components"},
    };
    for (const auto& [domain, expected] : folders) {
        std::string path;
        const OSErr error =
            FindFolder(domain, kQuickTimeComponentsFolderType, kDontCreateFolder, path);
        if (Exists(expected)) {
            EXPECT_EQ(error, kNoErr) << expected;
            EXPECT_EQ(path, expected);
        } else {
            EXPECT_EQ(error, kFnfErr) << expected;
            EXPECT_FALSE(Exists(expected));
        }
    }
}

} // namespace
