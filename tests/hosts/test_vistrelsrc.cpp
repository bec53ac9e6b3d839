// vistrelsrc as people use it: gst-launch-1.0 and gst-inspect-1.0 load the plug-in from the build
// tree, and the frames come from a broadcast that vistrel-channel publishes in another process.
#include "tests/support/Broadcast.h"
#include "tests/support/ComponentBinding.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <set>
#include <sys/mount.h>
#include <thread>

using broadcast::Counter;
using broadcast::Pattern;
using broadcast::Publish;
using testsupport::ProcessResult;

namespace {

// A tmpfs over a folder in this test program's own mount namespace, until the end of the scope.
struct Covered {
    explicit Covered(const std::string& folder) : path(folder) {
        mounted = ::mount("tmpfs", folder.c_str(), "tmpfs", 0, nullptr) == 0;
        EXPECT_TRUE(mounted) << folder << ": " << std::strerror(errno);
    }
    ~Covered() {
        if (mounted) ::umount2(path.c_str(), MNT_DETACH);
    }
    std::string path;
    bool mounted = false;
};

constexpr size_t kFrameBytes = SharedCamera::kFrameSizeBytes;

// The plug-in from the build tree (unless `more` starts with another GST_PLUGIN_PATH), with a
// registry of this program's own; in sanitizer builds the
// runtime that an uninstrumented host must load before an instrumented plug-in.
std::vector<std::string> GstEnvironment(std::vector<std::string> more = {}) {
    static const testsupport::TempFolder registry;
    if (more.empty() || more[0].rfind("GST_PLUGIN_PATH=", 0) != 0) {
        more.push_back("GST_PLUGIN_PATH=" + testsupport::StagePath("lib/gstreamer-1.0"));
        more.push_back("GST_REGISTRY=" + registry / "registry.bin");
    }
#ifdef VISTREL_PRELOAD_ASAN
    more.push_back("LD_PRELOAD=" VISTREL_PRELOAD_ASAN);
    more.push_back("ASAN_OPTIONS=detect_leaks=0");
#endif
    return more;
}

ProcessResult Launch(std::vector<std::string> pipeline, std::vector<std::string> env = {}) {
    pipeline.insert(pipeline.begin(), {GST_LAUNCH, "-q"});
    return testsupport::RunProcess(pipeline, GstEnvironment(std::move(env)));
}

// The frames of a raw file, each exactly the pattern of the counter it shows (converted by
// `convert`), counters never going back.
void ExpectPatternFrames(const std::string& bytes, size_t count,
                         const std::function<void(std::vector<uint8_t>&)>& convert = {}) {
    ASSERT_EQ(bytes.size(), count * kFrameBytes);
    uint32_t previous = 0;
    for (size_t i = 0; i < count; ++i) {
        std::vector<uint8_t> frame(bytes.begin() + i * kFrameBytes,
                                   bytes.begin() + (i + 1) * kFrameBytes);
        if (convert) convert(frame);
        const uint32_t counter = Counter(frame.data());
        EXPECT_TRUE(frame == Pattern(counter)) << "frame " << i << " is not pattern " << counter;
        EXPECT_GE(counter, previous) << "frame " << i;
        previous = counter;
    }
}

class VistrelSrc : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TOOL(GST_LAUNCH, "gst-launch-1.0");
        binding::RemoveChannel();
    }
    void TearDown() override {
        if (!mPublisher) return;
        mPublisher->Kill(SIGTERM);
        EXPECT_TRUE(mPublisher->Wait());
        EXPECT_EQ(mPublisher->exitCode, 0) << mPublisher->err;
    }

    // What an install does: the digitizer's bundle in a component folder.
    static void LinkDigitizer() { binding::LinkComponent("VistrelXXX"); }

    // A broadcast in another process (by default 30 frames a second), once its first frame is
    // out.
    void StartBroadcast(std::vector<std::string> options = {"--fps", "30", "--seconds", "6"}) {
        mPublisher = std::make_unique<testsupport::Child>(
            [options] { return testsupport::Exec(broadcast::PublishCommand(options)); });
        const auto published = [] {
            const uint32_t tag = binding::RegionWord(binding::kTagOffset);
            return tag == SharedCamera::kBufferTag0 || tag == SharedCamera::kBufferTag1;
        };
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!published() && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        ASSERT_TRUE(published()) << "the broadcast published no frame";
    }

    // Ends the broadcast: the frames it published and the seconds it took.
    std::pair<double, double> StopBroadcast() {
        EXPECT_TRUE(mPublisher->Wait(20));
        double published = 0, seconds = 1;
        EXPECT_EQ(std::sscanf(mPublisher->out.c_str(),
                              "published %lf frames of 640x480 ARGB in %lf", &published, &seconds),
                  2)
            << mPublisher->out;
        mPublisher.reset();
        return {published, seconds};
    }

    testsupport::TempFolder folder;

