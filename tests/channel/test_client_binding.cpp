// The client's binding to a camera component: locations, installation as a link, lazy loading and
// the wrappers. This program is a bundle of the staged install tree, so its resources hold the
// component bundles, as the application's do.
#include "channel/SharedCameraBundle.h"
#include "core/CoreMachDebugLog.h"
#include "tests/channel/binding_child.h"
#include "tests/channel/binding_component.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

SharedCameraBundle SharedCameraBundle::sComponent(SharedCameraBundle::kVistrelX64);

using namespace binding;
using testsupport::Exists;
namespace fs = std::filesystem;

namespace {

SharedCameraBundle& camera = SharedCameraBundle::sComponent;
constexpr const char* kName = "VistrelX64.component";

std::string UserComponents() {
    return std::string(std::getenv("XDG_DATA_HOME")) + "/vistrel/components";
}

std::string UserLink() {
    return UserComponents() + "/" + kName;
}

std::string Stage() {
    return fs::canonical(testsupport::StagePath("")).string();
}

std::string StagedBundle() {
    return Stage() + "/share/vistrel/" + kName;
}

bool IsFolder(const std::string& path) {
    std::error_code error;
    return fs::is_directory(path, error);
}

CoreURL InFolderIfPresent(const std::string& folder) {
    if (!IsFolder(folder)) return std::nullopt;
    return folder + "/" + kName;
}

size_t Entries(const std::string& folder) {
    size_t count = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(folder))
        ++count;
    return count;
}

tagSHARED_CAMERA_BUFFER Sized() {
    tagSHARED_CAMERA_BUFFER record{};
    record.sizeofSHARED_CAMERA_BUFFER = sizeof record;
    return record;
}

// A bundle folder at path whose executable is the given shared object.
void MakeBundle(const std::string& path, const std::string& object) {
    const std::string objects = path + "/Contents/Linux/x86_64";
    fs::create_directories(objects);
    testsupport::WriteFile(path + "/Contents/Info.ini",
                           "CFBundleIdentifier=com.example.Partial\nCFBundleExecutable=Partial\n");
    fs::copy_file(object, objects + "/Partial.so");
}

// Every test starts with nothing installed, nothing loaded and no channel.
class ClientBinding : public ::testing::Test {
protected:
    void SetUp() override { Clean(); }
    void TearDown() override { Clean(); }
    static void Clean() {
        camera.InstallLocation(false, CFBaseDLL::kUserQuickTime); // unloads whatever is loaded
        testsupport::RemoveTree(std::string(std::getenv("XDG_DATA_HOME")) + "/vistrel");
        RemoveChannel();
        ASSERT_FALSE(camera.IsComponentLoaded());
    }
    static void SkipIfInstalledOnThisMachine() {
        for (int location : {CFBaseDLL::kSystemQuickTime, CFBaseDLL::kLocalQuickTime})
            if (const CoreURL url = CFBaseDLL::URLOfNameInLocation(kName, location);
                url && Exists(*url))
                GTEST_SKIP() << "this machine has " << *url;
    }
};

