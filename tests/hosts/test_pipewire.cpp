// vistrel-pipewire in a PipeWire session of the test's own (its runtime folder, session bus,
// pipewire and wireplumber): pw-dump shows the camera node, and pipewiresrc in gst-launch-1.0
// receives what vistrel-channel publishes.
#include "tests/support/Broadcast.h"
#include "tests/support/ComponentBinding.h"
#include "tests/support/PipeWireSession.h"

#include <algorithm>
#include <csignal>
#include <functional>
#include <set>

using testsupport::PipeWireSession;
using testsupport::Start;

namespace {

class PipeWire : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* tool : PipeWireSession::kTools)
            ASSERT_EQ(::access(tool, X_OK), 0) << tool << ": scripts/install-deps.sh installs it";
        binding::RemoveChannel();
        binding::LinkComponent("VistrelXXX");
        session = std::make_unique<PipeWireSession>();
    }

    // A broadcast, and the node once it shows.
    void Broadcast(const std::vector<std::string>& options = {"--seconds", "60"}) {
        publisher = Start(broadcast::PublishCommand(options));
        camera = Start({VISTREL_PIPEWIRE});
        ASSERT_TRUE(PipeWireSession::NodeShows(10)) << camera->ErrSoFar();
    }

    // gst-launch-1.0 taking frames from the node in a format, converted to A, R, G, B bytes.
    std::unique_ptr<testsupport::Child> Consumer(const std::string& format, int frames,
                                                 const std::string& file) {
        return Start({GST_LAUNCH, "-q", "pipewiresrc", "target-object=vistrel-camera",
                      "num-buffers=" + std::to_string(frames), "!", "video/x-raw,format=" + format,
                      "!", "videoconvert", "!", "video/x-raw,format=ARGB", "!", "filesink",
                      "location=" + folder / file});
    }

    std::vector<uint32_t> Counters(const std::string& file) {
        const std::string frames = testsupport::ReadFile(folder / file);
        std::vector<uint32_t> counters;
        for (size_t at = 0; at + kFrameBytes <= frames.size(); at += kFrameBytes)
            counters.push_back(
                broadcast::Counter(reinterpret_cast<const uint8_t*>(frames.data()) + at));
        return counters;
    }

    void WaitForFrames(const std::string& file) {
        for (int i = 0; i < 1000 && Counters(file).size() < 3; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }

    static constexpr size_t kFrameBytes = SharedCamera::kFrameSizeBytes;
    testsupport::TempFolder folder;
    testsupport::ScopedEnv registry{"GST_REGISTRY", (folder / "registry.bin").c_str()};
    std::unique_ptr<PipeWireSession> session;
    std::unique_ptr<testsupport::Child> publisher, camera;
};

// Every format the node offers carries the published (opaque) frames: the RGB ones exactly, the
// subsampled ones within rounding over the picture (an edge may be off by much).
TEST_F(PipeWire, ConsumersGetThePublishedFramesInEachFormat) {
    Broadcast();
    const std::string node = PipeWireSession::NodeProperties();
    for (const char* property : {"\"media.class\": \"Video/Source\"", "\"media.role\": \"Camera\"",
                                 "\"node.description\": \"Vistrel\""})
        EXPECT_NE(node.find(property), std::string::npos) << property << "\n" << node;
    for (const auto& [format, meanOff] :
         {std::pair{"ARGB", 0}, {"BGRx", 0}, {"BGRA", 0}, {"I420", 4}, {"YUY2", 4}}) {
        SCOPED_TRACE(format);
        auto consumer = Consumer(format, 3, format);
        ASSERT_TRUE(consumer->Wait(20) && consumer->exitCode == 0) << consumer->err;
        const std::string frames = testsupport::ReadFile(folder / format);
        const std::vector<uint32_t> counters = Counters(format);
        ASSERT_EQ(counters.size(), 3u);
        for (size_t f = 0; f < counters.size(); ++f) {
            const std::vector<uint8_t> expected = broadcast::Pattern(counters[f]);
            long total = 0;
            for (size_t i = 0; i < kFrameBytes; ++i)
                total += std::abs(uint8_t(frames[f * kFrameBytes + i]) - expected[i]);
            EXPECT_LE(meanOff ? total / long(kFrameBytes) : total, meanOff) << "frame " << f;
        }
    }
}

