// The video digitizer as hosts drive it. First, what one call costs through the component manager
// and the component's exported dispatcher, next to a plain virtual call and a plain function
// pointer call. Then vistrelsrc in an in-process pipeline, fed by a broadcast that
// vistrel-channel publishes in another process: the frame rate it delivers, the CPU it takes per
// frame and how many of its frames were new pictures.
#include "channel/SharedCameraFormat.h"
#include "platform/files/PlatformFiles.h"
#include "platform/quicktime/QuickTime.h"
#include "platform/session/PlatformSession.h"
#include "tests/support/ComponentBinding.h"
#include "tests/support/TestSupport.h"
#include "tools/vistrel-channel/TestPattern.h"

#include <benchmark/benchmark.h>
#include <gst/gst.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <fcntl.h>
#include <filesystem>
#include <linux/futex.h>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>
#include <unordered_map>
#include <vector>

using namespace platform::quicktime;

namespace {

using Clock = std::chrono::steady_clock;

// VistrelXXX registers its digitizer under these (see its bundle's Info.ini).
constexpr ComponentDescription kDigitizer{videoDigitizerComponentType, FourCC("Vstr"),
                                          FourCC("Trnw"), 0, 0};
constexpr OSType kRawPixelFormat = FourCC("raw ");
constexpr const char* kDispatcherSymbol = "QVDIG_DATA_ComponentDispatch";
constexpr size_t kFrameBytes = SharedCamera::kFrameSizeBytes;

// ---- where things are ----

using testsupport::StageLibPath;
using testsupport::StagePath;

std::string DigitizerObject() {
    return StageLibPath("vistrel/VistrelXXX.component/Contents/Linux/x86_64/VistrelXXX.so");
}

// ---- the writer process ----

// The tool in a child that never outlives the benchmark, even when it dies without cleaning up.
std::unique_ptr<testsupport::Child> Run(const std::vector<std::string>& argv) {
    return std::make_unique<testsupport::Child>([argv] {
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        return testsupport::Exec(argv);
    });
}

std::string Failure(const testsupport::Child& child) {
    return child.err.empty() ? "vistrel-channel failed" : child.err;
}

std::vector<std::string> PublishCommand(std::vector<std::string> options) {
    options.insert(options.begin(), {StagePath("bin/vistrel-channel"), "publish"});
    return options;
}

// A read-only look at the region: the counter of the frame that is current right now.
class RegionView {
public:
    ~RegionView() {
        if (mRegion) ::munmap(const_cast<SharedCamera::Region*>(mRegion), sizeof *mRegion);
    }

    const uint32_t* TagWord() const { return mRegion ? &mRegion->currentBufferTag : nullptr; }

    // 0 when there is no current frame (yet).
    std::pair<uint32_t, uint32_t> Current() {
        if (!mRegion && !Map()) return {0, 0};
        // The writer changes the tag after the frame it names is complete.
        const uint32_t tag = __atomic_load_n(&mRegion->currentBufferTag, __ATOMIC_ACQUIRE);
        const uint8_t* frame = tag == SharedCamera::kBufferTag0   ? mRegion->frameBuffer0
                               : tag == SharedCamera::kBufferTag1 ? mRegion->frameBuffer1
                                                                  : nullptr;
        if (!frame) return {0, 0};
        return {tag, TestPattern::ReadCounter(frame, SharedCamera::kFrameWidth,
                                              SharedCamera::kFrameRowBytes)};
    }

private:
    bool Map() {
        const int fd = ::open(binding::RegionPath().c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) return false;
        void* mapped = ::mmap(nullptr, sizeof *mRegion, PROT_READ, MAP_SHARED, fd, 0);
        ::close(fd);
        if (mapped == MAP_FAILED) return false;
        mRegion = static_cast<const SharedCamera::Region*>(mapped);
        return true;
    }