TEST_F(ClientBinding, URLOfNameInLocation) {
    auto url = [](int location) { return CFBaseDLL::URLOfNameInLocation(kName, location); };
    const std::string stage = Stage();
    EXPECT_EQ(url(CFBaseDLL::kExecutableFolder), stage + "/bin/" + kName);
    EXPECT_EQ(url(CFBaseDLL::kSystemFrameworks), InFolderIfPresent("/usr/lib"));
    EXPECT_EQ(url(CFBaseDLL::kLocalFrameworks), InFolderIfPresent("/usr/local/lib"));
    EXPECT_EQ(url(CFBaseDLL::kPrivateFrameworks), stage + "/lib/vistrel/Frameworks/" + kName);
    EXPECT_EQ(url(CFBaseDLL::kSharedFrameworks),
              stage + "/share/vistrel/SharedFrameworks/" + kName);
    EXPECT_EQ(url(CFBaseDLL::kResources), StagedBundle());
    EXPECT_EQ(url(CFBaseDLL::kBuiltInPlugIns), stage + "/lib/vistrel/PlugIns/" + kName);
    EXPECT_EQ(url(CFBaseDLL::kSupportFiles), stage + "/share/vistrel/SharedSupport/" + kName);
    EXPECT_EQ(url(CFBaseDLL::kLocalQuickTime),
              InFolderIfPresent("/usr/local/lib/vistrel/components"));
    EXPECT_EQ(url(CFBaseDLL::kSystemQuickTime), InFolderIfPresent("/usr/lib/vistrel/components"));
    EXPECT_EQ(url(11), std::nullopt);
    EXPECT_EQ(url(-1), std::nullopt);
    EXPECT_EQ(CFBaseDLL::URLOfNameInLocation(nullptr, CFBaseDLL::kResources), std::nullopt);

    // The user's folder counts only once it exists; it is never created by asking.
    EXPECT_EQ(url(CFBaseDLL::kUserQuickTime), std::nullopt);
    EXPECT_FALSE(Exists(UserComponents()));
    fs::create_directories(UserComponents());
    EXPECT_EQ(url(CFBaseDLL::kUserQuickTime), UserLink());

    // The name is a last component, never a folder.
    EXPECT_EQ(CFBaseDLL::URLOfNameInLocation("VistrelX64.component/", CFBaseDLL::kUserQuickTime),
              UserLink());
    EXPECT_EQ(CFBaseDLL::URLOfNameInLocation("VistrelX64.component//", CFBaseDLL::kResources),
              StagedBundle());
}

TEST_F(ClientBinding, NothingInstalledMeansNoWrapperWorks) {
    SkipIfInstalledOnThisMachine();
    tagSHARED_CAMERA_CONTROL control{8, 1, 0};
    tagSHARED_CAMERA_BUFFER record = Sized();
    int somewhere = 0;
    EXPECT_FALSE(camera.AlreadyInstalledSomewhere());
    EXPECT_FALSE(camera.SetCameraControl(&control));
    EXPECT_FALSE(camera.GetWriteableFrameBuffer_N(0, &record));
    EXPECT_FALSE(camera.SetCurrentReadBuffer(&somewhere));
    EXPECT_FALSE(camera.GetCurrentReadBuffer(&record));
    EXPECT_FALSE(camera.LockFrameBuffer(&somewhere));
    EXPECT_FALSE(camera.UnLockFrameBuffer(&somewhere));
    EXPECT_FALSE(camera.IsComponentLoaded());
    EXPECT_FALSE(Exists(RegionPath()));
}

TEST_F(ClientBinding, InstallingLinksTheResourceBundleOnce) {
    // A fresh account has no component folder: installing makes it.
    ASSERT_FALSE(Exists(UserComponents()));
    ASSERT_TRUE(camera.InstallLocation(true, CFBaseDLL::kUserQuickTime));
    ASSERT_TRUE(fs::is_symlink(UserLink()));
    EXPECT_EQ(fs::read_symlink(UserLink()).string(), StagedBundle());
    EXPECT_TRUE(camera.AlreadyInstalledSomewhere());
    EXPECT_FALSE(camera.IsComponentLoaded()) << "installing must not load";

    struct stat first {};
    ASSERT_EQ(::lstat(UserLink().c_str(), &first), 0);
    EXPECT_TRUE(camera.InstallLocation(true, CFBaseDLL::kUserQuickTime));
    struct stat again {};
    ASSERT_EQ(::lstat(UserLink().c_str(), &again), 0);
    EXPECT_EQ(again.st_ino, first.st_ino);
    EXPECT_EQ(Entries(UserComponents()), 1u);

    ASSERT_TRUE(camera.InstallLocation(false, CFBaseDLL::kUserQuickTime));
    EXPECT_FALSE(Exists(UserLink()));
    EXPECT_FALSE(camera.InstallLocation(false, CFBaseDLL::kUserQuickTime))
        << "nothing left to remove";
}

