// The PipeWire camera node beside vistrelsrc on the same broadcast: the CPU each host process
// takes per frame while a consumer drops what it gets (pipewiresrc ! fakesink, in the format the
// case asks for; vistrelsrc ! fakesink), read from /proc over a steady window at the broadcast's
// 30 frames a second. The node's consumer and PipeWire's daemon are shown beside it.
#include "bench/ProcessCpu.h"
#include "tests/support/Broadcast.h"
#include "tests/support/ComponentBinding.h"
#include "tests/support/PipeWireSession.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <thread>

using testsupport::Start;

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

BENCHMARK(BM_VistrelsrcToFakesink)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PipeWireNodeToFakesink)
    ->DenseRange(0, 1)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

} // namespace

BENCHMARK_MAIN();
