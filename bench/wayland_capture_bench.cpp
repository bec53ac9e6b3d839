// A 640 x 480 rectangle of a Wayland desktop, read through the compositor's screen copy and
// through XWayland's screen (what the X11 backend reads there, without the native windows), in
// the session the benchmark runs in: WAYLAND_DISPLAY and DISPLAY name the compositor and its
// XWayland. CPU is this process's only; Time is wall time per grab.
#include "platform/quartzdisplay/DisplayBackend.h"

#include <benchmark/benchmark.h>
#include <cstdio>
#include <cstdlib>

using namespace platform::coregraphics;

namespace {

const DisplayBackend* sWayland = nullptr;

void Grab(benchmark::State& state, bool wayland) {
    const DisplayBackend& backend = wayland ? *sWayland : X11DisplayBackend();
    const ScreenArea area{320, 120, 640, 480};
    for (auto _ : state) {
        CGImageRef image = backend.CreateImage({area, area});
        if (!image) {
            state.SkipWithError("no image");
            break;
        }
        CGImageRelease(image);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * 640 * 480 * 4);
}

BENCHMARK_CAPTURE(Grab, wayland_screen_copy, true)->MeasureProcessCPUTime()->UseRealTime();
BENCHMARK_CAPTURE(Grab, xwayland_x11, false)->MeasureProcessCPUTime()->UseRealTime();

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    std::string why;
    sWayland = WaylandDisplayBackend(why);
    if (!sWayland || !std::getenv("DISPLAY")) {
        std::fprintf(stderr,
                     "wayland_capture_bench: needs a screen-copy compositor and its "
                     "XWayland (%s)\n",
                     sWayland ? "DISPLAY is not set" : why.c_str());
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
