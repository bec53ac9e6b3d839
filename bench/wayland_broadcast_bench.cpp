// The broadcast on the sway desktop the benchmark runs in (SWAYSOCK, WAYLAND_DISPLAY and its
// XWayland's DISPLAY set), the application under XWayland over a native window whose colour
// changes every 20 ms (wayland_animation), read by `vistrelsrc`: the columns of broadcast_bench,
// the desktop's processes (sway and what it started: XWayland) in place of the X server; the
// latency runs from the compositor having taken a change to the reader's frame.
//
// Run through run_bench.sh, whose private /tmp must not hide the desktop's sockets and which
// clears WAYLAND_DISPLAY: it is given as VISTREL_BENCH_WAYLAND_DISPLAY.
#include "bench/BroadcastBench.h"

#include <csignal>
#include <xcb/xcb.h>

using namespace broadcastbench;

namespace {

std::string sSwayMsg;

bool Sway(const std::string& command) {
    return RunProcess({sSwayMsg, command}).exitCode == 0;
}

// The native window's changes as it reports them ("step seconds" lines); paused, it is stopped.
class WaylandAnimation final : public Changes {
public:
    WaylandAnimation() {
        int out[2];
        if (::pipe2(out, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
        mChild = Start({StagePath("bin/wayland_animation"), std::to_string(kFrameWidth),
                        std::to_string(kFrameHeight), std::to_string(kStepMilliseconds)},
                       {}, out[1]);
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
                return Sway("[app_id=vistrel-animation] floating enable, move position " +
                            std::to_string(kLeft) + " " + std::to_string(kTop));
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

// The height of the X server's screen, XWayland's layout: 0 when there is none.
int ScreenHeight() {
    xcb_connection_t* c = xcb_connect(sDisplay.c_str(), nullptr);
    const int height = xcb_connection_has_error(c)
                           ? 0
                           : xcb_setup_roots_iterator(xcb_get_setup(c)).data->height_in_pixels;
    xcb_disconnect(c);
    return height;
}

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 64;
    if (const char* wayland = std::getenv("VISTREL_BENCH_WAYLAND_DISPLAY"))
        ::setenv("WAYLAND_DISPLAY", wayland, 1);
    const char* sway = std::getenv("SWAYSOCK");
    const char* display = std::getenv("DISPLAY");
    sSwayMsg = XServer::ProgramPath("swaymsg");
    if (!sway || !std::getenv("WAYLAND_DISPLAY") || !display || sSwayMsg.empty() ||
        !XServer::Installed("gst-launch-1.0")) {
        std::fprintf(
            stderr,
            "wayland_broadcast_bench: runs in a sway session with XWayland "
            "(SWAYSOCK, VISTREL_BENCH_WAYLAND_DISPLAY, DISPLAY), swaymsg and gst-launch-1.0\n");
        return 1;
    }
    sDisplay = display;
    sScreenHeight = ScreenHeight();
    // The socket is named sway-ipc.<user>.<process>.sock.
    const std::string socket = std::filesystem::path(sway).filename();
    const size_t process = socket.find('.', socket.find('.') + 1) + 1;
    sServers = Family(std::atoi(socket.c_str() + process));
    if (sScreenHeight <= 0 || !InstallDigitizer()) {
        std::fprintf(stderr,
                     "wayland_broadcast_bench: no XWayland at %s, or the digitizer "
                     "component cannot be installed\n",
                     display);
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return sFailed ? 1 : 0;
}