// One consumer stopped for two seconds holds back neither another consumer nor the broadcast;
// while two readers then hold both frame buffers for two seconds, the writer stands still and the
// node sends its last frame again at the broadcast's rate.
TEST_F(PipeWire, NoConsumerHoldsBackTheOtherAndAStalledWriterIsCoveredByRepeats) {
    Broadcast();
    auto paused = Consumer("ARGB", 30, "paused");
    WaitForFrames("paused");
    paused->Kill(SIGSTOP);
    auto other = Consumer("ARGB", 150, "other");
    WaitForFrames("other");
    const std::vector<std::string> hold = {testsupport::StagePath("bin/vistrel-channel"), "read",
                                           "--hold", "2"};
    std::this_thread::sleep_for(std::chrono::seconds(1));
    auto first = Start(hold);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    auto second = Start(hold);
    ASSERT_TRUE(first->Wait(10) && second->Wait(10) && other->Wait(20)) << "froze";
    paused->Kill(SIGCONT);
    ASSERT_TRUE(paused->Wait(20)) << "froze after it went on";
    const std::vector<uint32_t> counters = Counters("other");
    std::set<uint32_t> distinct(counters.begin(), counters.end());
    long most = 0; // copies of one frame
    for (const uint32_t counter : counters)
        most = std::max(most, long(std::count(counters.begin(), counters.end(), counter)));
    EXPECT_GE(distinct.size(), 50u) << "the broadcast was held back";
    EXPECT_GE(most, 40) << "two seconds without frames";
}

// What the node needs comes and goes: each absence is said once, and the node comes back with
// its frames when it ends (a PipeWire daemon restarted among them). The end of the process named
// as its parent ends the program.
TEST_F(PipeWire, TheNodeComesBackAfterEachAbsenceSaidOnce) {
    publisher = Start(broadcast::PublishCommand({"--seconds", "60", "--deny-connections"}));
    auto parent = Start({"/bin/sleep", "60"});
    camera = Start({VISTREL_PIPEWIRE, "--parent-pid", std::to_string(parent->Pid())});
    const struct {
        std::function<void()> start, end;
        const char* said;
    } absences[] = {
        {[] {}, [&] { publisher.reset(), publisher = Start(broadcast::PublishCommand({})); },
         "vistrel-pipewire: Camera connections are switched off in Vistrel"},
        {[&] { session->StopDaemons(); }, [&] { session->StartDaemons(); },
         "vistrel-pipewire: no PipeWire daemon to offer the camera to"},
    };
    for (const auto& absence : absences) {
        SCOPED_TRACE(absence.said);
        const size_t before = camera->ErrSoFar().size();
        absence.start();
        std::this_thread::sleep_for(std::chrono::seconds(3));
        const std::string said = camera->ErrSoFar().substr(before);
        EXPECT_NE(said.find(absence.said), std::string::npos) << said;
        EXPECT_EQ(said.find(absence.said), said.rfind(absence.said)) << "said more than once";
        EXPECT_TRUE(PipeWireSession::NodeProperties().empty());
        absence.end();
        ASSERT_TRUE(PipeWireSession::NodeShows(10)) << camera->ErrSoFar();
        auto consumer = Consumer("BGRx", 2, "frames");
        ASSERT_TRUE(consumer->Wait(20) && consumer->exitCode == 0) << consumer->err;
        EXPECT_EQ(Counters("frames").size(), 2u);
    }
    parent.reset();
    ASSERT_TRUE(camera->Wait(2)) << "outlived its parent";
    EXPECT_EQ(camera->exitCode, 0) << camera->err;
}

} // namespace
