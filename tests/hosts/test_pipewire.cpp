// vistrel-pipewire in a PipeWire session of the test's own (its runtime folder, session bus,
// pipewire and wireplumber): pw-dump shows the camera node, and pipewiresrc in gst-launch-1.0
// receives what vistrel-channel publishes.
#include "tests/support/Broadcast.h"
#include "tests/support/ComponentBinding.h"
#include "tests/support/PipeWireSession.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <memory>
#include <set>
#include <thread>

using broadcast::Counter;
using broadcast::Pattern;
using testsupport::Child;
using testsupport::ReadFile;

namespace {

using testsupport::PipeWireSession;
using testsupport::Start;

class PipeWire : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* tool : PipeWireSession::kTools)
            ASSERT_EQ(::access(tool, X_OK), 0) << tool << ": scripts/install-deps.sh installs it";
        ASSERT_EQ(::access(GST_LAUNCH, X_OK), 0) << "gst-launch-1.0: scripts/install-deps.sh";
        binding::RemoveChannel();
        binding::LinkComponent("VistrelXXX");
        session = std::make_unique<PipeWireSession>();
    }

    // gst-launch-1.0 taking frames from the node in a format, converted to A, R, G, B bytes.
    std::unique_ptr<Child> Consumer(const std::string& format, int frames,
                                    const std::string& file) {
        return Start({GST_LAUNCH, "-q", "pipewiresrc", "target-object=vistrel-camera",
                      "num-buffers=" + std::to_string(frames), "!", "video/x-raw,format=" + format,
                      "!", "videoconvert", "!", "video/x-raw,format=ARGB", "!", "filesink",
                      "location=" + folder / file});
    }

    std::vector<uint32_t> Counters(const std::string& file) {
        const std::string frames = ReadFile(folder / file);
        std::vector<uint32_t> counters;
        for (size_t at = 0; at + SharedCamera::kFrameSizeBytes <= frames.size();
             at += SharedCamera::kFrameSizeBytes)
            counters.push_back(Counter(reinterpret_cast<const uint8_t*>(frames.data()) + at));
        return counters;
    }

    testsupport::TempFolder folder;
    testsupport::ScopedEnv registry{"GST_REGISTRY", (folder / "registry.bin").c_str()};
    std::unique_ptr<PipeWireSession> session;
};

// Every format the node offers carries the published frames: the RGB ones exactly (without the
// alpha of those that have none), the subsampled ones within rounding.
TEST_F(PipeWire, ConsumersGetThePublishedFramesInEachFormat) {
    auto publisher = Start(broadcast::PublishCommand({"--fps", "30", "--seconds", "60"}));
    auto camera = Start({VISTREL_PIPEWIRE});
    ASSERT_TRUE(PipeWireSession::NodeShows(10)) << camera->ErrSoFar();
    const std::string node = PipeWireSession::NodeProperties();
    for (const char* property : {"\"media.class\": \"Video/Source\"", "\"media.role\": \"Camera\"",
                                 "\"node.description\": \"Vistrel\""})
        EXPECT_NE(node.find(property), std::string::npos) << property << "\n" << node;
    const struct {
        const char* format;
        int channels; // bytes of each pixel compared, its last ones
        long meanOff; // the mean difference allowed; none means every byte exact
    } cases[] = {{"ARGB", 4, 0}, {"BGRx", 3, 0}, {"BGRA", 4, 0}, {"I420", 3, 4}, {"YUY2", 3, 4}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.format);
        auto consumer = Consumer(c.format, 3, c.format);
        ASSERT_TRUE(consumer->Wait(20)) << "froze";
        ASSERT_EQ(consumer->exitCode, 0) << consumer->err;
        const std::string frames = ReadFile(folder / c.format);
        const std::vector<uint32_t> counters = Counters(c.format);
        ASSERT_EQ(counters.size(), 3u);
        for (size_t f = 0; f < counters.size(); ++f) {
            const std::vector<uint8_t> expected = Pattern(counters[f]);
            long worst = 0, total = 0;
            for (size_t i = 0; i < expected.size(); ++i) {
                if (int(i % 4) < 4 - c.channels) continue;
                const long off =
                    std::abs(long(uint8_t(frames[f * expected.size() + i])) - expected[i]);
                worst = std::max(worst, off);
                total += off;
            }
            // A subsampled edge may be off by much; the picture as a whole by little.
            EXPECT_LE(c.meanOff ? total / long(expected.size()) : worst, c.meanOff)
                << "frame " << f << " of counter " << counters[f];
        }
    }
    EXPECT_TRUE(publisher->Stop());
}