    const SharedCamera::Region* mRegion = nullptr;
};

// A broadcast at 30 frames a second, returned once it has changed the current frame twice: then
// it is publishing steadily, whatever an earlier broadcast left in the region.
std::unique_ptr<testsupport::Child> StartBroadcast(std::string& error) {
    RegionView region;
    const auto before = region.Current();
    auto writer = Run(PublishCommand({"--fps", "30"}));
    int changes = 0;
    auto seen = before;
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    while (changes < 2 && !writer->Wait(0) && Clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        const auto now = region.Current();
        if (now.first != 0 && now != seen) ++changes;
        seen = now;
    }
    if (changes < 2) {
        writer->Stop();
        error = writer->err.empty() ? "the broadcast published no frames" : writer->err;
        return nullptr;
    }
    return writer;
}

// ---- one open digitizer instance ----

class Digitizer {
public:
    Digitizer() {
        ComponentDescription looking = kDigitizer;
        const Component component = FindNextComponent(nullptr, &looking);
        if (!component) {
            mError = "no 'vdig' component 'Vstr' by 'Trnw' in the component folders";
            return;
        }
        const OSErr err = OpenAComponent(component, &mInstance);
        if (err != noErr) {
            mInstance = nullptr;
            mError = "OpenAComponent answered " + std::to_string(err);
        }
    }

    ~Digitizer() {
        if (mInstance) CloseComponent(mInstance);
    }

    Digitizer(const Digitizer&) = delete;
    Digitizer& operator=(const Digitizer&) = delete;