TEST_F(ClientBinding, WrappersReachTheInstalledComponent) {
    ASSERT_TRUE(camera.InstallLocation(true, CFBaseDLL::kUserQuickTime));
    tagSHARED_CAMERA_CONTROL control{8, 0, 0};
    ASSERT_TRUE(camera.SetCameraControl(&control));
    EXPECT_TRUE(camera.IsComponentLoaded());
    EXPECT_EQ(RegionWord(kAllowanceOffset), SharedCamera::kNoCameraConnections);

    tagSHARED_CAMERA_BUFFER buffer0 = Sized(), buffer1 = Sized();
    ASSERT_TRUE(camera.GetWriteableFrameBuffer_N(0, &buffer0));
    ASSERT_TRUE(camera.GetWriteableFrameBuffer_N(1, &buffer1));
    EXPECT_EQ(buffer1.frameBufferRowBytes, 2560);
    EXPECT_EQ(buffer1.frameBufferSizeBytes, 1228800);
    EXPECT_EQ(buffer1.frameWidth, 640);
    EXPECT_EQ(buffer1.frameHeight, 480);
    EXPECT_EQ(buffer1.framePixelFormat, SharedCamera::kFramePixelFormat);
    EXPECT_EQ(static_cast<uint8_t*>(buffer1.frameBufferPtr) -
                  static_cast<uint8_t*>(buffer0.frameBufferPtr),
              1229824);

    ASSERT_TRUE(camera.LockFrameBuffer(buffer1.frameBufferPtr));
    std::memset(buffer1.frameBufferPtr, 0x3C, SharedCamera::kFrameSizeBytes);
    ASSERT_TRUE(camera.UnLockFrameBuffer(buffer1.frameBufferPtr));
    ASSERT_TRUE(camera.SetCurrentReadBuffer(buffer1.frameBufferPtr));
    EXPECT_EQ(RegionWord(kTagOffset), SharedCamera::kBufferTag1);
    EXPECT_EQ(RegionWord(offsetof(SharedCamera::Region, frameBuffer1) + 4096), 0x3C3C3C3Cu);

    tagSHARED_CAMERA_BUFFER current = Sized();
    ASSERT_TRUE(camera.GetCurrentReadBuffer(&current));
    EXPECT_EQ(current.frameBufferPtr, buffer1.frameBufferPtr);
    EXPECT_FALSE(camera.SetCurrentReadBuffer(static_cast<uint8_t*>(buffer1.frameBufferPtr) + 8));

    // Removal unloads, and with the link gone there is nothing to reload.
    ASSERT_TRUE(camera.InstallLocation(false, CFBaseDLL::kUserQuickTime));
    EXPECT_FALSE(camera.IsComponentLoaded());
    EXPECT_FALSE(camera.GetCurrentReadBuffer(&current));
    EXPECT_FALSE(camera.IsComponentLoaded());
}

TEST_F(ClientBinding, WrapperReloadsAfterRemovalWhileTheBundleIsStillThere) {
    ASSERT_TRUE(camera.InstallLocation(true, CFBaseDLL::kUserQuickTime));
    tagSHARED_CAMERA_BUFFER record = Sized();
    ASSERT_TRUE(camera.GetWriteableFrameBuffer_N(0, &record));
    ASSERT_TRUE(camera.SetCurrentReadBuffer(record.frameBufferPtr));
    ASSERT_TRUE(camera.InstallLocation(false, CFBaseDLL::kUserQuickTime));
    ASSERT_FALSE(camera.IsComponentLoaded());

    fs::create_symlink(StagedBundle(), UserLink());
    tagSHARED_CAMERA_BUFFER current = Sized();
    ASSERT_TRUE(camera.GetCurrentReadBuffer(&current));
    EXPECT_TRUE(camera.IsComponentLoaded());
    EXPECT_NE(current.frameBufferPtr, nullptr);
    EXPECT_EQ(RegionWord(kTagOffset), SharedCamera::kBufferTag0);
}

