// The PipeWire camera node beside vistrelsrc on the same broadcast: the CPU each host process
// takes per frame while a consumer drops what it gets (pipewiresrc ! fakesink, in the format the
// case asks for; vistrelsrc ! fakesink), read from /proc over a steady window at the broadcast's
// 30 frames a second. The node's consumer and PipeWire's daemon are shown beside it.
// And the latency from a frame's publication to its arrival in a consumer, through the node
// (pipewiresrc) against vistrelsrc reading the channel itself.
#include "bench/ProcessCpu.h"
#include "channel/SharedCameraBundle.h"
#include "channel/SharedCameraFrameWriter.h"
#include "tests/support/Broadcast.h"
#include "tests/support/ComponentBinding.h"
#include "tests/support/PipeWireSession.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>
#include <unistd.h>

using testsupport::Start;

// The component the benchmarks link into the user's folder.
SharedCameraBundle SharedCameraBundle::sComponent(SharedCameraBundle::kVistrelXXX);

namespace {

constexpr double kWindowSeconds = 5, kFramesPerSecond = 30;
constexpr const char* kFormats[] = {"ARGB", "I420"};

// Each process's CPU over the window, in microseconds per broadcast frame.
void Measure(benchmark::State& state, const std::vector<std::pair<const char*, pid_t>>& processes) {
    std::this_thread::sleep_for(std::chrono::seconds(1)); // past opening and negotiating
    for (auto _ : state) {
        std::vector<double> before;
        for (const auto& process : processes)
            before.push_back(ProcessCpu(process.second));
        std::this_thread::sleep_for(std::chrono::duration<double>(kWindowSeconds));
        for (size_t i = 0; i < processes.size(); ++i)
            state.counters[processes[i].first] = (ProcessCpu(processes[i].second) - before[i]) *
                                                 1e6 / (kWindowSeconds * kFramesPerSecond);
    }
}

std::unique_ptr<testsupport::Child> StartBroadcast() {
    binding::RemoveChannel();
    binding::LinkComponent("VistrelXXX");
    return Start(broadcast::PublishCommand({"--fps", "30"}));
}

void BM_VistrelsrcToFakesink(benchmark::State& state) {
    const testsupport::TempFolder registry;
    const testsupport::ScopedEnv plugins("GST_PLUGIN_PATH",
                                         testsupport::StageLibPath("gstreamer-1.0").c_str()),
        cache("GST_REGISTRY", (registry / "registry.bin").c_str());
    const auto publisher = StartBroadcast();
    const auto consumer = Start({GST_LAUNCH, "-q", "vistrelsrc", "!", "fakesink"});
    Measure(state, {{"host_us_per_frame", consumer->Pid()}});
}

void BM_PipeWireNodeToFakesink(benchmark::State& state) {
    const testsupport::TempFolder registry;
    const testsupport::ScopedEnv cache("GST_REGISTRY", (registry / "registry.bin").c_str());
    testsupport::PipeWireSession session;
    const auto publisher = StartBroadcast();
    const auto node = Start({VISTREL_PIPEWIRE});
    if (!testsupport::PipeWireSession::NodeShows(10)) {
        state.SkipWithError(("no node: " + node->ErrSoFar()).c_str());
        return;
    }
    const std::string caps = std::string("video/x-raw,format=") + kFormats[state.range(0)];
    const auto consumer = Start({GST_LAUNCH, "-q", "pipewiresrc", "target-object=vistrel-camera",
                                 "!", caps, "!", "fakesink"});
    Measure(state, {{"host_us_per_frame", node->Pid()},
                    {"consumer_us_per_frame", consumer->Pid()},
                    {"daemon_us_per_frame", session.DaemonPid()}});
    state.SetLabel(kFormats[state.range(0)]);
}

using Clock = std::chrono::steady_clock;
constexpr uint32_t kLatencyFrames = 300; // ten seconds

// The test pattern published from this process, frame n at the broadcast's rate, with the moment
// each became the channel's current frame.
class TimedBroadcast {
public:
    TimedBroadcast() : mPublished(kLatencyFrames + 1) {
        binding::RemoveChannel();
        binding::LinkComponent("VistrelXXX");
        tagSHARED_CAMERA_CONTROL control{sizeof control, 1, 0};
        mOpen = mCamera.SetCameraControl(&control) && mWriter.Open();
        mThread = std::thread([this] { Publish(); });
    }
    ~TimedBroadcast() {
        mStop = true;
        mThread.join();
        mWriter.Close();
    }
    bool Open() const { return mOpen; }
    Clock::time_point Published(uint32_t counter) const { return mPublished[counter].load(); }

private:
    void Publish() {
        const auto start = Clock::now();
        for (uint32_t n = 0; mOpen && !mStop && n <= kLatencyFrames; ++n) {
            std::this_thread::sleep_until(start + n * std::chrono::microseconds(1000000 / 30));
            mWriter.Write([n](int, const tagSHARED_CAMERA_BUFFER& record) {
                TestPattern::Draw(static_cast<uint8_t*>(record.frameBufferPtr), record.frameWidth,
                                  record.frameHeight, record.frameBufferRowBytes, n);
            });
            mPublished[n] = Clock::now();
        }
    }

