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
// runs the application and plug-in of another staged tree (a copy of an earlier build).
#include "bench/ProcessCpu.h"
#include "tests/support/TestSupport.h"
#include "tests/support/XServer.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>
#include <xcb/xcb.h>

using namespace testsupport;

namespace {

constexpr ScreenSize kScreen{2200, 1300};
constexpr int kLeft = 100, kTop = 100; // the grab area's top-left on the screen
constexpr int kGrabberBar = 18;        // the grabber's bars around its grab view
constexpr int kFrameWidth = 640, kFrameHeight = 480;
constexpr size_t kFrameBytes = size_t(kFrameWidth) * kFrameHeight * 4;
constexpr double kWarmUpSeconds = 3, kMeasuredSeconds = 8, kStaticSeconds = 6;
constexpr int kWakeRounds = 7;
constexpr double kWakeStillSeconds = 0.7;
// The probe: a square at the grab area's top-left whose colour numbers the screen's changes; it
// stays a square of one colour in every stretched frame.
constexpr int kProbe = 48, kProbeAt = 4, kSteps = 64;
constexpr int kStepMilliseconds = 20;

std::string sDisplay;
pid_t sServer = -1;
bool sFailed = false;

double Now() {
    timespec t{};
    ::clock_gettime(CLOCK_MONOTONIC, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

void Sleep(double seconds) {
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
}

// A path of the stage, or of the other stage named by VISTREL_BENCH_STAGE.
std::string Stage(const std::string& path) {
    const char* other = std::getenv("VISTREL_BENCH_STAGE");
    const std::string ours = StagePath("");
    return other && *other ? std::string(other) + "/" + path.substr(ours.size()) : path;
}

uint32_t ProbeColour(int step) {
    const auto level = [&](int shift) { return uint32_t(((step >> shift) & 3) * 64 + 32); };
    return level(4) << 16 | level(2) << 8 | level(0);
}

// The step an ARGB pixel shows.
int ProbeStep(const uint8_t* argb) {
    return (argb[1] / 64) << 4 | (argb[2] / 64) << 2 | argb[3] / 64;
}

// ---- the changing screen ----

// Changes the grab area about 50 times a second (a stripe moving over it, and the probe's next
// colour), noting when the server has drawn each step; paused, the screen stands still.
class Animator {
public:
    explicit Animator(int width, int height) : mWidth(width), mHeight(height) {
        mThread = std::thread([this] { Run(); });
    }
    ~Animator() {
        mRunning = false;
        mThread.join();
    }
    void Pause(bool paused) { mPaused = paused; }
    // When the step the probe shows was drawn; negative when it is not among the last steps.
    double DrawnAt(int step) const {
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

// ---- the reader's frames ----

// Reads the frames a reader writes to its standard output, noting for each change it shows how
// long after its drawing it arrived.
class FrameSink {
public:
    explicit FrameSink(const Animator& animator) : mAnimator(animator) {
        if (::pipe2(mPipe, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
    }
    ~FrameSink() {
        if (mPipe[1] >= 0) ::close(mPipe[1]);
        if (mThread.joinable()) mThread.join();
        ::close(mPipe[0]);
    }
    int WriteEnd() const { return mPipe[1]; }
    // After the reader is started with the write end: only the reader holds it now.
    void Start() {
        ::close(mPipe[1]);
        mPipe[1] = -1;
        mThread = std::thread([this] { Run(); });
    }
    void Measure(bool on) {
        const std::lock_guard<std::mutex> hold(mLock);
        mMeasuring = on;
    }
    std::vector<double> Latencies() const {
        const std::lock_guard<std::mutex> hold(mLock);
        return mLatencies;
    }
    long Frames() const {
        const std::lock_guard<std::mutex> hold(mLock);
        return mFrames;
    }
    bool Any() const { return mAny; }

private:
    void Run() {
        std::vector<uint8_t> frame(kFrameBytes);
        int last = -1;
        for (;;) {
            size_t got = 0;
            while (got < kFrameBytes) {
                const ssize_t n = ::read(mPipe[0], frame.data() + got, kFrameBytes - got);
                if (n < 0 && errno == EINTR) continue;
                if (n <= 0) return;
                got += size_t(n);
            }
            const double now = Now();
            mAny = true;
            const int step = ProbeStep(&frame[(size_t(kProbeAt) * kFrameWidth + kProbeAt) * 4]);
            const double drawn = mAnimator.DrawnAt(step);
            const std::lock_guard<std::mutex> hold(mLock);
            // A change seen for the first time, drawn within the last round of steps.
            const bool change =
                step != last && drawn > 0 && now - drawn < kSteps * kStepMilliseconds * 1e-3;
            last = step;
            if (!mMeasuring) continue;
            ++mFrames;
            if (change) mLatencies.push_back(now - drawn);
        }
    }

    const Animator& mAnimator;
    int mPipe[2] = {-1, -1};
    std::thread mThread;
    mutable std::mutex mLock;
    bool mMeasuring = false;
    std::atomic<bool> mAny{false};
    long mFrames = 0;
    std::vector<double> mLatencies;
};

// ---- the processes ----

std::unique_ptr<Child> Start(const std::vector<std::string>& argv,
                             const std::vector<std::string>& environment, int out = -1) {
    return std::make_unique<Child>([=] {
        if (out >= 0) ::dup2(out, 1);
        for (const std::string& setting : environment)
            ::putenv(::strdup(setting.c_str()));
        return Exec(argv);
    });
}

// A process and its children, by their parents in /proc.
std::vector<pid_t> Family(pid_t root) {
    std::vector<pid_t> family = {root};
    for (size_t i = 0; i < family.size(); ++i)
        for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
            const std::string stat = ReadFile(entry.path() / "stat");
            const size_t close = stat.rfind(')');
            if (close != std::string::npos && std::atoi(stat.c_str() + close + 4) == family[i])
                family.push_back(std::atoi(entry.path().filename().c_str()));
        }
    return family;
}

double Cpu(const std::vector<pid_t>& pids) {
    double total = 0;
    for (pid_t pid : pids)
        total += std::max(0.0, ProcessCpu(pid));
    return total;
}

struct Sample {
    double writer, companion, reader, server, wall;
};

// The companion: what the writer starts beside it (our PipeWire camera).
struct Roles {
    std::vector<pid_t> writer, companion, reader;
    Sample Take() const {
        return {Cpu(writer), Cpu(companion), Cpu(reader), Cpu({sServer}), Now()};
    }
};

void Fail(benchmark::State& state, const std::string& why) {
    sFailed = true;
    state.SkipWithError(why.c_str());
}

bool Until(const std::function<bool()>& done, double seconds) {
    for (const double end = Now() + seconds; Now() < end; Sleep(0.05))
        if (done()) return true;
    return done();
}

// The changing screen, then the still one; the figures as the case's counters.
void Measure(benchmark::State& state, Animator& animator, FrameSink& sink, const Roles& roles,
             const Child& reader) {
    if (!Until([&] { return sink.Any(); }, 20))
        return Fail(state, "the reader got no frame: " + reader.ErrSoFar());
    Sleep(kWarmUpSeconds);
    sink.Measure(true);
    const Sample a = roles.Take();
    Sleep(kMeasuredSeconds);
    const Sample b = roles.Take();
    sink.Measure(false);
    const size_t measured = sink.Latencies().size();
    animator.Pause(true);
    Sleep(1.5);
    const Sample c = roles.Take();
    Sleep(kStaticSeconds);
    const Sample d = roles.Take();
    // The first change after a still spell, each time: what a writer that sleeps while the
    // screen stands still adds to it.
    std::vector<double> wakes;
    for (int round = 0; round < kWakeRounds; ++round) {
        const size_t seen = sink.Latencies().size();
        sink.Measure(true);
        animator.Pause(false);
        Until([&] { return sink.Latencies().size() > seen; }, 2);
        animator.Pause(true);
        sink.Measure(false);
        if (sink.Latencies().size() > seen) wakes.push_back(sink.Latencies()[seen]);
        Sleep(kWakeStillSeconds);
    }
    animator.Pause(false);

    const double frames = (b.wall - a.wall) * 30;
    const auto perFrame = [&](double from, double to) {
        return benchmark::Counter((to - from) / frames * 1e3);
    };
    state.SetIterationTime(b.wall - a.wall);
    state.counters["writer_ms"] = perFrame(a.writer, b.writer);
    state.counters["comp_ms"] = perFrame(a.companion, b.companion);
    state.counters["reader_ms"] = perFrame(a.reader, b.reader);
    state.counters["xserver_ms"] = perFrame(a.server, b.server);
    state.counters["fps"] = benchmark::Counter(double(sink.Frames()) / (b.wall - a.wall));
    std::vector<double> latencies = sink.Latencies();
    latencies.resize(std::min(latencies.size(), measured));
    if (latencies.empty() || wakes.empty()) return Fail(state, "no change reached the reader");
    std::sort(latencies.begin(), latencies.end());
    state.counters["lat_min_ms"] = latencies.front() * 1e3;
    state.counters["lat_med_ms"] = latencies[latencies.size() / 2] * 1e3;
    state.counters["lat_max_ms"] = latencies.back() * 1e3;
    std::sort(wakes.begin(), wakes.end());
    state.counters["wake_med_ms"] = wakes[wakes.size() / 2] * 1e3;
    state.counters["wake_max_ms"] = wakes.back() * 1e3;
    const double still = d.wall - c.wall;
    state.counters["still_w_pct"] = (d.writer - c.writer) / still * 100;
    state.counters["still_c_pct"] = (d.companion - c.companion) / still * 100;
    state.counters["still_r_pct"] = (d.reader - c.reader) / still * 100;
    state.counters["still_x_pct"] = (d.server - c.server) / still * 100;
}

// The application with one user's home, its grabber's grab view over the grab area.
struct Application {
    TempFolder home;
    std::unique_ptr<Child> program;

    ~Application() {
        if (program) program->Stop();
    }
    std::vector<std::string> Environment() const {
        return {"DISPLAY=" + sDisplay,
                "QT_QPA_PLATFORM=xcb",
                "HOME=" + home.Path(),
                "XDG_CONFIG_HOME=" + home / ".config",
                "XDG_RUNTIME_DIR=" + home.Path(),
                "DBUS_SESSION_BUS_ADDRESS="};
    }
    // Started with the broadcast off; true once it answers a later launch.
    bool Launch(int width, int height) {
        std::filesystem::create_directories(home / ".config");
        // Frames are kept y-up from the main display's bottom-left.
        const int frameHeight = height + 2 * kGrabberBar;
        WriteFile(home / ".config/com.tarnwick.Vistrel.conf",
                  "[Strings]\nNSWindow%20Frame%20Vistrel=" + std::to_string(kLeft - kGrabberBar) +
                      " " + std::to_string(kScreen.height - (kTop - kGrabberBar) - frameHeight) +
                      " " + std::to_string(width + 2 * kGrabberBar) + " " +
                      std::to_string(frameHeight) + "\n");
        program = Start({Stage(StagePath("bin/vistrel"))}, Environment());
        // A request before it listens would start a copy of its own.
        const auto listening = [&] {
            for (const auto& entry : std::filesystem::directory_iterator(home.Path()))
                if (entry.is_socket()) return true;
            return false;
        };
        return Until(listening, 20) && Request({"--broadcast", "off"});
    }
    bool Request(const std::vector<std::string>& arguments) const {
        std::vector<std::string> argv = {Stage(StagePath("bin/vistrel"))};
        argv.insert(argv.end(), arguments.begin(), arguments.end());
        return RunProcess(argv, Environment()).exitCode == 0;
    }
};

// GStreamer with our plug-in, in the application's environment (where it installs the camera).
std::vector<std::string> ClientEnvironment(const Application& application) {
    static const TempFolder registry;
    std::vector<std::string> environment = application.Environment();
    environment.insert(environment.end(),
                       {"GST_PLUGIN_PATH=" + Stage(StageLibPath("gstreamer-1.0")),
                        "GST_REGISTRY=" + registry / "registry.bin"});
    return environment;
}

std::string GstLaunch() {
    return XServer::ProgramPath("gst-launch-1.0");
}

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

// The digitizer vistrelsrc reads through, installed for this user as an installed Vistrel has it.
bool InstallDigitizer() {
    const char* data = std::getenv("XDG_DATA_HOME");
    const std::string folder =
        (data && *data ? std::string(data) : std::string(std::getenv("HOME")) + "/.local/share") +
        "/vistrel/components";
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    std::filesystem::create_symlink(
        std::filesystem::canonical(Stage(StageLibPath("vistrel/VistrelXXX.component")), error),
        folder + "/VistrelXXX.component", error);
    return !error;
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
    sServer = server->Pid();
    if (!InstallDigitizer()) {
        std::fprintf(stderr, "broadcast_bench: cannot install the digitizer component\n");
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return sFailed ? 1 : 0;
}
