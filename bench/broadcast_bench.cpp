// One broadcast frame, paced at 30 frames a second on a private 1920 x 1080 Xvfb whose content
// keeps changing: our pieces (grab the grabber rectangle, then the application's frame writer
// draws it into the 640 x 480 camera frame and publishes it) beside two other capturing programs
// run as real processes on the same server. Every figure is the steady CPU per frame of the
// capturing process alone; the X server's own work is the same for all and is not counted. Beside
// them: the older systems' read-back tick, and the timer alone (the broadcast off). Our frames also
// count the process's allocations and page faults.
//
// Run through run_bench.sh (the channel's names are fixed): run_broadcast_bench.
#include "bench/ProcessCpu.h"
#include "channel/CFBaseDLL.h"
#include "channel/SharedCameraBundle.h"
#include "channel/SharedCameraDrawingWriter.h"
#include "channel/SharedCameraFormat.h"
#include "core/CoreLogIdentity.h"
#include "pixels/OpenGL_ReadPixels.h"
#include "platform/cgl/CGL.h"
#include "platform/coregraphics/CoreGraphics.h"
#include "platform/quartzdisplay/CoreGraphicsDisplays.h"
#include "tests/support/TestSupport.h"
#include "tests/support/XServer.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>
#include <xcb/xcb.h>

CORE_DEFINE_LOG_IDENTITY("broadcast-bench", "broadcast-bench.log");

SharedCameraBundle SharedCameraBundle::sComponent(SharedCameraBundle::kVistrelX64);

// Every allocation of the process is counted, so that a frame's allocations can be reported.
// The sanitizers bring their own allocator, and then nothing is counted.
#if !defined(__SANITIZE_ADDRESS__)
namespace {
std::atomic<uint64_t> sAllocations{0};
}
extern "C" {
void* __libc_malloc(size_t);
void* __libc_calloc(size_t, size_t);
void* __libc_realloc(void*, size_t);
void* malloc(size_t size) {
    sAllocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_malloc(size);
}
void* calloc(size_t count, size_t size) {
    sAllocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_calloc(count, size);
}
void* realloc(void* old, size_t size) {
    sAllocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_realloc(old, size);
}
}
uint64_t Allocations() {
    return sAllocations.load(std::memory_order_relaxed);
}
#else
uint64_t Allocations() {
    return 0;
}
#endif

using namespace platform::coregraphics;

namespace {

constexpr testsupport::ScreenSize kScreen{1920, 1080};
constexpr int kLeft = 100, kTop = 100; // the grabber rectangle's top-left on the screen
constexpr long kFrameNanoseconds = 1000000000L / 30;
constexpr int kWarmUpFrames = 30;
constexpr int kMeasuredFrames = 240;
constexpr double kAnchorWarmUpSeconds = 2, kAnchorSeconds = 8;

std::string sDisplay;
bool sFailed = false;

void Fail(benchmark::State& state, const std::string& why) {
    sFailed = true;
    state.SkipWithError(why.c_str());
}

// ---- pacing ----

double Seconds(clockid_t clock) {
    timespec t{};
    ::clock_gettime(clock, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

// Sleeps until the next frame's tick, one frame period after the last one.
void WaitForTick(timespec& tick) {
    tick.tv_nsec += kFrameNanoseconds;
    if (tick.tv_nsec >= 1000000000L) {
        tick.tv_nsec -= 1000000000L;
        ++tick.tv_sec;
    }
    while (::clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &tick, nullptr) == EINTR) {
    }
}

// ---- the changing screen ----

// Moving coloured stripes over the whole root window, redrawn about 50 times a second by a
// process of its own, so that every grab finds new pixels (and no damage tracking can skip one).
pid_t StartAnimator(const std::string& display) {
    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid != 0) return pid;
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (::getppid() != parent) ::_exit(1);
    xcb_connection_t* c = xcb_connect(display.c_str(), nullptr);
    if (xcb_connection_has_error(c)) ::_exit(1);
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    const xcb_gcontext_t gc = xcb_generate_id(c);
    xcb_create_gc(c, gc, screen->root, 0, nullptr);
    constexpr int kStripes = 24;
    const int stripe = kScreen.width / kStripes;
    for (uint32_t step = 0;; ++step) {
        for (int i = 0; i < kStripes; ++i) {
            const uint32_t colour = (step * 0x030507u + uint32_t(i) * 0x2B1F0Du) & 0xFFFFFFu;
            xcb_change_gc(c, gc, XCB_GC_FOREGROUND, &colour);
            const xcb_rectangle_t r{int16_t((i * stripe + int(step) * 7) % kScreen.width), 0,
                                    uint16_t(stripe), uint16_t(kScreen.height)};
            xcb_poly_fill_rectangle(c, screen->root, gc, 1, &r);
        }
        // Waits until the server has drawn, so that requests never pile up.
        xcb_get_input_focus_reply_t* reply =
            xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr);
        if (!reply) ::_exit(0);
        std::free(reply);
        ::usleep(20000);
    }
}

