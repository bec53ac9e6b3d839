// A 640 x 480 rectangle of a display, grabbed through the shared-memory segment and through
// plain image requests, on a private Xvfb. CPU is this process's only (the server's own work is
// not counted); Time is wall time per grab.
#include "platform/quartzdisplay/CoreGraphicsDisplays.h"
#include "tests/support/TestSupport.h"
#include "tests/support/XServer.h"

#include <benchmark/benchmark.h>
#include <cstdio>
#include <cstdlib>

using namespace platform::coregraphics;

namespace {

constexpr testsupport::ScreenSize kScreen{1280, 1024};

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
