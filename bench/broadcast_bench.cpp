// The broadcast as a whole against GStreamer doing the same work, every process on one private
// Xvfb whose grab area keeps changing:
// - ours: the application itself (its frame writer, display list and timer, with the PipeWire
//   camera it starts) broadcasting the grabber's rectangle, read by `vistrelsrc` in a pipeline
//   of its own;
// - gstreamer: `ximagesrc use-damage=false` (no pointer) converted to ARGB (`videoscale` first
//   for the stretched sizes) into `shmsink`, read by `shmsrc` in another process.
// Both readers hand every frame to this program through a pipe (`fdsink`), so their work is the
// same. Columns: CPU per frame (at 30 frames a second) of the writing process(es), the
// application's companion (the PipeWire camera, idle without a consumer), the reader and the X
// server from /proc; the latency from a change on the screen to the reader's frame, and that of
// the first change after a still spell (wake_); the frames the reader got a second; the CPU of
// each while the screen stands still (% of a core); the application's CPU with the broadcast off
// is the idle row.
//
// Run through run_bench.sh: `ninja -C build run_broadcast_bench`. VISTREL_BENCH_STAGE=<folder>
// runs the application and plug-in of another staged tree (a copy of an earlier build, kept
// outside /tmp: the run gets a /tmp of its own).
#include "bench/BroadcastBench.h"

#include <xcb/xcb.h>

using namespace broadcastbench;

namespace {

constexpr ScreenSize kScreen{2200, 1300};

// ---- the changing screen ----

// Changes the grab area about 50 times a second (a stripe moving over it, and the probe's next
// colour), noting when the server has drawn each step; paused, the screen stands still.
class Animator final : public Changes {
public:
    explicit Animator(int width, int height) : mWidth(width), mHeight(height) {
        mThread = std::thread([this] { Run(); });
    }
    ~Animator() {
        mRunning = false;
        mThread.join();
    }
    void Pause(bool paused) override { mPaused = paused; }
    double DrawnAt(int step) const override {
        const std::lock_guard<std::mutex> hold(mLock);
        return mDrawn[step % kSteps];
    }
    bool Failed() const { return mFailed; }

private:
    void Run() {
        xcb_connection_t* c = xcb_connect(sDisplay.c_str(), nullptr);
        if (xcb_connection_has_error(c)) {
            mFailed = true;
            xcb_disconnect(c);
            return;
        }
        const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
        const xcb_gcontext_t gc = xcb_generate_id(c);
        xcb_create_gc(c, gc, screen->root, 0, nullptr);
        constexpr int kStripe = 16;
        for (int step = 0; mRunning; ++step) {
            if (mPaused) {
                Sleep(kStepMilliseconds * 1e-3);
                continue;
            }
            const auto fill = [&](uint32_t colour, int x, int y, int w, int h) {
                xcb_change_gc(c, gc, XCB_GC_FOREGROUND, &colour);
                const xcb_rectangle_t r{int16_t(x), int16_t(y), uint16_t(w), uint16_t(h)};
                xcb_poly_fill_rectangle(c, screen->root, gc, 1, &r);
            };
            const int x = (step * 7 * kStripe) % (mWidth - kStripe);
            fill(0x202020, kLeft, kTop + kProbe, mWidth, mHeight - kProbe);
            fill(0xE0C040u ^ uint32_t(step * 0x030507), kLeft + x, kTop + kProbe, kStripe,
                 mHeight - kProbe);
            fill(ProbeColour(step), kLeft, kTop, kProbe, kProbe);
            // The server has drawn once it answers.
            xcb_get_input_focus_reply_t* reply =
                xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr);
            if (!reply) break;
            std::free(reply);
            {
                const std::lock_guard<std::mutex> hold(mLock);
                mDrawn[step % kSteps] = Now();
            }
            Sleep(kStepMilliseconds * 1e-3);
        }
        xcb_disconnect(c);
    }

    const int mWidth, mHeight;
    std::atomic<bool> mRunning{true}, mPaused{false}, mFailed{false};
    mutable std::mutex mLock;
    double mDrawn[kSteps] = {};
    std::thread mThread;
};

void BM_Ours(benchmark::State& state, int width, int height) {
    for (auto _ : state) {
        Animator animator(width, height);
        Application application;
        if (!application.Launch(width, height) || !application.Request({"--broadcast", "on"}))
            return Fail(state, "the application did not broadcast: " +
                                   (application.program ? application.program->ErrSoFar() : ""));
        FrameSink sink(animator);
        auto reader = Start({GstLaunch(), "-q", "vistrelsrc", "!", "fdsink", "fd=1", "sync=false"},
                            ClientEnvironment(application), sink.WriteEnd());
        sink.Start();
        std::vector<pid_t> companion = Family(application.program->Pid());
        companion.erase(companion.begin());
        Measure(state, animator, sink, {{application.program->Pid()}, companion, {reader->Pid()}},
                *reader);
        if (animator.Failed()) Fail(state, "the screen did not change");
    }
}