// ---- our pieces chained ----

SharedCameraBundle& Camera() {
    return SharedCameraBundle::sComponent;
}

// The application's frame writer, opened once for the run as a broadcast opens it.
SharedCameraDrawingWriter& Writer() {
    static SharedCameraDrawingWriter writer(Camera());
    return writer;
}

// One broadcast frame; false when a piece failed.
bool BroadcastFrame(CGRect rect) {
    CGImageRef image = CGWindowListCreateImage(rect, kCGWindowListOptionOnScreenOnly,
                                               kCGNullWindowID, kCGWindowImageDefault);
    if (!image) return false;
    const auto result = Writer().WriteImage(image);
    CGImageRelease(image);
    return result != SharedCameraFrameWriter::Result::kFailed;
}

long PageFaults() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_minflt + usage.ru_majflt;
}

// Warms up, then runs the measured frames at 30 a second; CPU is the process's, so every thread
// counts, and Time is the frame period.
template <typename Frame> void Paced(benchmark::State& state, Frame frame) {
    timespec next{};
    ::clock_gettime(CLOCK_MONOTONIC, &next);
    for (int i = 0; i < kWarmUpFrames; ++i) {
        WaitForTick(next);
        if (!frame()) return Fail(state, "a broadcast frame failed");
    }
    const uint64_t allocationsBefore = Allocations();
    const long faultsBefore = PageFaults();
    for (auto _ : state) {
        WaitForTick(next);
        if (!frame()) return Fail(state, "a broadcast frame failed");
    }
    const double frames = double(state.iterations());
    state.counters["allocs_per_frame"] =
        benchmark::Counter(double(Allocations() - allocationsBefore) / frames);
    state.counters["faults_per_frame"] =
        benchmark::Counter(double(PageFaults() - faultsBefore) / frames);
}

void BM_OurPiecesChained(benchmark::State& state, int width, int height) {
    const CGRect rect = CGRectMake(kLeft, kTop, width, height);
    Paced(state, [&] { return BroadcastFrame(rect); });
}