private:
    std::unique_ptr<testsupport::Child> mPublisher;
};

TEST_F(VistrelSrc, FramesOfARunningBroadcastArriveExactlyAsPublishedAndConvertAsARGB) {
    LinkDigitizer();
    StartBroadcast();
    const std::string raw = folder / "frames.raw", rgba = folder / "rgba.raw";
    ProcessResult run = Launch({"vistrelsrc", "num-buffers=3", "!", "filesink", "location=" + raw});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    ExpectPatternFrames(testsupport::ReadFile(raw), 3);

    // Converted by GStreamer as the ARGB its caps announce, the frame is the pattern still.
    run = Launch({"vistrelsrc", "num-buffers=1", "!", "videoconvert", "!",
                  "video/x-raw,format=RGBA", "!", "filesink", "location=" + rgba});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    ExpectPatternFrames(testsupport::ReadFile(rgba), 1, [](std::vector<uint8_t>& frame) {
        for (size_t i = 0; i < frame.size(); i += 4)
            std::rotate(&frame[i], &frame[i + 3], &frame[i + 4]);
    });
}

// After the broadcast ended, its last frame is shown again rather than waited for.
TEST_F(VistrelSrc, AFinishedBroadcastKeepsShowingItsLastFrame) {
    LinkDigitizer();
    Publish({"--frames", "2", "--fps", "100"});
    const std::string raw = folder / "frames.raw";
    const ProcessResult run =
        Launch({"vistrelsrc", "num-buffers=4", "!", "filesink", "location=" + raw});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const std::string bytes = testsupport::ReadFile(raw);
    ExpectPatternFrames(bytes, 4);
    EXPECT_EQ(Counter(reinterpret_cast<const uint8_t*>(bytes.data()) + bytes.size() - kFrameBytes),
              1u);
}