    ComponentInstance Instance() const { return mInstance; }
    const std::string& Error() const { return mError; }

private:
    ComponentInstance mInstance = nullptr;
    std::string mError;
};

// ---- the calls measured ----

// A call as a capture application makes it: the toolkit packs a parameter block, the component
// manager finds the instance's component and storage, the exported dispatcher unpacks the block.
struct PreferredTimeScale {
    static ComponentResult Call(ComponentInstance ci) {
        TimeScale scale = 0;
        const ComponentResult err = VDGetPreferredTimeScale(ci, &scale);
        benchmark::DoNotOptimize(scale);
        return err;
    }
};

struct DigitizerRect {
    static ComponentResult Call(ComponentInstance ci) {
        Rect rect{};
        const ComponentResult err = VDGetDigitizerRect(ci, &rect);
        benchmark::DoNotOptimize(rect);
        return err;
    }
};

// Six parameters: shows what the block's size adds.
struct CompressionTime {
    static ComponentResult Call(ComponentInstance ci) {
        Rect source{0, 0, 480, 640};
        CodecQ spatial = 0;
        CodecQ temporal = 0;
        unsigned long time = 0;
        const ComponentResult err =
            VDGetCompressionTime(ci, kRawPixelFormat, 32, &source, &spatial, &temporal, &time);
        benchmark::DoNotOptimize(spatial);
        benchmark::DoNotOptimize(temporal);
        benchmark::DoNotOptimize(time);
        return err;
    }
};

template <typename Selector> void BM_DispatcherRoundTrip(benchmark::State& state) {
    Digitizer digitizer;
    if (!digitizer.Instance()) {
        state.SkipWithError(digitizer.Error().c_str());
        return;
    }
    const ComponentInstance ci = digitizer.Instance();
    if (Selector::Call(ci) != noErr) {
        state.SkipWithError("the digitizer refused the call");
        return;
    }
    for (auto _ : state) {
        if (Selector::Call(ci) != noErr) {
            state.SkipWithError("the digitizer refused the call");
            break;
        }
    }
}

// The same block handed straight to the exported dispatcher, as the manager hands it on: the
// difference to the round trip is the manager's own share (its lock and instance lookup).
void BM_ExportedDispatcherOnly(benchmark::State& state) {
    using Dispatcher = ComponentResult (*)(ComponentParameters*, Handle);
    Digitizer digitizer;
    if (!digitizer.Instance()) {
        state.SkipWithError(digitizer.Error().c_str());
        return;
    }
    const ComponentInstance ci = digitizer.Instance();
    // The manager loaded the object when the instance opened; this only finds it.
    void* object = ::dlopen(DigitizerObject().c_str(), RTLD_NOW | RTLD_NOLOAD);
    auto dispatch =
        object ? reinterpret_cast<Dispatcher>(::dlsym(object, kDispatcherSymbol)) : nullptr;
    const Handle storage = GetComponentInstanceStorage(ci);
    if (!dispatch || !storage) {
        if (object) ::dlclose(object);
        state.SkipWithError("the digitizer's object or its dispatcher was not found loaded");
        return;
    }
    const auto call = [&] {
        TimeScale scale = 0;
        // Packed exactly as the toolkit packs it: the last argument first, then the instance.
        alignas(ComponentParameters) unsigned char
            block[sizeof(ComponentParameters) + 2 * sizeof(long)];
        auto* params = new (block) ComponentParameters{};
        params->paramSize = sizeof(long);
        params->what = kVDGetPreferredTimeScaleSelect;
        params->params[0] = ToParameterSlot(&scale);
        params->params[1] = ToParameterSlot(ci);
        const ComponentResult err = dispatch(params, storage);
        benchmark::DoNotOptimize(scale);
        return err;
    };
    if (call() != noErr) state.SkipWithError("the dispatcher refused the call");
    for (auto _ : state) {
        if (call() != noErr) {
            state.SkipWithError("the dispatcher refused the call");
            break;
        }
    }
    ::dlclose(object);
}

// ---- the anchors ----

class ScaleSource {
public:
    virtual ~ScaleSource() = default;
    virtual ComponentResult PreferredTimeScale(TimeScale* scale) const = 0;
};

// Two implementations, chosen at run time: with a single one the compiler knows every possible
// target and turns the virtual call into a direct one, or into nothing at all.
class FixedScale final : public ScaleSource {
public:
    ComponentResult PreferredTimeScale(TimeScale* scale) const override {
        if (scale) *scale = 600;
        return noErr;
    }
};

class NoScale final : public ScaleSource {
public:
    ComponentResult PreferredTimeScale(TimeScale*) const override { return digiUnimpErr; }
};

volatile bool sWithoutScale = false;

ComponentResult FixedPreferredTimeScale(TimeScale* scale) {
    if (scale) *scale = 600;
    return noErr;
}

void BM_VirtualCallAnchor(benchmark::State& state) {
    const FixedScale fixed;
    const NoScale none;
    const ScaleSource* source = sWithoutScale ? static_cast<const ScaleSource*>(&none) : &fixed;
    for (auto _ : state) {
        // Hidden from the optimiser each time, so the call stays a real virtual call.
        asm volatile("" : "+r"(source));
        TimeScale scale = 0;
        benchmark::DoNotOptimize(source->PreferredTimeScale(&scale));
        benchmark::DoNotOptimize(scale);
    }
}

void BM_FunctionPointerAnchor(benchmark::State& state) {
    ComponentResult (*function)(TimeScale*) = FixedPreferredTimeScale;
    for (auto _ : state) {
        benchmark::DoNotOptimize(function);
        TimeScale scale = 0;
        benchmark::DoNotOptimize(function(&scale));
        benchmark::DoNotOptimize(scale);
    }
}

// ---- vistrelsrc into fakesink ----

// Only the plug-in of this build and a registry of our own, never the user's.
bool InitGStreamer(std::string& error) {
    static std::once_flag once;
    static std::string failure;
    std::call_once(once, [] {
        char folder[] = "/tmp/digitizer-bench-XXXXXX";
        if (!::mkdtemp(folder)) {
            failure = std::string("mkdtemp: ") + std::strerror(errno);
            return;
        }
        ::setenv("GST_PLUGIN_PATH", StageLibPath("gstreamer-1.0").c_str(), 1);
        ::setenv("GST_REGISTRY", (std::string(folder) + "/registry.bin").c_str(), 1);
        GError* gerror = nullptr;
        if (!gst_init_check(nullptr, nullptr, &gerror)) {
            failure = gerror ? gerror->message : "gst_init failed";
            if (gerror) g_error_free(gerror);
        }
    });
    error = failure;
    return failure.empty();
}

// What reached the sink in one run, written by the streaming thread.
struct Delivery {
    Clock::time_point start;
    Clock::time_point first;
    Clock::time_point last;
    double firstCpu = 0; // process CPU seconds when the first and the last frame arrived
    double lastCpu = 0;
    int64_t frames = 0;
    int64_t fresh = 0;   // a counter other than the previous frame's
    int64_t skipped = 0; // published frames that never reached the sink
    uint32_t previous = 0;
    // When each new picture reached the sink, by its counter.
    bool timeArrivals = false;
    std::vector<std::pair<uint32_t, Clock::time_point>> arrivals;
};

// When each frame was made current, by its counter: a thread woken by the writer's wake on the
// region's tag, which notes the moment (a reader woken by the same wake may come a few
// microseconds before it: the smallest latencies can be below zero).
class PublicationLog {
public:
    PublicationLog()
        : mThread([this] {
              RegionView region;
              uint32_t seen = 0;
              while (!mStop.load()) {
                  const auto [tag, counter] = region.Current();
                  if (tag != 0 && counter != seen) {
                      const std::lock_guard<std::mutex> hold(mLock);
                      mMoments.emplace(counter, Clock::now());
                      seen = counter;
                  }
                  const timespec bound{0, 50'000'000};
                  if (const uint32_t* word = region.TagWord())
                      ::syscall(SYS_futex, word, FUTEX_WAIT, tag, &bound, nullptr, 0);
                  else
                      std::this_thread::sleep_for(std::chrono::milliseconds(1));
              }
          }) {}
    ~PublicationLog() {
        mStop = true;
        mThread.join();
    }
    size_t Logged() const {
        const std::lock_guard<std::mutex> hold(mLock);
        return mMoments.size();
    }
    bool Moment(uint32_t counter, Clock::time_point& at) const {
        const std::lock_guard<std::mutex> hold(mLock);
        const auto found = mMoments.find(counter);
        if (found == mMoments.end()) return false;
        at = found->second;
        return true;
    }

private:
    std::atomic<bool> mStop{false};
    mutable std::mutex mLock;
    std::unordered_map<uint32_t, Clock::time_point> mMoments;
    std::thread mThread;
};

double ProcessCpuSeconds() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) { return double(t.tv_sec) + t.tv_usec * 1e-6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

GstPadProbeReturn CountFrame(GstPad*, GstPadProbeInfo* info, gpointer data) {
    auto* delivery = static_cast<Delivery*>(data);
    GstBuffer* buffer = GST_PAD_PROBE_INFO_BUFFER(info);
    GstMapInfo map;
    if (!buffer || !gst_buffer_map(buffer, &map, GST_MAP_READ)) return GST_PAD_PROBE_OK;
    if (map.size >= kFrameBytes) {
        const uint32_t counter = TestPattern::ReadCounter(map.data, SharedCamera::kFrameWidth,
                                                          SharedCamera::kFrameRowBytes);
        delivery->last = Clock::now();
        delivery->lastCpu = ProcessCpuSeconds();
        if (delivery->frames == 0) {
            delivery->first = delivery->last;
            delivery->firstCpu = delivery->lastCpu;
            ++delivery->fresh;
        } else if (counter != delivery->previous) {
            ++delivery->fresh;
            if (delivery->timeArrivals) delivery->arrivals.emplace_back(counter, delivery->last);
            if (counter > delivery->previous) delivery->skipped += counter - delivery->previous - 1;
        }
        delivery->previous = counter;
        ++delivery->frames;
    }
    gst_buffer_unmap(buffer, &map);
    return GST_PAD_PROBE_OK;
}

// Runs one pipeline of `frames` buffers to its end; an empty string when it reached EOS.
std::string RunPipeline(int64_t frames, Delivery& delivery, double& wallSeconds,
                        double& cpuSeconds) {
    const std::string description =
        "vistrelsrc num-buffers=" + std::to_string(frames) + " ! fakesink name=sink";
    GError* gerror = nullptr;
    GstElement* pipeline = gst_parse_launch(description.c_str(), &gerror);
    if (!pipeline) {
        std::string error = gerror ? gerror->message : "gst_parse_launch failed";
        if (gerror) g_error_free(gerror);
        return error;
    }
    if (gerror) g_error_free(gerror);
    GstElement* sink = gst_bin_get_by_name(GST_BIN(pipeline), "sink");
    GstPad* pad = sink ? gst_element_get_static_pad(sink, "sink") : nullptr;
    if (pad) gst_pad_add_probe(pad, GST_PAD_PROBE_TYPE_BUFFER, CountFrame, &delivery, nullptr);
    if (pad) gst_object_unref(pad);
    if (sink) gst_object_unref(sink);
    GstBus* bus = gst_element_get_bus(pipeline);

    std::string error;
    const double cpuStart = ProcessCpuSeconds();
    delivery.start = Clock::now();
    if (gst_element_set_state(pipeline, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE)
        error = "the pipeline did not start";
    GstMessage* end =
        error.empty()
            ? gst_bus_timed_pop_filtered(bus, 60 * GST_SECOND,
                                         GstMessageType(GST_MESSAGE_EOS | GST_MESSAGE_ERROR))
            : nullptr;
    wallSeconds = std::chrono::duration<double>(Clock::now() - delivery.start).count();
    cpuSeconds = ProcessCpuSeconds() - cpuStart;

    if (!end && error.empty()) error = "no end of stream within 60 s";
    if (end && GST_MESSAGE_TYPE(end) == GST_MESSAGE_ERROR) {
        GError* failure = nullptr;
        gchar* debug = nullptr;
        gst_message_parse_error(end, &failure, &debug);
        error =
            std::string(failure ? failure->message : "error") + " (" + (debug ? debug : "") + ")";
        if (failure) g_error_free(failure);
        g_free(debug);
    }
    if (end) gst_message_unref(end);
    // Also joins the streaming thread: the delivery counts are final after this.
    gst_element_set_state(pipeline, GST_STATE_NULL);
    gst_object_unref(bus);
    gst_object_unref(pipeline);
    return error;
}

// GStreamer set up and a broadcast running for a vistrelsrc run; none, the run skipped with why.
std::unique_ptr<testsupport::Child> GStreamerAndBroadcast(benchmark::State& state) {
    std::string error;
    std::unique_ptr<testsupport::Child> writer;
    if (InitGStreamer(error)) writer = StartBroadcast(error);
    if (!writer) state.SkipWithError(error.c_str());
    return writer;
}

void BM_VistrelsrcToFakesink(benchmark::State& state) {
    const int64_t frames = state.range(0);
    std::unique_ptr<testsupport::Child> writer = GStreamerAndBroadcast(state);
    if (!writer) return;
    Delivery total;
    double wall = 0;
    double cpu = 0;
    double firstFrame = 0;
    double steadyWall = 0; // from the first frame to the last: without opening and closing
    double steadyCpu = 0;
    for (auto _ : state) {
        Delivery delivery;
        double wallSeconds = 0;
        double cpuSeconds = 0;
        std::string error = RunPipeline(frames, delivery, wallSeconds, cpuSeconds);
        if (!error.empty() || delivery.frames != frames) {
            if (error.empty())
                error = "the sink saw " + std::to_string(delivery.frames) + " frames";
            state.SkipWithError(error.c_str());
            break;
        }
        state.SetIterationTime(wallSeconds);
        wall += wallSeconds;
        cpu += cpuSeconds;
        firstFrame += std::chrono::duration<double>(delivery.first - delivery.start).count();
        steadyWall += std::chrono::duration<double>(delivery.last - delivery.first).count();
        steadyCpu += delivery.lastCpu - delivery.firstCpu;
        total.frames += delivery.frames;
        total.fresh += delivery.fresh;
        total.skipped += delivery.skipped;
    }
    if (!writer->Stop() && !state.error_occurred()) state.SkipWithError(Failure(*writer).c_str());
    if (total.frames == 0) return;
    const double n = double(total.frames);
    state.counters["fps"] = n / wall;
    // This process only: the element, the digitizer it drives and GStreamer's threads. The
    // writer's drawing and publishing happen in its own process and are not part of it.
    state.counters["cpu_us_per_frame"] = cpu * 1e6 / n;
    state.counters["new_frame_share"] = double(total.fresh) / n;
    state.counters["skipped_per_frame"] = double(total.skipped) / n;
    state.counters["first_frame_ms"] = firstFrame * 1e3 / double(state.iterations());
    // The first frame of a run comes at once, the others at the camera's pace.
    const double intervals = n - double(state.iterations());
    if (intervals > 0 && steadyWall > 0) {
        state.counters["steady_fps"] = intervals / steadyWall;
        state.counters["steady_cpu_us_per_frame"] = steadyCpu * 1e6 / intervals;
    }
}

// Milliseconds from a frame's publication to vistrelsrc's buffer of it, over the new pictures of
// one run (the first frame of the run left out: it waits for nothing).
void BM_VistrelsrcLatency(benchmark::State& state) {
    std::unique_ptr<testsupport::Child> writer = GStreamerAndBroadcast(state);
    if (!writer) return;
    const PublicationLog publications;
    std::vector<double> latencies;
    int64_t repeated = 0, skipped = 0;
    for (auto _ : state) {
        Delivery delivery;
        delivery.timeArrivals = true;
        double wallSeconds = 0, cpuSeconds = 0;
        std::string error = RunPipeline(state.range(0), delivery, wallSeconds, cpuSeconds);
        if (!error.empty()) {
            state.SkipWithError(error.c_str());
            break;
        }
        state.SetIterationTime(wallSeconds);
        // Looked up afterwards: a reader woken by the same publication may be first.
        for (const auto& [counter, at] : delivery.arrivals) {
            Clock::time_point published;
            if (publications.Moment(counter, published))
                latencies.push_back(
                    std::chrono::duration<double, std::milli>(at - published).count());
        }
        repeated += delivery.frames - delivery.fresh;
        skipped += delivery.skipped;
    }
    writer->Stop();
    if (latencies.empty()) return;
    std::sort(latencies.begin(), latencies.end());
    state.counters["latency_min_ms"] = latencies.front();
    state.counters["latency_median_ms"] = latencies[latencies.size() / 2];
    state.counters["latency_max_ms"] = latencies.back();
    state.counters["timed_frames"] = double(latencies.size());
    state.counters["logged"] = double(publications.Logged());
    // Buffers that showed the last picture again, and published pictures no buffer showed.
    state.counters["repeated"] = double(repeated);
    state.counters["skipped"] = double(skipped);
}

BENCHMARK(BM_VirtualCallAnchor);
BENCHMARK(BM_FunctionPointerAnchor);
BENCHMARK_TEMPLATE(BM_DispatcherRoundTrip, PreferredTimeScale);
BENCHMARK_TEMPLATE(BM_DispatcherRoundTrip, DigitizerRect);
BENCHMARK_TEMPLATE(BM_DispatcherRoundTrip, CompressionTime);
BENCHMARK(BM_ExportedDispatcherOnly);
// One iteration is one pipeline run: live frames at 30 a second, so the wall clock is the time
// that counts, and the process's CPU (all of GStreamer's threads) is the CPU that counts.
BENCHMARK(BM_VistrelsrcToFakesink)
    ->Arg(60)
    ->Iterations(1)
    ->UseManualTime()
    ->MeasureProcessCPUTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_VistrelsrcLatency)
    ->Arg(300)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    // The region path and semaphore names are fixed: a real broadcast must never be met.
    if (std::getenv("VISTREL_ISOLATED") == nullptr) {
        std::fprintf(stderr, "digitizer_bench: run it through bench/run_bench.sh\n");
        return 64;
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 64;

    // What an install does: the digitizer's bundle in the user's component folder.
    std::string folder;
    if (platform::files::FindFolder(platform::files::kUserDomain,
                                    platform::files::kQuickTimeComponentsFolderType,
                                    platform::files::kCreateFolder, folder) != noErr) {
        std::fprintf(stderr, "digitizer_bench: no user component folder\n");
        return 2;
    }
    const std::string link = folder + "/VistrelXXX.component";
    std::error_code ignored;
    std::filesystem::remove(link, ignored);
    std::filesystem::create_directory_symlink(StageLibPath("vistrel/VistrelXXX.component"), link,
                                              ignored);

    // The digitizer opens only on an existing region that allows connections: one published
    // frame leaves both behind.
    const auto setup = Run(PublishCommand({"--frames", "1"}));
    if (!setup->Wait(10) || setup->exitCode != 0) {
        std::fprintf(stderr, "digitizer_bench: %s\n", Failure(*setup).c_str());
        std::filesystem::remove(link, ignored);
        return 2;
    }

    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::filesystem::remove(link, ignored);
    return 0;
}