// The older systems' tick: the front buffer read back into the camera frame, turned over and
// swizzled in place.
void BM_ReadBackChained(benchmark::State& state) {
    using namespace platform::cgl;
    const CGLPixelFormatAttribute attributes[] = {
        kCGLPFAFullScreen, kCGLPFADisplayMask,
        CGLPixelFormatAttribute(CGDisplayIDToOpenGLDisplayMask(CGMainDisplayID())), 0};
    CGLPixelFormatObj format = nullptr;
    GLint formats = 0;
    CGLContextObj context = nullptr;
    if (CGLChoosePixelFormat(attributes, &format, &formats) != kCGLNoError ||
        CGLCreateContext(format, nullptr, &context) != kCGLNoError)
        return Fail(state, "no read-back context");
    CGLDestroyPixelFormat(format);
    CGLSetCurrentContext(context);
    CGLSetFullScreen(context);
    glReadBuffer(GL_FRONT);
    const GLint bottom = GLint(CGDisplayPixelsHigh(CGMainDisplayID())) - kTop - 480;
    Paced(state, [&] {
        const auto result = Writer().Write([bottom](int, const tagSHARED_CAMERA_BUFFER& record) {
            glReadPixels(kLeft, bottom, 640, 480, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV,
                         record.frameBufferPtr);
            OpenGL::ReadPixels::_swizzle_framebuffer_GL_BGRA_to_ARGB(
                record.frameBufferPtr, 480, SharedCamera::kFrameRowBytes, true, false);
        });
        return result != SharedCameraFrameWriter::Result::kFailed && glGetError() == GL_NO_ERROR;
    });
    CGLDestroyContext(context);
}

// The timer alone, for scale: what pacing costs with the broadcast off.
void BM_TimerOnly(benchmark::State& state) {
    timespec next{};
    ::clock_gettime(CLOCK_MONOTONIC, &next);
    for (auto _ : state)
        WaitForTick(next);
}

// ---- the other programs, as processes ----

bool Alive(pid_t pid) {
    int status = 0;
    return ::waitpid(pid, &status, WNOHANG) == 0;
}

void SleepSeconds(double seconds) {
    timespec t{time_t(seconds), long((seconds - double(time_t(seconds))) * 1e9)};
    while (::nanosleep(&t, &t) == EINTR) {
    }
}

// Runs the program for the warm-up and the measured time; the CPU per frame is the CPU of the
// measured time over the frames a 30-per-second program makes in it.
void Anchor(benchmark::State& state, std::vector<std::string> argv) {
    for (auto _ : state) {
        const std::string log = "/tmp/broadcast-bench-anchor.log";
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::prctl(PR_SET_PDEATHSIG, SIGKILL);
            const int out = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            ::dup2(out, 1);
            ::dup2(out, 2);
            testsupport::Exec(argv);
            ::_exit(127);
        }
        SleepSeconds(kAnchorWarmUpSeconds);
        const double cpu0 = ProcessCpu(pid), wall0 = Seconds(CLOCK_MONOTONIC);
        SleepSeconds(kAnchorSeconds);
        const double cpu1 = ProcessCpu(pid), wall1 = Seconds(CLOCK_MONOTONIC);
        const bool ran = Alive(pid) && cpu0 >= 0 && cpu1 >= cpu0;
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
        if (!ran) return Fail(state, argv[0] + " did not run: " + testsupport::ReadFile(log));
        const double frames = (wall1 - wall0) * 30;
        state.SetIterationTime(wall1 - wall0);
        state.counters["cpu_ms_per_frame"] = benchmark::Counter((cpu1 - cpu0) / frames * 1e3);
    }
}

std::vector<std::string> Ffmpeg(int width, int height) {
    std::vector<std::string> argv = {testsupport::XServer::ProgramPath("ffmpeg"),
                                     "-nostdin",
                                     "-loglevel",
                                     "error",
                                     "-f",
                                     "x11grab",
                                     "-framerate",
                                     "30",
                                     "-video_size",
                                     std::to_string(width) + "x" + std::to_string(height),
                                     "-i",
                                     sDisplay + "+" + std::to_string(kLeft) + "," +
                                         std::to_string(kTop)};
    if (width != 640 || height != 480) argv.insert(argv.end(), {"-vf", "scale=640:480"});
    argv.insert(argv.end(), {"-f", "null", "-"});
    return argv;
}

