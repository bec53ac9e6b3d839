// vistrelsrc as people use it: gst-launch-1.0 and gst-inspect-1.0 load the plug-in from the build
// tree, and the frames come from a broadcast that vistrel-channel publishes in another process.
#include "channel/SharedCameraFormat.h"
#include "platform/files/PlatformFiles.h"
#include "platform/session/PlatformSession.h"
#include "tests/support/TestSupport.h"
#include "tools/vistrel-channel/TestPattern.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <memory>
#include <png.h>
#include <thread>
#include <unistd.h>
#include <vector>

using testsupport::ProcessResult;
using testsupport::StagePath;

namespace {

constexpr size_t kFrameBytes = SharedCamera::kFrameSizeBytes;
const std::string kPublisher = StagePath("bin/vistrel-channel");

// One plug-in registry for the whole program, never the user's.
const testsupport::TempFolder& Registry() {
    static const testsupport::TempFolder folder;
    return folder;
}

// The plug-in from the build tree; in sanitizer builds the runtime that an uninstrumented host
// must load before an instrumented plug-in (GStreamer's own allocations at exit are not ours).
std::vector<std::string> GstEnvironment(std::vector<std::string> more = {}) {
    std::vector<std::string> env = {"GST_PLUGIN_PATH=" + StagePath("lib/gstreamer-1.0"),
                                    "GST_REGISTRY=" + Registry() / "registry.bin"};
#ifdef VISTREL_PRELOAD_ASAN
    env.push_back("LD_PRELOAD=" VISTREL_PRELOAD_ASAN);
    env.push_back("ASAN_OPTIONS=detect_leaks=0");
#endif
    env.insert(env.end(), more.begin(), more.end());
    return env;
}

ProcessResult Launch(std::vector<std::string> pipeline, std::vector<std::string> env = {}) {
    pipeline.insert(pipeline.begin(), {GST_LAUNCH, "-q"});
    return testsupport::RunProcess(pipeline, GstEnvironment(std::move(env)));
}

std::string RegionPath() {
    std::string path = SharedCamera::kFileMappingFormat;
    path.replace(path.find("%@"), 2, platform::session::ConsoleUserName().value_or("?"));
    return path.replace(path.find("%s"), 2, SharedCamera::kFrameFormatName);
}

uint32_t CurrentBufferTag() {
    uint32_t tag = 0;
    const int fd = ::open(RegionPath().c_str(), O_RDONLY);
    if (fd < 0) return 0;
    if (::pread(fd, &tag, sizeof tag, offsetof(SharedCamera::Region, currentBufferTag)) !=
        sizeof tag)
        tag = 0;
    ::close(fd);
    return tag;
}

std::string UserDigitizerLink() {
    std::string folder;
    platform::files::FindFolder(platform::files::kUserDomain,
                                platform::files::kQuickTimeComponentsFolderType,
                                platform::files::kCreateFolder, folder);
    return folder + "/VistrelXXX.component";
}

std::vector<uint8_t> Pattern(uint32_t counter) {
    std::vector<uint8_t> frame(kFrameBytes);
    TestPattern::Draw(frame.data(), SharedCamera::kFrameWidth, SharedCamera::kFrameHeight,
                      SharedCamera::kFrameRowBytes, counter);
    return frame;
}

uint32_t Counter(const uint8_t* frame) {
    return TestPattern::ReadCounter(frame, SharedCamera::kFrameWidth, SharedCamera::kFrameRowBytes);
}

// The frames of a raw file, each exactly the pattern of the counter it shows, counters never
// going back.
void ExpectPatternFrames(const std::string& bytes, size_t count) {
    ASSERT_EQ(bytes.size(), count * kFrameBytes);
    uint32_t previous = 0;
    for (size_t i = 0; i < count; ++i) {
        const auto* frame = reinterpret_cast<const uint8_t*>(bytes.data()) + i * kFrameBytes;
        const uint32_t counter = Counter(frame);
        EXPECT_EQ(std::memcmp(frame, Pattern(counter).data(), kFrameBytes), 0)
            << "frame " << i << " is not the pattern of counter " << counter;
        EXPECT_GE(counter, previous) << "frame " << i;
        previous = counter;
    }
}

class VistrelSrc : public ::testing::Test {
protected:
    void SetUp() override {
        ::unlink(RegionPath().c_str());
        std::filesystem::remove(UserDigitizerLink());
    }

    void TearDown() override {
        if (!mPublisher) return;
        mPublisher->Kill(SIGTERM);
        EXPECT_TRUE(mPublisher->Wait());
        EXPECT_EQ(mPublisher->exitCode, 0) << mPublisher->err;
    }

    // What an install does: the digitizer's bundle in a component folder.
    static void LinkDigitizer() {
        std::filesystem::create_directory_symlink(StagePath("share/vistrel/VistrelXXX.component"),
                                                  UserDigitizerLink());
    }