    SharedCameraBundle& mCamera = SharedCameraBundle::sComponent;
    SharedCameraFrameWriter mWriter{mCamera};
    std::vector<std::atomic<Clock::time_point>> mPublished;
    std::atomic<bool> mStop{false};
    bool mOpen = false;
    std::thread mThread;
};

// A gst-launch-1.0 pipeline ending in 32-bit frames on its standard output, read here as each one
// arrives: the time from its publication, in milliseconds, of every distinct frame.
void MeasureLatency(benchmark::State& state, const TimedBroadcast& broadcast,
                    std::vector<std::string> pipeline) {
    int out[2];
    if (::pipe(out) != 0) return state.SkipWithError("no pipe");
    pipeline.insert(pipeline.begin(), {GST_LAUNCH, "-q"});
    pipeline.insert(pipeline.end(), {"!", "fdsink", "fd=1", "sync=false"});
    const testsupport::Child consumer([&] {
        ::dup2(out[1], 1);
        return testsupport::Exec(pipeline);
    });
    ::close(out[1]);
    std::vector<uint8_t> frame(SharedCamera::kFrameSizeBytes);
    std::vector<double> latencies;
    uint32_t last = ~0u;
    for (auto _ : state) {
        for (size_t got = 0;;) {
            const ssize_t n = ::read(out[0], frame.data() + got, frame.size() - got);
            if (n <= 0) break;
            if ((got += size_t(n)) < frame.size()) continue;
            got = 0;
            const uint32_t counter = broadcast::Counter(frame.data());
            if (counter > kLatencyFrames || counter == last) continue;
            last = counter;
            const Clock::duration latency = Clock::now() - broadcast.Published(counter);
            // Past the first second: opening and negotiating are not the path's latency.
            if (counter >= 30)
                latencies.push_back(std::chrono::duration<double, std::milli>(latency).count());
            if (counter == kLatencyFrames) break;
        }
    }
    ::close(out[0]);
    if (latencies.empty()) return state.SkipWithError("no frames came");
    std::sort(latencies.begin(), latencies.end());
    state.counters["latency_min_ms"] = latencies.front();
    state.counters["latency_median_ms"] = latencies[latencies.size() / 2];
    state.counters["latency_max_ms"] = latencies.back();
    state.counters["frames"] = double(latencies.size());
}

void BM_LatencyVistrelsrc(benchmark::State& state) {
    const testsupport::TempFolder registry;
    const testsupport::ScopedEnv plugins("GST_PLUGIN_PATH",
                                         testsupport::StageLibPath("gstreamer-1.0").c_str()),
        cache("GST_REGISTRY", (registry / "registry.bin").c_str());
    const TimedBroadcast broadcast;
    if (!broadcast.Open()) return state.SkipWithError("the channel did not open");
    MeasureLatency(state, broadcast, {"vistrelsrc"});
}

void BM_LatencyPipeWireNode(benchmark::State& state) {
    const testsupport::TempFolder registry;
    const testsupport::ScopedEnv cache("GST_REGISTRY", (registry / "registry.bin").c_str());
    testsupport::PipeWireSession session;
    const TimedBroadcast broadcast;
    if (!broadcast.Open()) return state.SkipWithError("the channel did not open");
    const auto node = Start({VISTREL_PIPEWIRE});
    if (!testsupport::PipeWireSession::NodeShows(10))
        return state.SkipWithError(("no node: " + node->ErrSoFar()).c_str());
    MeasureLatency(state, broadcast,
                   {"pipewiresrc", "target-object=vistrel-camera", "!", "video/x-raw,format=ARGB"});
}

BENCHMARK(BM_VistrelsrcToFakesink)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PipeWireNodeToFakesink)
    ->DenseRange(0, 1)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_LatencyVistrelsrc)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_LatencyPipeWireNode)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