// ximagesrc follows the screen's damage by default; with content that changes everywhere every
// frame, that only adds work, so it is also run without.
std::vector<std::string> Gstreamer(int width, int height, bool damage) {
    std::vector<std::string> argv = {testsupport::XServer::ProgramPath("gst-launch-1.0"),
                                     "-q",
                                     "ximagesrc",
                                     "display-name=" + sDisplay,
                                     "startx=" + std::to_string(kLeft),
                                     "starty=" + std::to_string(kTop),
                                     "endx=" + std::to_string(kLeft + width - 1),
                                     "endy=" + std::to_string(kTop + height - 1),
                                     damage ? "use-damage=true" : "use-damage=false",
                                     "!",
                                     "video/x-raw,framerate=30/1",
                                     "!",
                                     "videoconvert"};
    if (width != 640 || height != 480) argv.insert(argv.end(), {"!", "videoscale"});
    argv.insert(argv.end(), {"!", "video/x-raw,width=640,height=480", "!", "fakesink"});
    return argv;
}

void BM_Ffmpeg(benchmark::State& state, int width, int height) {
    Anchor(state, Ffmpeg(width, height));
}

void BM_Gstreamer(benchmark::State& state, int width, int height) {
    Anchor(state, Gstreamer(width, height, true));
}

void BM_GstreamerNoDamage(benchmark::State& state, int width, int height) {
    Anchor(state, Gstreamer(width, height, false));
}

#define FRAME_CASES(name, function, ...)                                                           \
    BENCHMARK_CAPTURE(function, name##_640x480, 640, 480)->__VA_ARGS__;                            \
    BENCHMARK_CAPTURE(function, name##_1280x720_to_640x480, 1280, 720)->__VA_ARGS__

FRAME_CASES(ours, BM_OurPiecesChained,
            MeasureProcessCPUTime()
                ->UseRealTime()
                ->Iterations(kMeasuredFrames)
                ->Unit(benchmark::kMillisecond));
FRAME_CASES(ffmpeg_x11grab, BM_Ffmpeg, UseManualTime()->Iterations(1)->Unit(benchmark::kSecond));
FRAME_CASES(gstreamer_ximagesrc, BM_Gstreamer,
            UseManualTime()->Iterations(1)->Unit(benchmark::kSecond));
FRAME_CASES(gstreamer_ximagesrc_no_damage, BM_GstreamerNoDamage,
            UseManualTime()->Iterations(1)->Unit(benchmark::kSecond));
BENCHMARK(BM_ReadBackChained)
    ->MeasureProcessCPUTime()
    ->UseRealTime()
    ->Iterations(kMeasuredFrames)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TimerOnly)
    ->MeasureProcessCPUTime()
    ->UseRealTime()
    ->Iterations(kMeasuredFrames)
    ->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 64;
    for (const char* program : {"Xvfb", "ffmpeg", "gst-launch-1.0"})
        if (!testsupport::XServer::Installed(program)) {
            std::fprintf(stderr, "broadcast_bench: %s is not installed\n", program);
            return 1;
        }
    auto server = testsupport::XServer::Xvfb(kScreen);
    if (!server->Running()) {
        std::fprintf(stderr, "broadcast_bench: no Xvfb\n%s", server->Log().c_str());
        return 1;
    }
    sDisplay = server->Display();
    const pid_t animator = StartAnimator(sDisplay);
    // Before the first display call, which opens the connection to $DISPLAY.
    ::setenv("DISPLAY", sDisplay.c_str(), 1);

    SharedCameraBundle& camera = Camera();
    const bool installed = camera.InstallLocation(true, CFBaseDLL::kUserQuickTime);
    tagSHARED_CAMERA_CONTROL control{sizeof control, 1, 0};
    if (!installed || !camera.SetCameraControl(&control) || !Writer().Open()) {
        std::fprintf(stderr, "broadcast_bench: cannot reach the camera component %s\n",
                     camera.FileName().c_str());
        if (installed) camera.InstallLocation(false, CFBaseDLL::kUserQuickTime);
        ::kill(animator, SIGTERM);
        return 2;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    Writer().Close();
    camera.InstallLocation(false, CFBaseDLL::kUserQuickTime);
    ::kill(animator, SIGTERM);
    ::waitpid(animator, nullptr, 0);
    return sFailed ? 1 : 0;
}
