// A 640 x 480 rectangle of a display, grabbed through the shared-memory segment and through
// plain image requests, on a private Xvfb; and camera frames as the broadcast makes them, into an
// A, R, G, B frame of a shared file mapping: the server writing the frame in place, or an image
// of the grab drawn into it (copied 1:1, shrunk or stretched). CPU is this process's only (the
// server's own work is not counted); Time is wall time per grab.
#include "platform/quartzdisplay/CoreGraphicsDisplays.h"
#include "tests/support/TestSupport.h"
#include "tests/support/XServer.h"

#include <benchmark/benchmark.h>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

using namespace platform::coregraphics;

namespace {

constexpr testsupport::ScreenSize kScreen{1920, 1080};

void Grab(benchmark::State& state, const char* noShm) {
    testsupport::ScopedEnv path("VISTREL_X11_NO_SHM", noShm);
    const CGDirectDisplayID main = CGMainDisplayID();
    const CGRect rect = CGRectMake(320, 272, 640, 480);
    for (auto _ : state) {
        CGImageRef image = CGDisplayCreateImageForRect(main, rect);
        if (!image) {
            state.SkipWithError("no image");
            break;
        }
        CGImageRelease(image);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * 640 * 480 * 4);
}

// The display lookup every grab makes (one round trip to the server), for scale.
void DisplayBounds(benchmark::State& state) {
    const CGDirectDisplayID main = CGMainDisplayID();
    for (auto _ : state)
        benchmark::DoNotOptimize(CGDisplayBounds(main));
}

// A camera frame at the channel's first buffer offset of a file in $TMPDIR, mapped shared.
struct CameraFrame {
    uint8_t* file = nullptr;
    CGContextRef context = nullptr;

    // Kept at its path while mapped: the server attaches only a file it can open there.
    char path[32] = "/tmp/capture-bench-XXXXXX";

    CameraFrame() {
        const int fd = ::mkstemp(path);
        if (fd < 0) return;
        void* mapped = MAP_FAILED;
        if (::ftruncate(fd, 2460672) == 0)
            mapped = ::mmap(nullptr, 2460672, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
        ::close(fd);
        if (mapped == MAP_FAILED) return;
        file = static_cast<uint8_t*>(mapped);
        CGColorSpaceRef space = CGColorSpaceCreateDeviceRGB();
        context = CGBitmapContextCreate(file + 1024, 640, 480, 8, 2560, space,
                                        kCGImageAlphaPremultipliedFirst);
        CGColorSpaceRelease(space);
        CGContextSetInterpolationQuality(context, kCGInterpolationHigh);
    }
    ~CameraFrame() {
        CGContextRelease(context);
        if (file) ::munmap(file, 2460672);
        ::unlink(path);
    }
};

void Frame(benchmark::State& state, CGRect rect, bool inPlace) {
    CameraFrame frame;
    for (auto _ : state) {
        if (inPlace && CGWindowListDrawImageInPlace(rect, frame.context)) continue;
        CGImageRef image = inPlace
                               ? nullptr
                               : CGWindowListCreateImage(rect, kCGWindowListOptionOnScreenOnly,
                                                         kCGNullWindowID, kCGWindowImageDefault);
        if (!image) {
            state.SkipWithError(inPlace ? "not in place" : "no image");
            break;
        }
        CGContextDrawImage(frame.context, CGRectMake(0, 0, 640, 480), image);
        CGImageRelease(image);
    }
}

BENCHMARK_CAPTURE(Frame, 640x480_copied, CGRectMake(320, 272, 640, 480), false)
    ->MeasureProcessCPUTime()
    ->UseRealTime();
BENCHMARK_CAPTURE(Frame, 640x480_in_place, CGRectMake(320, 272, 640, 480), true)
    ->MeasureProcessCPUTime()
    ->UseRealTime();
BENCHMARK_CAPTURE(Frame, 320x240_stretched, CGRectMake(320, 272, 320, 240), false)
    ->MeasureProcessCPUTime()
    ->UseRealTime();
BENCHMARK_CAPTURE(Frame, 1280x720_shrunk, CGRectMake(0, 0, 1280, 720), false)
    ->MeasureProcessCPUTime()
    ->UseRealTime();
BENCHMARK_CAPTURE(Frame, 1920x1080_shrunk, CGRectMake(0, 0, 1920, 1080), false)
    ->MeasureProcessCPUTime()
    ->UseRealTime();
BENCHMARK(DisplayBounds)->MeasureProcessCPUTime()->UseRealTime();
BENCHMARK_CAPTURE(Grab, shared_memory, "0")->MeasureProcessCPUTime()->UseRealTime();
BENCHMARK_CAPTURE(Grab, get_image, "1")->MeasureProcessCPUTime()->UseRealTime();

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (!testsupport::XServer::Installed("Xvfb")) {
        std::fprintf(stderr, "capture_bench: Xvfb is not installed\n");
        return 1;
    }
    // Started before the first display call, which opens the connection to $DISPLAY.
    auto server = testsupport::XServer::Xvfb(kScreen);
    if (!server->Running() ||
        !testsupport::PutRootPixels(server->Display(), 0, 0, kScreen.width, kScreen.height,
                                    testsupport::TestPattern(kScreen.width, kScreen.height, 1))) {
        std::fprintf(stderr, "capture_bench: no Xvfb\n%s", server->Log().c_str());
        return 1;
    }
    ::setenv("DISPLAY", server->Display().c_str(), 1);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
