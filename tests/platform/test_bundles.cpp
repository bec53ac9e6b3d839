#include "platform/bundles/PlatformMainBundle.h"
#include "tests/support/TestSupport.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <string>

using namespace platform::bundles;
using testsupport::TempFolder;
using testsupport::WriteFile;
namespace fs = std::filesystem;

namespace {

// <temp>/bin/host, an executable in an install tree, with share/host/Info.ini when info is given.
class MainBundleTest : public ::testing::Test {
protected:
    MainBundle Host(const char* info) {
        fs::create_directories(mTemp / "bin");
        fs::copy_file("/proc/self/exe", mTemp / "bin/host", fs::copy_options::skip_existing);
        fs::create_directories(mTemp / "share/host/X.component");
        fs::create_directories(mTemp / "share/vistrel/Y.component");
        if (info) WriteFile(mTemp / "share/host/Info.ini", info);
        return MainBundle::ForExecutable(mTemp / "bin/host");
    }

    TempFolder mTemp;
    const std::string mRoot = fs::canonical(mTemp.Path()).string();
};

TEST_F(MainBundleTest, InstallTreeTakesItsIdentifierAndResourcesFromShare) {
    const MainBundle bundle = Host("CFBundleIdentifier=COM.APPLE.ICHAT\nCFBundleExecutable=host\n");
    EXPECT_TRUE(bundle.IsInstallTree());
    EXPECT_EQ(bundle.Identifier(), "COM.APPLE.ICHAT");
    EXPECT_EQ(bundle.ExecutableFolder(), mRoot + "/bin");
    EXPECT_EQ(bundle.ResourcePath("X", "component"), mRoot + "/share/host/X.component");
    EXPECT_EQ(bundle.ResourcePath("X", "plugin"), "");
    EXPECT_EQ(bundle.ResourcePath("Y", "component"), "");

    // A Resources key names another program's folder.
    const MainBundle other = Host("CFBundleIdentifier=COM.APPLE.ICHAT\nResources=../vistrel\n");
    EXPECT_EQ(other.ResourcePath("Y", "component"), mRoot + "/share/vistrel/Y.component");
}

TEST_F(MainBundleTest, ProgramWithoutInfoIsABareBundle) {
    const MainBundle bundle = Host(nullptr);
    EXPECT_FALSE(bundle.IsInstallTree());
    EXPECT_EQ(bundle.Identifier(), "host");
    EXPECT_EQ(bundle.ResourcesFolder(), "");
    EXPECT_EQ(bundle.ResourcePath("X", "component"), "");
}

} // namespace
