// The frei0r source as a host drives it: f0r_update in a loop while vistrel-channel publishes at
// 30 frames a second in another process. Frames per second and CPU per frame of this process,
// and the time the filter holds a frame buffer's lock. The lock is timed by the test component
// LookpaneXXX, which the plug-in prefers and which forwards every call to VistrelX64.
#include "tests/plugin/LookpaneTestFrames.h"
#include "tests/support/TestSupport.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <climits>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern "C" {
#include <frei0r.h>
}

namespace {

namespace fs = std::filesystem;

using testsupport::StageLibPath;
using testsupport::StagePath;

std::string UserFolder(const std::string& sub) {
    return std::string(std::getenv("XDG_DATA_HOME")) + "/vistrel/" + sub;
}

void Link(const std::string& target, const std::string& link) {
    fs::create_directories(fs::path(link).parent_path());
    fs::remove(link);
    fs::create_directory_symlink(fs::canonical(target), link);
}

// The frei0r interface of the source, loaded as ffmpeg loads it.
struct Source {
    void* handle = nullptr;
    decltype(&f0r_init) init = nullptr;
    decltype(&f0r_construct) construct = nullptr;
    decltype(&f0r_destruct) destruct = nullptr;
    decltype(&f0r_update) update = nullptr;

    bool Load() {
        handle = ::dlopen(StagePath("lib/frei0r-1/cilookpaneinput.so").c_str(), RTLD_NOW);
        if (!handle) return false;
        init = reinterpret_cast<decltype(init)>(::dlsym(handle, "f0r_init"));
        construct = reinterpret_cast<decltype(construct)>(::dlsym(handle, "f0r_construct"));
        destruct = reinterpret_cast<decltype(destruct)>(::dlsym(handle, "f0r_destruct"));
        update = reinterpret_cast<decltype(update)>(::dlsym(handle, "f0r_update"));
        return init && construct && destruct && update && init();
    }
};

// Null when the stage has no source.
Source* TheSource() {
    static Source source;
    static const bool loaded = source.Load();
    return loaded ? &source : nullptr;
}

lookpane_test::LockStats LockStats() {
    void* component = ::dlopen(LOOKPANE_TEST_OBJECT, RTLD_NOW | RTLD_NOLOAD);
    if (!component) return {};
    auto stats =
        reinterpret_cast<lookpane_test::LockStatsFn>(::dlsym(component, "LookpaneTest_LockStats"));
    ::dlclose(component);
    return stats ? stats() : lookpane_test::LockStats{};
}

// The pattern's frame counter in an R, G, B, A frame 640 pixels wide.
uint32_t Counter(const uint8_t* frame) {
    uint32_t counter = 0;
    for (int bit = 0; bit < 32; ++bit)
        counter = counter << 1 | (frame[(8 * 640 + bit * 20 + 10) * 4] >= 0x80 ? 1 : 0);
    return counter;
}

// A broadcast at 30 frames a second, stopped at destruction; it never outlives the benchmark.
class Writer {
public:
    Writer()
        : mTool([] {
              ::prctl(PR_SET_PDEATHSIG, SIGTERM);
              return testsupport::Exec(
                  {StagePath("bin/vistrel-channel"), "publish", "--fps", "30"});
          }) {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
    }
    ~Writer() { mTool.Stop(); }

private:
    testsupport::Child mTool;
};

void BM_Frei0rSourceUpdate(benchmark::State& state) {
    const unsigned width = unsigned(state.range(0)), height = unsigned(state.range(1));
    Source* source = TheSource();
    if (!source) {
        state.SkipWithError("cannot load the frei0r source from the stage");
        return;
    }
    Writer writer;
    f0r_instance_t instance = source->construct(width, height);
    if (!instance) {
        state.SkipWithError("the CILookpaneInput filter is not installed");
        return;
    }
    // The heap gives 16-byte alignment, as frei0r asks of a host.
    std::vector<uint32_t> frame(size_t(width) * height);
    const lookpane_test::LockStats before = LockStats();
    uint32_t previous = UINT32_MAX;
    int64_t fresh = 0;
    double time = 0;
    for (auto _ : state) {
        source->update(instance, time += 1.0 / 30, nullptr, frame.data());
        benchmark::DoNotOptimize(frame.data());
        if (width == 640 && height == 480) {
            const uint32_t counter = Counter(reinterpret_cast<const uint8_t*>(frame.data()));
            fresh += counter != previous;
            previous = counter;
        }
    }
    const lookpane_test::LockStats after = LockStats();
    source->destruct(instance);
    const double frames = double(state.iterations());
    state.counters["fps"] = benchmark::Counter(frames, benchmark::Counter::kIsRate);
    state.counters["locks_per_frame"] = double(after.locks - before.locks) / frames;
    state.counters["lock_held_us_per_frame"] =
        double(after.heldNanoseconds - before.heldNanoseconds) / 1e3 / frames;
    if (width == 640 && height == 480) state.counters["new_frame_share"] = double(fresh) / frames;
}

// One frame copied, for scale.
void BM_FrameCopyAnchor(benchmark::State& state) {
    std::vector<uint8_t> from(640 * 480 * 4, 1), to(640 * 480 * 4);
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), from.size());
        benchmark::DoNotOptimize(to.data());
    }
}

BENCHMARK(BM_Frei0rSourceUpdate)
    ->Args({640, 480})
    ->Args({1280, 720})
    ->MeasureProcessCPUTime()
    ->UseRealTime()
    ->MinTime(3)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FrameCopyAnchor)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv) {
    // The region path and semaphore names are fixed: a real broadcast must never be met.
    if (std::getenv("VISTREL_ISOLATED") == nullptr || std::getenv("XDG_DATA_HOME") == nullptr) {
        std::fprintf(stderr, "frei0r_bench: run it through bench/run_bench.sh\n");
        return 64;
    }
    Link(StageLibPath("vistrel/image-units/CILookpaneInput.plugin"),
         UserFolder("image-units/CILookpaneInput.plugin"));
    Link(LOOKPANE_TEST_BUNDLE, UserFolder("components/LookpaneXXX.component"));
    ::setenv(
        "LOOKPANE_TEST_FORWARD",
        StageLibPath("vistrel/VistrelX64.component/Contents/Linux/x86_64/VistrelX64.so").c_str(),
        1);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
