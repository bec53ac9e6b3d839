// The broadcast on a Wayland desktop (headless sway, software rendering) with the application
// under its XWayland over a native window whose colour changes every 20 ms (the tests' own
// client), read by `vistrelsrc`: the columns of broadcast_bench, the desktop's processes (sway,
// XWayland) in place of the X server; the latency runs from the compositor having taken a change
// to the reader's frame.
//
// Run through run_bench.sh: `ninja -C build run_wayland_broadcast_bench`.
#include "bench/BroadcastBench.h"
#include "tests/support/SwayDesktop.h"

#include <csignal>

using namespace broadcastbench;

namespace {

SwayDesktop* sDesktop = nullptr;

// The native window's changes as it reports them ("step seconds" lines); paused, it is stopped.
class WaylandAnimation final : public Changes {
public:
    WaylandAnimation() {
        int out[2];
        if (::pipe2(out, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
        mChild = Start({StagePath("bin/test_wayland_animation"), std::to_string(kFrameWidth),
                        std::to_string(kFrameHeight), std::to_string(kStepMilliseconds)},
                       sDesktop->Wayland(), out[1]);
        ::close(out[1]);
        mThread = std::thread([this, in = out[0]] { Run(in); });
    }
    ~WaylandAnimation() {
        mChild->Stop();
        mThread.join();
    }
    void Pause(bool paused) override { mChild->Kill(paused ? SIGSTOP : SIGCONT); }
    double DrawnAt(int step) const override {
        const std::lock_guard<std::mutex> hold(mLock);
        return mDrawn[step % kSteps];
    }
    bool Placed() const {
        return Until(
            [] {
                return sDesktop->Sway({"[app_id=vistrel-animation] floating enable, "
                                       "move position " +
                                       std::to_string(kLeft) + " " + std::to_string(kTop)});
            },
            10);
    }

private:
    void Run(int in) {
        FILE* lines = ::fdopen(in, "r");
        int step = 0;
        double at = 0;
        while (lines && std::fscanf(lines, "%d %lf", &step, &at) == 2) {
            const std::lock_guard<std::mutex> hold(mLock);
            mDrawn[step % kSteps] = at;
        }
        if (lines) std::fclose(lines);
    }

    std::unique_ptr<Child> mChild;
    mutable std::mutex mLock;
    double mDrawn[kSteps] = {};
    std::thread mThread;
};

void BM_OursOnWayland(benchmark::State& state) {
    for (auto _ : state) {
        WaylandAnimation animation;
        if (!animation.Placed()) return Fail(state, "the native window did not show");
        Application application;
        if (!application.Launch(kFrameWidth, kFrameHeight) ||
            !application.Request({"--broadcast", "on"}))
            return Fail(state, "the application did not broadcast: " +
                                   (application.program ? application.program->ErrSoFar() : ""));
        FrameSink sink(animation);
        auto reader = Start({GstLaunch(), "-q", "vistrelsrc", "!", "fdsink", "fd=1", "sync=false"},
                            ClientEnvironment(application), sink.WriteEnd());
        sink.Start();
        std::vector<pid_t> companion = Family(application.program->Pid());
        companion.erase(companion.begin());
        Measure(state, animation, sink, {{application.program->Pid()}, companion, {reader->Pid()}},
                *reader);
    }
}

BENCHMARK(BM_OursOnWayland)->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 64;
    for (const char* program :
         {"sway", "swaymsg", "Xwayland", "dbus-run-session", "gst-launch-1.0"})
        if (!XServer::Installed(program)) {
            std::fprintf(stderr, "wayland_broadcast_bench: %s is not installed\n", program);
            return 1;
        }
    if (const std::string why = SwayDesktop::Unavailable(); !why.empty()) {
        std::fprintf(stderr, "wayland_broadcast_bench: %s\n", why.c_str());
        return 1;
    }
    SwayDesktop desktop;
    if (!desktop.Start()) {
        std::fprintf(stderr, "wayland_broadcast_bench: no desktop\n%s", desktop.Errors().c_str());
        return 1;
    }
    sDesktop = &desktop;
    sDisplay = desktop.Display();
    sSession = desktop.Wayland();
    sScreenHeight = 720; // the headless output's
    sServers = Family(desktop.Pid());
    if (!InstallDigitizer()) {
        std::fprintf(stderr, "wayland_broadcast_bench: cannot install the digitizer component\n");
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return sFailed ? 1 : 0;
}