    // A broadcast at 30 frames a second in another process, once its first frame is out.
    void StartBroadcast() {
        mPublisher = std::make_unique<testsupport::Child>([] {
            return testsupport::Exec({kPublisher, "publish", "--fps", "30", "--seconds", "6"});
        });
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (CurrentBufferTag() == 0 && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        ASSERT_NE(CurrentBufferTag(), 0u) << "the broadcast published no frame";
    }

    static void Publish(std::vector<std::string> options) {
        options.insert(options.begin(), {kPublisher, "publish"});
        const ProcessResult publish = testsupport::RunProcess(options);
        ASSERT_EQ(publish.exitCode, 0) << publish.out << publish.err;
    }

    // The pipeline does not start, and the element says why in the user's words.
    static void ExpectRefusal(const std::string& words, std::vector<std::string> env = {}) {
        const ProcessResult run = Launch({"vistrelsrc", "num-buffers=1", "!", "fakesink"}, env);
        EXPECT_NE(run.exitCode, 0);
        EXPECT_NE(run.err.find("vistrelsrc0: " + words), std::string::npos) << run.err;
#ifdef VISTREL_PRELOAD_ASAN
        EXPECT_EQ(run.err.find("Sanitizer"), std::string::npos) << run.err;
#endif
    }

    testsupport::TempFolder folder;

private:
    std::unique_ptr<testsupport::Child> mPublisher;
};

TEST_F(VistrelSrc, FramesOfARunningBroadcastArriveExactlyAsPublished) {
    LinkDigitizer();
    StartBroadcast();
    const std::string raw = folder / "frames.raw";
    const ProcessResult run =
        Launch({"vistrelsrc", "num-buffers=3", "!", "filesink", "location=" + raw});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    ExpectPatternFrames(testsupport::ReadFile(raw), 3);
}

TEST_F(VistrelSrc, ConvertedAndEncodedFrameDecodesToThePattern) {
    LinkDigitizer();
    StartBroadcast();
    const std::string png = folder / "frame.png";
    const ProcessResult run = Launch({"vistrelsrc", "num-buffers=1", "!", "videoconvert", "!",
                                      "pngenc", "!", "filesink", "location=" + png});
    ASSERT_EQ(run.exitCode, 0) << run.err;

    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    ASSERT_TRUE(png_image_begin_read_from_file(&image, png.c_str())) << image.message;
    ASSERT_EQ(image.width, 640u);
    ASSERT_EQ(image.height, 480u);
    image.format = PNG_FORMAT_ARGB;
    std::vector<uint8_t> argb(PNG_IMAGE_SIZE(image));
    ASSERT_TRUE(png_image_finish_read(&image, nullptr, argb.data(), 0, nullptr)) << image.message;
    EXPECT_TRUE(argb == Pattern(Counter(argb.data())))
        << "the picture is not the pattern of counter " << Counter(argb.data());
}

// filesink keeps the last buffer it got, and with it the lock of the newest shared frame: after
// the broadcast ended, that frame has to be shown again rather than waited for.
TEST_F(VistrelSrc, AFinishedBroadcastKeepsShowingItsLastFrame) {
    LinkDigitizer();
    Publish({"--frames", "2", "--fps", "100"});
    const std::string raw = folder / "frames.raw";
    const ProcessResult run =
        Launch({"vistrelsrc", "num-buffers=4", "!", "filesink", "location=" + raw});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const std::string bytes = testsupport::ReadFile(raw);
    ExpectPatternFrames(bytes, 4);
    for (size_t i = 0; i < 4 && bytes.size() == 4 * kFrameBytes; ++i)
        EXPECT_EQ(Counter(reinterpret_cast<const uint8_t*>(bytes.data()) + i * kFrameBytes), 1u);
}

// An application may keep a buffer after its pipeline stopped: the frame stays valid, and the
// digitizer instance closes (its component unloads) only once that buffer is freed.
TEST_F(VistrelSrc, ABufferKeptPastStopStaysValidUntilFreed) {
    LinkDigitizer();
    Publish({"--frames", "1"});
    const ProcessResult run = testsupport::RunProcess(
        {VISTREL_HOLD_PROBE,
         StagePath("share/vistrel/VistrelXXX.component/Contents/Linux/x86_64/VistrelXXX.so")},
        GstEnvironment());
    ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
    EXPECT_EQ(run.out, "loaded-after-stop=1\ncounter=0 intact=1\nloaded-after-free=0\n");
}

TEST_F(VistrelSrc, WithoutTheComponentItSaysNoCameraIsInstalled) {
    for (const char* folder : {"/usr/local/lib/vistrel/components", "/usr/lib/vistrel/components"})
        if (testsupport::Exists(std::string(folder) + "/VistrelXXX.component"))
            GTEST_SKIP() << "this machine has the camera installed in " << folder;
    Publish({"--frames", "1"});
    ExpectRefusal("No Vistrel camera is installed");
}

TEST_F(VistrelSrc, WithoutABroadcastItSaysSo) {
    LinkDigitizer();
    ExpectRefusal("No Vistrel broadcast has created the camera yet");
}

TEST_F(VistrelSrc, RefusedConnectionsAreToldAsSwitchedOff) {
    LinkDigitizer();
    Publish({"--deny-connections", "--frames", "1"});
    ExpectRefusal("Camera connections are switched off in Vistrel");
}

TEST_F(VistrelSrc, ARefusedProgramIsToldSo) {
    LinkDigitizer();
    Publish({"--frames", "1"});
    // Too old a system for the digitizer, while the broadcast allows connections.
    ExpectRefusal("This program is not allowed to use the Vistrel camera",
                  {"VISTREL_SYSTEM_VERSION=0x1030"});
}

TEST(VistrelSrcInspect, ShowsTheElementWithItsCaps) {
    const ProcessResult run =
        testsupport::RunProcess({GST_INSPECT, "vistrelsrc"}, GstEnvironment());
    ASSERT_EQ(run.exitCode, 0) << run.err;
    for (const char* text : {"Source/Video", "SRC template: 'src'", "video/x-raw", "format: ARGB",
                             "width: 640", "height: 480", "framerate: 30/1"})
        EXPECT_NE(run.out.find(text), std::string::npos) << text << "\n" << run.out;
}

} // namespace