// While two readers hold both frame buffers for two seconds, the writer stands still and the
// consumer is sent the last frame again at the broadcast's rate.
TEST_F(PipeWire, TheLastFrameIsSentAgainWhileTheWriterStalls) {
    auto publisher = Start(broadcast::PublishCommand({"--fps", "30", "--seconds", "60"}));
    auto camera = Start({VISTREL_PIPEWIRE});
    ASSERT_TRUE(PipeWireSession::NodeShows(10)) << camera->ErrSoFar();
    auto consumer = Consumer("ARGB", 120, "frames");
    for (int i = 0; i < 1000 && Counters("frames").size() < 3; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    const std::vector<std::string> hold = {testsupport::StagePath("bin/vistrel-channel"), "read",
                                           "--hold", "2"};
    auto first = Start(hold);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    auto second = Start(hold);
    ASSERT_TRUE(first->Wait(10) && second->Wait(10) && consumer->Wait(20));
    const std::vector<uint32_t> counters = Counters("frames");
    long most = 0; // copies of one frame
    for (const uint32_t counter : counters)
        most = std::max(most, long(std::count(counters.begin(), counters.end(), counter)));
    EXPECT_GE(most, 40) << "two seconds without frames";
}

// Two consumers at once, one of them stopped for two seconds: the other gets the broadcast's
// frames meanwhile, and the broadcast keeps its rate.
TEST_F(PipeWire, APausedConsumerHoldsBackNeitherTheOtherNorTheBroadcast) {
    auto publisher = Start(broadcast::PublishCommand({"--fps", "30", "--seconds", "8"}));
    auto camera = Start({VISTREL_PIPEWIRE});
    ASSERT_TRUE(PipeWireSession::NodeShows(10)) << camera->ErrSoFar();
    auto paused = Consumer("ARGB", 60, "paused");
    for (int i = 0; i < 1000 && Counters("paused").empty(); ++i) // until it delivers
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    paused->Kill(SIGSTOP);
    auto other = Consumer("ARGB", 45, "other");
    ASSERT_TRUE(other->Wait(20)) << "froze with the other consumer stopped";
    paused->Kill(SIGCONT);
    ASSERT_TRUE(paused->Wait(20)) << "froze after it went on";
    for (const std::string file : {"paused", "other"}) {
        const std::vector<uint32_t> counters = Counters(file);
        EXPECT_GE(std::set<uint32_t>(counters.begin(), counters.end()).size(), 30u) << file;
    }
    ASSERT_TRUE(publisher->Wait(20));
    double published = 0, seconds = 1;
    ASSERT_EQ(std::sscanf(publisher->out.c_str(), "published %lf frames of 640x480 ARGB in %lf",
                          &published, &seconds),
              2)
        << publisher->out;
    EXPECT_GE(published / seconds, 27) << "the broadcast slowed down";
}

// What the node needs comes and goes: each absence is said once, and the node comes back with
// its frames when it ends (a PipeWire daemon restarted among them). The end of the process named
// as its parent ends the program.
TEST_F(PipeWire, TheNodeComesBackAfterEachAbsenceSaidOnce) {
    auto publisher = Start(broadcast::PublishCommand({"--seconds", "60", "--deny-connections"}));
    auto parent = Start({"/bin/sleep", "60"});
    auto camera = Start({VISTREL_PIPEWIRE, "--parent-pid", std::to_string(parent->Pid())});
    const struct {
        std::function<void()> start;
        const char* said;
        std::function<void()> end;
    } absences[] = {
        {[] {}, "vistrel-pipewire: Camera connections are switched off in Vistrel",
         [&] {
             publisher.reset();
             publisher = Start(broadcast::PublishCommand({"--seconds", "60"}));
         }},
        {[&] { session->StopDaemons(); },
         "vistrel-pipewire: no PipeWire daemon to offer the camera to",
         [&] { session->StartDaemons(); }},
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