void BM_Gstreamer(benchmark::State& state, int width, int height) {
    for (auto _ : state) {
        Animator animator(width, height);
        const Application none; // only its environment
        const TempFolder folder;
        const std::string socket = folder / "frames";
        std::vector<std::string> writer = {GstLaunch(),
                                           "-q",
                                           "ximagesrc",
                                           "display-name=" + sDisplay,
                                           "startx=" + std::to_string(kLeft),
                                           "starty=" + std::to_string(kTop),
                                           "endx=" + std::to_string(kLeft + width - 1),
                                           "endy=" + std::to_string(kTop + height - 1),
                                           "use-damage=false",
                                           "show-pointer=false",
                                           "!",
                                           "video/x-raw,framerate=30/1"};
        if (width != kFrameWidth || height != kFrameHeight)
            writer.insert(writer.end(), {"!", "videoscale"});
        writer.insert(writer.end(),
                      {"!", "videoconvert", "!", "video/x-raw,format=ARGB,width=640,height=480",
                       "!", "shmsink", "socket-path=" + socket, "shm-size=20000000",
                       "wait-for-connection=false", "sync=false"});
        auto capture = Start(writer, ClientEnvironment(none));
        if (!Until([&] { return Exists(socket); }, 10))
            return Fail(state, "no shmsink: " + capture->ErrSoFar());
        FrameSink sink(animator);
        auto reader = Start({GstLaunch(), "-q", "shmsrc", "socket-path=" + socket, "is-live=true",
                             "!", "video/x-raw,format=ARGB,width=640,height=480,framerate=30/1",
                             "!", "fdsink", "fd=1", "sync=false"},
                            ClientEnvironment(none), sink.WriteEnd());
        sink.Start();
        Measure(state, animator, sink, {{capture->Pid()}, {}, {reader->Pid()}}, *reader);
        if (animator.Failed()) Fail(state, "the screen did not change");
    }
}

// The application with the broadcast off, the screen still: what its timer costs.
void BM_OursIdle(benchmark::State& state) {
    for (auto _ : state) {
        Application application;
        if (!application.Launch(kFrameWidth, kFrameHeight))
            return Fail(state, "the application did not start");
        Sleep(kWarmUpSeconds);
        const std::vector<pid_t> family = Family(application.program->Pid());
        const double cpu0 = Cpu(family), wall0 = Now();
        Sleep(kMeasuredSeconds);
        const double cpu1 = Cpu(family), wall1 = Now();
        state.SetIterationTime(wall1 - wall0);
        state.counters["idle_pct"] = (cpu1 - cpu0) / (wall1 - wall0) * 100;
    }
}

#define SIZES(name, function)                                                                      \
    BENCHMARK_CAPTURE(function, name##_640x480, 640, 480)                                          \
        ->UseManualTime()                                                                          \
        ->Iterations(1)                                                                            \
        ->Unit(benchmark::kSecond);                                                                \
    BENCHMARK_CAPTURE(function, name##_1280x720, 1280, 720)                                        \
        ->UseManualTime()                                                                          \
        ->Iterations(1)                                                                            \
        ->Unit(benchmark::kSecond);                                                                \
    BENCHMARK_CAPTURE(function, name##_1920x1080, 1920, 1080)                                      \
        ->UseManualTime()                                                                          \
        ->Iterations(1)                                                                            \
        ->Unit(benchmark::kSecond)

SIZES(ours, BM_Ours);
SIZES(gstreamer, BM_Gstreamer);
BENCHMARK(BM_OursIdle)->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 64;
    for (const char* program : {"Xvfb", "openbox", "gst-launch-1.0"})
        if (!XServer::Installed(program)) {
            std::fprintf(stderr, "broadcast_bench: %s is not installed\n", program);
            return 1;
        }
    auto server = XServer::Xvfb(kScreen);
    if (!server->Running() || !server->StartWindowManager("openbox")) {
        std::fprintf(stderr, "broadcast_bench: no Xvfb\n%s", server->Log().c_str());
        return 1;
    }
    sDisplay = server->Display();
    sScreenHeight = kScreen.height;
    sServers = {server->Pid()};
    if (!InstallDigitizer()) {
        std::fprintf(stderr, "broadcast_bench: cannot install the digitizer component\n");
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return sFailed ? 1 : 0;
}
