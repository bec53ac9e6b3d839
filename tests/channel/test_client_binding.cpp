// The client's binding to a camera component: locations, installation as a link, lazy loading and
// the wrappers. This program is a bundle of the staged install tree, so its resources hold the
// component bundles, as the application's do.
#include "channel/SharedCameraBundle.h"
#include "channel/SharedCameraFrameWriter.h"
#include "tests/support/ComponentBinding.h"

#include <gtest/gtest.h>

#include <filesystem>

SharedCameraBundle SharedCameraBundle::sComponent(SharedCameraBundle::kVistrelX64);

using namespace binding;
using testsupport::Exists;
namespace fs = std::filesystem;

namespace {

SharedCameraBundle& camera = SharedCameraBundle::sComponent;
constexpr int kUser = CFBaseDLL::kUserQuickTime;

// Every test starts with nothing installed, nothing loaded and no channel.
class ClientBinding : public ::testing::Test {
protected:
    void SetUp() override { Clean(); }
    void TearDown() override { Clean(); }
    static void Clean() {
        camera.InstallLocation(false, kUser); // unloads whatever is loaded
        RemoveChannel();
        ASSERT_FALSE(camera.IsComponentLoaded());
    }
};

TEST_F(ClientBinding, InstallingLinksTheResourceBundleOnceAndKeepsARealFolder) {
    // The user's location counts only once its folder exists; asking never creates it.
    const auto url = &CFBaseDLL::URLOfNameInLocation;
    EXPECT_EQ(url("VistrelX64.component", CFBaseDLL::kResources), StagedBundle());
    EXPECT_EQ(url("VistrelX64.component", kUser), std::nullopt);
    EXPECT_FALSE(Exists(fs::path(UserLink()).parent_path()));

    ASSERT_TRUE(camera.InstallLocation(true, kUser));
    EXPECT_EQ(url("VistrelX64.component/", kUser), UserLink());       // a name, never a folder
    EXPECT_EQ(fs::read_symlink(UserLink()).string(), StagedBundle()); // throws unless a link
    EXPECT_TRUE(camera.AlreadyInstalledSomewhere());
    EXPECT_FALSE(camera.IsComponentLoaded()) << "installing must not load";
    EXPECT_TRUE(camera.InstallLocation(true, kUser)) << "installing again must succeed";

    ASSERT_TRUE(camera.InstallLocation(false, kUser));
    EXPECT_FALSE(Exists(UserLink()));
    EXPECT_FALSE(camera.InstallLocation(false, kUser)) << "nothing left to remove";

    // A real bundle folder there is used but never removed.
    fs::create_directories(UserLink());
    fs::copy(StagedBundle(), UserLink(), fs::copy_options::recursive);
    EXPECT_TRUE(camera.InstallLocation(true, kUser));
    tagSHARED_CAMERA_BUFFER record = Record();
    EXPECT_TRUE(camera.GetWriteableFrameBuffer_N(0, &record));
    EXPECT_FALSE(camera.InstallLocation(false, kUser));
    EXPECT_TRUE(fs::is_directory(UserLink()));
}

TEST_F(ClientBinding, WrappersReachTheComponentAndReloadItAfterRemoval) {
    ASSERT_TRUE(camera.InstallLocation(true, kUser));
    tagSHARED_CAMERA_CONTROL control{8, 1, 0}; // loads on first use
    ASSERT_TRUE(camera.SetCameraControl(&control));
    EXPECT_TRUE(camera.IsComponentLoaded());
    EXPECT_EQ(RegionWord(kAllowanceOffset), 0u);

    // A reader holding buffer 0 sends the frame to buffer 1; one holding both costs the frame.
    tagSHARED_CAMERA_BUFFER buffer[2] = {Record(), Record()};
    for (int n : {0, 1})
        ASSERT_TRUE(camera.GetWriteableFrameBuffer_N(n, &buffer[n]));
    const auto fill = [](int, const tagSHARED_CAMERA_BUFFER& record) {
        std::memset(record.frameBufferPtr, 0x3C, record.frameBufferSizeBytes);
    };
    SharedCameraFrameWriter writer(camera);
    ASSERT_TRUE(writer.Open());
    ASSERT_TRUE(camera.TryLockFrameBuffer(buffer[0].frameBufferPtr));
    EXPECT_EQ(writer.Write(fill), SharedCameraFrameWriter::Result::kWritten);
    EXPECT_EQ(writer.NextBuffer(), 0);
    ASSERT_TRUE(camera.TryLockFrameBuffer(buffer[1].frameBufferPtr));
    EXPECT_EQ(writer.Write(fill), SharedCameraFrameWriter::Result::kSkipped);
    for (int n : {0, 1})
        ASSERT_TRUE(camera.UnLockFrameBuffer(buffer[n].frameBufferPtr));

    // Removal unloads; with the link gone there is nothing to reload. A reload finds the frame
    // written and made current before.
    ASSERT_TRUE(camera.InstallLocation(false, kUser));
    EXPECT_FALSE(camera.IsComponentLoaded());
    EXPECT_EQ(writer.Write(fill), SharedCameraFrameWriter::Result::kFailed) << "gone, not skipped";
    tagSHARED_CAMERA_BUFFER current = Record();
    EXPECT_FALSE(camera.GetCurrentReadBuffer(&current));
    EXPECT_FALSE(camera.IsComponentLoaded());

    LinkComponent();
    ASSERT_TRUE(camera.GetCurrentReadBuffer(&current)); // reloaded
    EXPECT_EQ(static_cast<uint8_t*>(current.frameBufferPtr)[0], 0x3C);
}

} // namespace
