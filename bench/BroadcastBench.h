#pragma once

// What the broadcast benchmarks share: the application broadcasting its grabber's rectangle, read
// by `vistrelsrc` into this program through a pipe, over a screen whose changes number
// themselves with the probe colours; CPU of every process from /proc, the latency from a change's
// drawing to the reader's frame, and the still screen's cost.
#include "bench/ProbeColour.h"
#include "bench/ProcessCpu.h"
#include "tests/support/TestSupport.h"
#include "tests/support/XServer.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
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

namespace broadcastbench {

using namespace testsupport;

constexpr int kLeft = 100, kTop = 100; // the grab area's top-left on the screen
constexpr int kGrabberBar = 18;        // the grabber's bars around its grab view
constexpr int kFrameWidth = 640, kFrameHeight = 480;
constexpr size_t kFrameBytes = size_t(kFrameWidth) * kFrameHeight * 4;
constexpr double kWarmUpSeconds = 3, kMeasuredSeconds = 8, kStaticSeconds = 6;
constexpr int kWakeRounds = 7;
constexpr double kWakeStillSeconds = 0.7;
// The probe: a square at the grab area's top-left whose colour numbers the screen's changes; it
// stays a square of one colour in every stretched frame.
constexpr int kProbe = 48, kProbeAt = 4, kSteps = kProbeSteps;
constexpr int kStepMilliseconds = 20;

// The X server the application runs on, the processes that draw the screen, and the main
// display's height (frames are placed y-up from its bottom-left); set by each benchmark's main.
inline std::string sDisplay;
inline std::vector<pid_t> sServers;
inline int sScreenHeight = 0;
// Settings the application and the reader also get (a Wayland session's).
inline std::vector<std::string> sSession;
inline bool sFailed = false;

inline double Now() {
    timespec t{};
    ::clock_gettime(CLOCK_MONOTONIC, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

inline void Sleep(double seconds) {
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
}

// A path of the stage, or of the other stage named by VISTREL_BENCH_STAGE.
inline std::string Stage(const std::string& path) {
    const char* other = std::getenv("VISTREL_BENCH_STAGE");
    const std::string ours = StagePath("");
    return other && *other ? std::string(other) + "/" + path.substr(ours.size()) : path;
}

// What changes the screen: each step drawn in its probe colour, noting when it was drawn.
class Changes {
public:
    virtual ~Changes() = default;
    virtual void Pause(bool paused) = 0;
    // When the step the probe shows was drawn; negative when it is not among the last steps.
    virtual double DrawnAt(int step) const = 0;
};

// ---- the reader's frames ----

// Reads the frames a reader writes to its standard output, noting for each change it shows how
// long after its drawing it arrived.
class FrameSink {
public:
    explicit FrameSink(const Changes& animator) : mAnimator(animator) {
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

    const Changes& mAnimator;
    int mPipe[2] = {-1, -1};
    std::thread mThread;
    mutable std::mutex mLock;
    bool mMeasuring = false;
    std::atomic<bool> mAny{false};
    long mFrames = 0;
    std::vector<double> mLatencies;
};

// ---- the processes ----

// A process and its children, by their parents in /proc.
inline std::vector<pid_t> Family(pid_t root) {
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

inline double Cpu(const std::vector<pid_t>& pids) {
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
    Sample Take() const { return {Cpu(writer), Cpu(companion), Cpu(reader), Cpu(sServers), Now()}; }
};

inline void Fail(benchmark::State& state, const std::string& why) {
    sFailed = true;
    state.SkipWithError(why.c_str());
}

inline bool Until(const std::function<bool()>& done, double seconds) {
    for (const double end = Now() + seconds; Now() < end; Sleep(0.05))
        if (done()) return true;
    return done();
}

// The changing screen, then the still one; the figures as the case's counters.
inline void Measure(benchmark::State& state, Changes& animator, FrameSink& sink, const Roles& roles,
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
        std::vector<std::string> environment = {"DISPLAY=" + sDisplay,
                                                "QT_QPA_PLATFORM=xcb",
                                                "HOME=" + home.Path(),
                                                "XDG_CONFIG_HOME=" + home / ".config",
                                                "XDG_RUNTIME_DIR=" + home.Path(),
                                                "DBUS_SESSION_BUS_ADDRESS="};
        environment.insert(environment.end(), sSession.begin(), sSession.end());
        return environment;
    }
    // Started with the broadcast off; true once it answers a later launch.
    bool Launch(int width, int height) {
        std::filesystem::create_directories(home / ".config");
        // Frames are kept y-up from the main display's bottom-left.
        const int frameHeight = height + 2 * kGrabberBar;
        WriteFile(home / ".config/com.tarnwick.Vistrel.conf",
                  "[Strings]\nNSWindow%20Frame%20Vistrel=" + std::to_string(kLeft - kGrabberBar) +
                      " " + std::to_string(sScreenHeight - (kTop - kGrabberBar) - frameHeight) +
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
inline std::vector<std::string> ClientEnvironment(const Application& application) {
    static const TempFolder registry;
    std::vector<std::string> environment = application.Environment();
    environment.insert(environment.end(),
                       {"GST_PLUGIN_PATH=" + Stage(StageLibPath("gstreamer-1.0")),
                        "GST_REGISTRY=" + registry / "registry.bin"});
    return environment;
}

inline std::string GstLaunch() {
    return XServer::ProgramPath("gst-launch-1.0");
}

// The digitizer vistrelsrc reads through, installed for this user as an installed Vistrel has it.
inline bool InstallDigitizer() {
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

} // namespace broadcastbench