TEST_F(ClientBinding, RealBundleFolderIsUsedButNeverRemoved) {
    fs::create_directories(UserComponents());
    fs::copy(StagedBundle(), UserLink(), fs::copy_options::recursive);
    EXPECT_TRUE(camera.AlreadyInstalledSomewhere());
    EXPECT_TRUE(camera.InstallLocation(true, CFBaseDLL::kUserQuickTime));
    ASSERT_FALSE(fs::is_symlink(UserLink()));

    tagSHARED_CAMERA_BUFFER record = Sized();
    EXPECT_TRUE(camera.GetWriteableFrameBuffer_N(0, &record));

    ChildProcess child([](ChildChannel& channel) {
        CoreMachDebugLogSetUseLogger(kCoreLogToASL);
        channel.Say(std::to_string(camera.InstallLocation(false, CFBaseDLL::kUserQuickTime)));
        return 0;
    });
    std::string result;
    ASSERT_TRUE(child.ReadLine(result, 10)) << child.Err();
    ASSERT_TRUE(child.Wait(10));
    EXPECT_EQ(result, "0");
    EXPECT_TRUE(IsFolder(UserLink()));
    EXPECT_NE(child.Err().find("VERIFY FAILED:  code : fOk = (0==unlink(in_path)) in "),
              std::string::npos)
        << child.Err();
    EXPECT_NE(child.Err().find("(FileDelete)"), std::string::npos) << child.Err();
}

TEST_F(ClientBinding, MissingEntryPointFailsOnlyItsWrapper) {
    MakeBundle(UserLink(), VISTREL_PARTIAL_COMPONENT);
    tagSHARED_CAMERA_BUFFER record = Sized();
    ASSERT_TRUE(camera.GetCurrentReadBuffer(&record)); // the one entry point it has
    EXPECT_EQ(record.frameWidth, 1);

    record = Sized();
    const tagSHARED_CAMERA_BUFFER before = record;
    tagSHARED_CAMERA_CONTROL control{8, 1, 0};
    EXPECT_FALSE(camera.GetWriteableFrameBuffer_N(0, &record));
    EXPECT_EQ(std::memcmp(&record, &before, sizeof record), 0);
    EXPECT_FALSE(camera.SetCameraControl(&control));
    EXPECT_FALSE(camera.SetCurrentReadBuffer(record.frameBufferPtr));
    EXPECT_FALSE(camera.LockFrameBuffer(&record));
    EXPECT_FALSE(camera.UnLockFrameBuffer(&record));
    EXPECT_TRUE(camera.IsComponentLoaded());
}

// The local folder lives outside the home; this test lays one over /usr/local/lib, which only a
// private mount namespace allows without touching the machine.
bool InPrivateMountNamespace() {
    std::error_code error;
    const fs::path self = fs::read_symlink("/proc/self/ns/mnt", error);
    const fs::path parent =
        fs::read_symlink("/proc/" + std::to_string(::getppid()) + "/ns/mnt", error);
    return !error && self != parent && std::getenv("VISTREL_ISOLATED");
}

TEST_F(ClientBinding, LocalFolderIsSearchedAfterTheUsersOne) {
    if (!InPrivateMountNamespace()) GTEST_SKIP() << "needs the isolated runner";
    if (::mount("tmpfs", "/usr/local/lib", "tmpfs", 0, "mode=0755") != 0)
        GTEST_SKIP() << "cannot mount over /usr/local/lib here";
    struct Unmount {
        ~Unmount() { ::umount2("/usr/local/lib", MNT_DETACH); }
    } unmount;
    const std::string local = "/usr/local/lib/vistrel/components";
    EXPECT_EQ(CFBaseDLL::URLOfNameInLocation(kName, CFBaseDLL::kLocalQuickTime), std::nullopt);
    fs::create_directories(local);
    EXPECT_EQ(CFBaseDLL::URLOfNameInLocation(kName, CFBaseDLL::kLocalQuickTime),
              local + "/" + kName);
    fs::create_symlink(StagedBundle(), local + "/" + kName);

    // Only the user's and the system's folders count as installed.
    EXPECT_FALSE(camera.AlreadyInstalledSomewhere());
    tagSHARED_CAMERA_BUFFER record = Sized();
    EXPECT_TRUE(camera.GetWriteableFrameBuffer_N(0, &record));
    EXPECT_FALSE(camera.InstallLocation(false, CFBaseDLL::kUserQuickTime)); // unloads only

    // A bundle in the user's folder wins, even one without the entry point asked for.
    MakeBundle(UserLink(), VISTREL_PARTIAL_COMPONENT);
    EXPECT_FALSE(camera.GetWriteableFrameBuffer_N(0, &record));
    EXPECT_TRUE(camera.IsComponentLoaded());
}

} // namespace