// Clients at once, each as people run them (a sink that syncs to the clock, one that keeps every
// buffer for a second as a paused pipeline keeps its last one): the broadcast keeps its rate, and
// every playing client gets a new frame at that rate. Only the counter rows of a frame are kept.
TEST_F(VistrelSrc, ClientsAtOnceNeitherSlowTheBroadcastNorEachOther) {
    LinkDigitizer();
    constexpr int kFrames = 90, kRows = TestPattern::kCounterRows;
    const std::string crop = "bottom=" + std::to_string(480 - kRows);
    const struct {
        const char* what;
        int playing;
        bool held; // one more client that keeps each buffer for a second
    } cases[] = {{"two playing", 2, false}, {"four playing", 4, false}, {"a held beside", 1, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        StartBroadcast({"--fps", "30", "--seconds", "5"});
        std::vector<std::unique_ptr<testsupport::Child>> clients;
        for (int i = 0; i < c.playing + c.held; ++i) {
            const bool held = i == c.playing;
            const std::string file = folder / ("rows" + std::to_string(i));
            std::vector<std::string> pipeline = {GST_LAUNCH, "vistrelsrc"};
            if (held)
                pipeline.insert(pipeline.end(), {"num-buffers=3", "!", "identity",
                                                 "sleep-time=1000000", "!", "fakesink"});
            else
                pipeline.insert(pipeline.end(),
                                {"num-buffers=" + std::to_string(kFrames), "!", "videocrop", crop,
                                 "!", "filesink", "sync=true", "location=" + file});
            clients.push_back(std::make_unique<testsupport::Child>([pipeline] {
                for (const std::string& assignment : GstEnvironment())
                    ::putenv(::strdup(assignment.c_str()));
                return testsupport::Exec(pipeline);
            }));
        }
        for (int i = 0; i < c.playing + c.held; ++i) {
            ASSERT_TRUE(clients[i]->Wait(20)) << "client " << i << " froze";
            EXPECT_EQ(clients[i]->exitCode, 0) << clients[i]->err;
            // Among them the latency warning of a source whose latency leaves sinks no room.
            EXPECT_EQ(clients[i]->out.find("WARNING"), std::string::npos) << clients[i]->out;
            if (i == c.playing) continue;
            const std::string rows = testsupport::ReadFile(folder / ("rows" + std::to_string(i)));
            ASSERT_EQ(rows.size(), size_t(kFrames) * kRows * 2560);
            std::set<uint32_t> counters;
            for (int f = 0; f < kFrames; ++f)
                counters.insert(
                    Counter(reinterpret_cast<const uint8_t*>(rows.data()) + f * kRows * 2560));
            // Client and writer tick apart at the same rate: a frame now and then comes twice.
            EXPECT_GE(counters.size(), size_t(kFrames) * 3 / 4) << "client " << i;
        }
        const auto [published, seconds] = StopBroadcast();
        EXPECT_GE(published / seconds, 27) << "the broadcast slowed down";
    }
}

// The pipeline does not start, and the element says why in the user's words.
TEST_F(VistrelSrc, ACameraThatCannotStartSaysWhy) {
    const std::string channel = "The Vistrel camera channel file " + binding::RegionPath();
    const struct {
        bool linked;
        std::vector<std::string> publish; // no broadcast when empty
        std::string planted;              // a channel file put there instead
        std::vector<std::string> environment;
        std::string words;
    } cases[] = {
        {false, {"--frames", "1"}, "", {}, "No Vistrel camera is installed"},
        {true, {}, "", {}, "No Vistrel broadcast has created the camera yet"},
        {true,
         {"--deny-connections", "--frames", "1"},
         "",
         {},
         "Camera connections are switched off in Vistrel"},
        {true,
         {"--frames", "1"},
         "",
         {"VISTREL_SYSTEM_VERSION=0x1030"},
         "This program is not allowed to use the Vistrel camera"},
        {true, {}, std::string(4096, 'x'), {}, channel + " cannot be used: it is shorter than"},
        {true,
         {},
         std::string(SharedCamera::kRegionSizeBytes, '\0'),
         {},
         channel + " cannot be used: its header is damaged"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.words);
        binding::RemoveChannel();
        if (c.linked) LinkDigitizer();
        if (!c.publish.empty()) Publish(c.publish);
        if (!c.planted.empty()) testsupport::WriteFile(binding::RegionPath(), c.planted);
        const ProcessResult run =
            Launch({"vistrelsrc", "num-buffers=1", "!", "fakesink"}, c.environment);
        EXPECT_NE(run.exitCode, 0);
        EXPECT_NE(run.err.find("vistrelsrc0: " + c.words), std::string::npos) << run.err;
#ifdef VISTREL_PRELOAD_ASAN
        EXPECT_EQ(run.err.find("Sanitizer"), std::string::npos) << run.err;
#endif
    }
}

// The staged tree copied elsewhere runs from there with the original out of sight: every staged
// object finds the project's libraries relative to itself.
TEST_F(VistrelSrc, TheStagedTreeRunsWhereverItIsPut) {
    const std::string stage = testsupport::StagePath(""), moved = folder / "moved";
    std::filesystem::create_directories(moved);
    std::vector<std::unique_ptr<Covered>> hidden;
    for (const char* part : {"lib", "share"}) {
        std::filesystem::copy(stage + "/" + part, moved + "/" + part,
                              std::filesystem::copy_options::recursive);
        hidden.push_back(std::make_unique<Covered>(stage + "/" + part));
    }
    for (const auto& entry : std::filesystem::recursive_directory_iterator(moved)) {
        if (entry.path().extension() != ".so") continue;
        const ProcessResult dynamic =
            testsupport::RunProcess({"/usr/bin/readelf", "-d", entry.path()});
        for (size_t at = dynamic.out.find("path: ["); at != std::string::npos;
             at = dynamic.out.find("path: [", at + 1))
            EXPECT_EQ(dynamic.out.compare(at + 7, 7, "$ORIGIN"), 0) << entry.path() << dynamic.out;
    }
    std::filesystem::create_directories(
        std::filesystem::path(binding::UserLink("VistrelXXX")).parent_path());
    for (const char* name : {"VistrelXXX", "VistrelX64"})
        std::filesystem::create_directory_symlink(moved + "/share/vistrel/" + name + ".component",
                                                  binding::UserLink(name));
    Publish({"--frames", "1", "--no-install"});
    const std::string raw = folder / "frame.raw";
    const ProcessResult run = Launch(
        {"vistrelsrc", "num-buffers=1", "!", "filesink", "location=" + raw},
        {"GST_PLUGIN_PATH=" + moved + "/lib/gstreamer-1.0", "GST_REGISTRY=" + folder / "reg"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    ExpectPatternFrames(testsupport::ReadFile(raw), 1);
}

// A component bundle in the user's folder whose object cannot be loaded (empty, not an object)
// leaves the way to a good one in the local folder, for the writer and for vistrelsrc alike.
TEST_F(VistrelSrc, AnUnloadableBundleIsPassedOverForTheNextGoodOne) {
    namespace fs = std::filesystem;
    const Covered local("/usr/local/lib");
    fs::create_directories("/usr/local/lib/vistrel/components");
    for (const char* name : {"VistrelXXX", "VistrelX64"})
        fs::create_directory_symlink(binding::StagedBundle(name),
                                     std::string("/usr/local/lib/vistrel/components/") + name +
                                         ".component");
    for (const std::string object : {"", "not an object"}) {
        SCOPED_TRACE("object of " + std::to_string(object.size()) + " bytes");
        binding::RemoveChannel();
        for (const char* name : {"VistrelXXX", "VistrelX64"}) {
            const std::string bundle = binding::UserLink(name);
            fs::remove_all(bundle);
            fs::create_directories(bundle);
            fs::copy(binding::StagedBundle(name), bundle, fs::copy_options::recursive);
            testsupport::WriteFile(bundle + "/Contents/Linux/x86_64/" + name + ".so", object);
        }
        Publish({"--frames", "1", "--no-install"});
        const std::string raw = folder / "frame.raw";
        const ProcessResult run =
            Launch({"vistrelsrc", "num-buffers=1", "!", "filesink", "location=" + raw});
        ASSERT_EQ(run.exitCode, 0) << run.err;
        ExpectPatternFrames(testsupport::ReadFile(raw), 1);
    }
}

TEST(VistrelSrcInspect, ShowsTheElementWithItsCaps) {
    ASSERT_TOOL(GST_INSPECT, "gst-inspect-1.0");
    const ProcessResult run =
        testsupport::RunProcess({GST_INSPECT, "vistrelsrc"}, GstEnvironment());
    ASSERT_EQ(run.exitCode, 0) << run.err;
    for (const char* text : {"Source/Video", "SRC template: 'src'", "video/x-raw", "format: ARGB",
                             "width: 640", "height: 480", "framerate: 30/1"})
        EXPECT_NE(run.out.find(text), std::string::npos) << text << "\n" << run.out;
}

} // namespace
