#include "platform/bundles/BundleInfo.h"
#include "platform/bundles/PlatformBundle.h"
#include "platform/bundles/PlatformMainBundle.h"
#include "tests/support/TestSupport.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <string>

using namespace platform::bundles;
using testsupport::StagePath;
using testsupport::TempFolder;
using testsupport::WriteFile;
namespace fs = std::filesystem;

namespace {

// A real component object to load; any shared object exporting the entry points would do.
std::string BuiltComponentObject() {
    return StagePath(std::string("share/vistrel/VistrelX64.component/Contents/Linux/") +
                     ArchitectureFolder() + "/VistrelX64.so");
}

class BundleTest : public ::testing::Test {
protected:
    // <temp>/Cam.component with the given Info.ini text and, optionally, the executable Cam.so.
    std::string MakeBundle(const std::string& info, bool withObject) {
        const std::string bundle = mTemp / "Cam.component";
        const std::string objects = bundle + "/Contents/Linux/" + ArchitectureFolder();
        fs::create_directories(objects);
        WriteFile(bundle + "/Contents/Info.ini", info);
        if (withObject) fs::copy_file(BuiltComponentObject(), objects + "/Cam.so");
        return bundle;
    }

    TempFolder mTemp;
};

TEST_F(BundleTest, LoadsResolvesAndUnloadsTheExecutable) {
    const std::string path = MakeBundle(
        "# camera\nCFBundleIdentifier=com.example.cam\n\nCFBundleExecutable=Cam\n", true);
    std::unique_ptr<Bundle> bundle = Bundle::Create(path);
    ASSERT_TRUE(bundle);
    EXPECT_EQ(bundle->Path(), path);
    EXPECT_EQ(bundle->Identifier(), "com.example.cam");
    EXPECT_EQ(bundle->ExecutablePath(),
              path + "/Contents/Linux/" + ArchitectureFolder() + "/Cam.so");
    EXPECT_FALSE(bundle->IsExecutableLoaded());
    EXPECT_EQ(bundle->FunctionPointerForName("__public_fn0"), nullptr);

    ASSERT_TRUE(bundle->LoadExecutable()) << bundle->LoadError();
    EXPECT_TRUE(bundle->IsExecutableLoaded());
    EXPECT_NE(bundle->FunctionPointerForName("__public_fn0"), nullptr);
    EXPECT_NE(bundle->FunctionPointerForName("__public_fn_"), nullptr);
    EXPECT_EQ(bundle->FunctionPointerForName("__public_fn6"), nullptr);
    EXPECT_EQ(bundle->FunctionPointerForName(nullptr), nullptr);
    EXPECT_TRUE(bundle->LoadExecutable());

    bundle->UnloadExecutable();
    EXPECT_FALSE(bundle->IsExecutableLoaded());
    EXPECT_EQ(bundle->FunctionPointerForName("__public_fn0"), nullptr);
}

TEST_F(BundleTest, CreateNeedsAFolder) {
    WriteFile(mTemp / "plain", "not a bundle");
    EXPECT_EQ(Bundle::Create(mTemp / "plain"), nullptr);
    EXPECT_EQ(Bundle::Create(mTemp / "missing"), nullptr);
    EXPECT_EQ(Bundle::Create(""), nullptr);
}

TEST_F(BundleTest, BundleNamingNoUsableExecutableDoesNotLoad) {
    for (const char* info : {"CFBundleIdentifier=com.example.cam\n",
                             "CFBundleIdentifier=com.example.cam\nCFBundleExecutable=../Cam\n"}) {
        std::unique_ptr<Bundle> bundle = Bundle::Create(MakeBundle(info, false));
        ASSERT_TRUE(bundle);
        EXPECT_EQ(bundle->ExecutablePath(), "");
        EXPECT_FALSE(bundle->LoadExecutable());
        EXPECT_FALSE(bundle->IsExecutableLoaded());
        EXPECT_NE(bundle->LoadError().find(bundle->Path()), std::string::npos)
            << bundle->LoadError();
    }
}

TEST_F(BundleTest, MissingObjectFailsWithTheLoadersWords) {
    std::unique_ptr<Bundle> bundle = Bundle::Create(MakeBundle("CFBundleExecutable=Cam\n", false));
    ASSERT_TRUE(bundle);
    EXPECT_EQ(bundle->Identifier(), "");
    EXPECT_FALSE(bundle->LoadExecutable());
    EXPECT_NE(bundle->LoadError().find(bundle->ExecutablePath()), std::string::npos)
        << bundle->LoadError();
}

class MainBundleTest : public ::testing::Test {
protected:
    // <temp>/bin/host, an executable in an install tree.
    void SetUp() override {
        fs::create_directories(mTemp / "bin");
        fs::copy_file("/proc/self/exe", mHost);
    }

    void WriteInfo(const std::string& text) {
        fs::create_directories(mTemp / "share/host");
        WriteFile(mTemp / "share/host/Info.ini", text);
    }

    TempFolder mTemp;
    const std::string mRoot = fs::canonical(mTemp.Path()).string();
    const std::string mHost = mTemp / "bin/host";
};

TEST_F(MainBundleTest, InstallTreeTakesItsIdentifierAndResourcesFromShare) {
    WriteInfo("CFBundleIdentifier=COM.APPLE.ICHAT\nCFBundleExecutable=host\n");
    const MainBundle bundle = MainBundle::ForExecutable(mHost);
    EXPECT_TRUE(bundle.IsInstallTree());
    EXPECT_EQ(bundle.Identifier(), "COM.APPLE.ICHAT");
    EXPECT_EQ(bundle.ExecutableFolder(), mRoot + "/bin");
    EXPECT_EQ(bundle.ResourcesFolder(), mRoot + "/share/host");

    EXPECT_EQ(bundle.ResourcePath("X", "component"), "");
    fs::create_directories(mTemp / "share/host/X.component");
    EXPECT_EQ(bundle.ResourcePath("X", "component"), mRoot + "/share/host/X.component");
    EXPECT_EQ(bundle.ResourcePath("X", "plugin"), "");
    EXPECT_EQ(bundle.ResourcePath("", "component"), "");
}

TEST_F(MainBundleTest, ResourcesKeyNamesAnotherProgramsFolder) {
    WriteInfo("CFBundleIdentifier=COM.APPLE.ICHAT\nResources=../vistrel\n");
    fs::create_directories(mTemp / "share/vistrel/Y.component");
    const MainBundle bundle = MainBundle::ForExecutable(mHost);
    EXPECT_TRUE(bundle.IsInstallTree());
    EXPECT_EQ(bundle.ResourcesFolder(), mRoot + "/share/vistrel");
    EXPECT_EQ(bundle.ResourcePath("Y", "component"), mRoot + "/share/vistrel/Y.component");
}

TEST_F(MainBundleTest, ProgramWithoutInfoIsABareBundle) {
    const MainBundle bundle = MainBundle::ForExecutable(mHost);
    EXPECT_FALSE(bundle.IsInstallTree());
    EXPECT_EQ(bundle.Identifier(), "host");
    EXPECT_EQ(bundle.ExecutableFolder(), mRoot + "/bin");
    EXPECT_EQ(bundle.ResourcesFolder(), "");
    fs::create_directories(mTemp / "share/host/X.component");
    EXPECT_EQ(bundle.ResourcePath("X", "component"), "");
    EXPECT_EQ(bundle.SupportFilesFolder(), "");
}

} // namespace
