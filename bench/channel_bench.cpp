// Cost of one frame through the shared camera channel, next to a plain copy of the same frame.
// The counterpart (a reader while we publish, a writer while we read) is a separate process: this
// same program started again with --child=..., so it loads the component through its own binding
// and maps the region itself, like a real reader or writer does.
#include "channel/CFBaseDLL.h"
#include "channel/SharedCameraBundle.h"
#include "channel/SharedCameraFormat.h"
#include "channel/SharedCameraFrameWriter.h"
#include "core/CoreLogIdentity.h"
#include "core/CoreMachDebugLog.h"

#include <benchmark/benchmark.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <poll.h>
#include <string>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

CORE_DEFINE_LOG_IDENTITY("channel-bench", "channel-bench.log");

SharedCameraBundle SharedCameraBundle::sComponent(SharedCameraBundle::kVistrelX64);

namespace {

constexpr size_t kFrameBytes = SharedCamera::kFrameSizeBytes;
// The child announces its first completed frame on this descriptor.
constexpr int kReadyFd = 3;
constexpr const char* kChildOption = "--child=";
constexpr const char* kNoCopyOption = "--no-copy";
constexpr int kReadyTimeoutMs = 10000;

enum class Role { kWriter, kReader };

SharedCameraBundle& Camera() {
    return SharedCameraBundle::sComponent;
}

std::vector<uint8_t> PreparedFrame() {
    std::vector<uint8_t> frame(kFrameBytes);
    for (size_t i = 0; i < frame.size(); ++i)
        frame[i] = uint8_t(i * 131 + (i >> 12));
    return frame;
}

tagSHARED_CAMERA_BUFFER EmptyRecord() {
    tagSHARED_CAMERA_BUFFER record{};
    record.sizeofSHARED_CAMERA_BUFFER = sizeof record;
    return record;
}

// One frame through the application's frame writer, opened on the first; a null source leaves
// the pixels alone. False when it failed; `written` tells whether readers let it write.
bool Publish(const uint8_t* source, bool* written = nullptr) {
    static SharedCameraFrameWriter writer(Camera());
    if (!writer.IsOpen() && !writer.Open()) return false;
    const auto result = writer.Write([&](int, const tagSHARED_CAMERA_BUFFER& record) {
        if (source) std::memcpy(record.frameBufferPtr, source, kFrameBytes);
    });
    if (written) *written = result == SharedCameraFrameWriter::Result::kWritten;
    return result != SharedCameraFrameWriter::Result::kFailed;
}

// One frame as the plug-in reads it; a null target only takes and releases the lock. `buffer`
// receives the address of the buffer that was read.
bool Read(uint8_t* target, const void** buffer = nullptr) {
    SharedCameraBundle& camera = Camera();
    tagSHARED_CAMERA_BUFFER record = EmptyRecord();
    if (!camera.GetCurrentReadBuffer(&record)) return false;
    if (!camera.LockFrameBuffer(record.frameBufferPtr)) return false;
    if (target) std::memcpy(target, record.frameBufferPtr, size_t(record.frameBufferSizeBytes));
    if (buffer) *buffer = record.frameBufferPtr;
    return camera.UnLockFrameBuffer(record.frameBufferPtr);
}

// ---- the counterpart process ----

volatile sig_atomic_t sChildStop = 0;

void RequestChildStop(int) {
    sChildStop = 1;
}

// Runs until SIGTERM, which ends a lock wait too.
int RunChild(Role role, bool copy) {
    struct sigaction action {};
    action.sa_handler = RequestChildStop;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGTERM, &action, nullptr);

    std::vector<uint8_t> frame = PreparedFrame();
    const uint8_t* source = copy ? frame.data() : nullptr;
    uint8_t* target = copy ? frame.data() : nullptr;
    bool announced = false;
    while (!sChildStop) {
        // A failure here is a lock wait cut short by the stop signal, or no frame yet.
        const bool done = role == Role::kWriter ? Publish(source) : Read(target);
        if (!done) continue;
        if (!announced) {
            const char ready = 1;
            if (::write(kReadyFd, &ready, 1) != 1) return 1;
            ::close(kReadyFd);
            announced = true;
        }
    }
    return 0;
}

// ---- the parent's handle on the counterpart ----

class Counterpart {
public:
    Counterpart(Role role, bool copy) {
        // Everything the child needs is made before the fork.
        char self[PATH_MAX];
        const ssize_t length = ::readlink("/proc/self/exe", self, sizeof self - 1);
        if (length <= 0) {
            mError = std::string("readlink /proc/self/exe: ") + std::strerror(errno);
            return;
        }
        self[length] = '\0';
        std::string roleOption =
            std::string(kChildOption) + (role == Role::kWriter ? "writer" : "reader");
        char* const argv[] = {self, roleOption.data(),
                              const_cast<char*>(copy ? "--copy" : kNoCopyOption), nullptr};
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0) {
            mError = std::string("pipe: ") + std::strerror(errno);
            return;
        }
        const pid_t parent = ::getpid();
        mPid = ::fork();
        if (mPid == 0) {
            // Never outlive the benchmark, even when it dies without cleaning up.
            ::prctl(PR_SET_PDEATHSIG, SIGTERM);
            if (::getppid() != parent) ::_exit(126);
            if (fds[1] == kReadyFd)
                ::fcntl(kReadyFd, F_SETFD, 0);
            else if (::dup2(fds[1], kReadyFd) != kReadyFd)
                ::_exit(126);
            ::execv(self, argv);
            ::_exit(127);
        }
        ::close(fds[1]);
        if (mPid < 0) {
            mError = std::string("fork: ") + std::strerror(errno);
            ::close(fds[0]);
            return;
        }
        mReadyFd = fds[0];
    }

    ~Counterpart() { Stop(); }

    Counterpart(const Counterpart&) = delete;
    Counterpart& operator=(const Counterpart&) = delete;

    // Blocks until the child has completed one frame, so that the timing starts in steady state.
    bool WaitReady() {
        if (mReadyFd < 0) return false;
        struct pollfd poller {
            mReadyFd, POLLIN, 0
        };
        char ready = 0;
        const int polled = ::poll(&poller, 1, kReadyTimeoutMs);
        const bool ok = polled == 1 && ::read(mReadyFd, &ready, 1) == 1;
        ::close(mReadyFd);
        mReadyFd = -1;
        if (!ok)
            mError = polled == 0 ? "the counterpart process completed no frame within 10 s"
                                 : "the counterpart process ended before its first frame";
        return ok;
    }

    // Stops and reaps the child; true when it finished cleanly.
    bool Stop() {
        if (mReadyFd >= 0) {
            ::close(mReadyFd);
            mReadyFd = -1;
        }
        if (mPid <= 0) return mError.empty();
        ::kill(mPid, SIGTERM);
        int status = 0;
        pid_t reaped = 0;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while ((reaped = ::waitpid(mPid, &status, WNOHANG)) == 0 &&
               std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        if (reaped == 0) {
            // Stuck in a lock wait that will never end.
            ::kill(mPid, SIGKILL);
            reaped = ::waitpid(mPid, &status, 0);
            mError = "the counterpart process did not stop and was killed";
        } else if (reaped < 0 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            if (mError.empty()) mError = "the counterpart process failed";
        }
        mPid = -1;
        return mError.empty();
    }

    const std::string& Error() const { return mError; }

private:
    pid_t mPid = -1;
    int mReadyFd = -1;
    std::string mError;
};

// ---- benchmarks ----

void BM_MemcpyFrame(benchmark::State& state) {
    const std::vector<uint8_t> source = PreparedFrame();
    std::vector<uint8_t> target(kFrameBytes);
    for (auto _ : state) {
        std::memcpy(target.data(), source.data(), kFrameBytes);
        benchmark::DoNotOptimize(target.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kFrameBytes));
}

// The writer beside `readers` reader processes that copy frames out as fast as they can. Frames
// written per second and the writer's CPU per frame tell what the readers cost the broadcast.
void PublishWithReaders(benchmark::State& state, bool copy, int readers) {
    const std::vector<uint8_t> frame = PreparedFrame();
    std::vector<std::unique_ptr<Counterpart>> counterparts;
    for (int i = 0; i < readers; ++i) {
        counterparts.push_back(std::make_unique<Counterpart>(Role::kReader, copy));
        if (!counterparts.back()->WaitReady()) {
            state.SkipWithError(counterparts.back()->Error().c_str());
            return;
        }
    }
    const uint8_t* source = copy ? frame.data() : nullptr;
    int64_t written = 0;
    for (auto _ : state) {
        bool wrote = false;
        if (!Publish(source, &wrote)) {
            state.SkipWithError("a publish through the component's entry points failed");
            break;
        }
        written += wrote;
    }
    for (auto& reader : counterparts)
        if (!reader->Stop()) state.SkipWithError(reader->Error().c_str());
    state.SetItemsProcessed(written);
    state.counters["written"] =
        benchmark::Counter(double(written), benchmark::Counter::kAvgIterations);
    if (copy) state.SetBytesProcessed(written * int64_t(kFrameBytes));
}

void ReadWithWriter(benchmark::State& state, bool copy) {
    std::vector<uint8_t> frame(kFrameBytes);
    Counterpart writer(Role::kWriter, copy);
    if (!writer.WaitReady()) {
        state.SkipWithError(writer.Error().c_str());
        return;
    }
    uint8_t* target = copy ? frame.data() : nullptr;
    // A reader faster than the writer reads the same frame again, from its own cache; the share of
    // reads that found the other buffer current (a lower bound on new frames) tells how often.
    const void* previous = nullptr;
    const void* buffer = nullptr;
    int64_t switches = 0;
    for (auto _ : state) {
        if (!Read(target, &buffer)) {
            state.SkipWithError("a read through the component's entry points failed");
            break;
        }
        benchmark::ClobberMemory();
        switches += buffer != previous;
        previous = buffer;
    }
    if (!writer.Stop()) state.SkipWithError(writer.Error().c_str());
    state.counters["new_frames"] =
        benchmark::Counter(double(switches), benchmark::Counter::kAvgIterations);
    if (copy) state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kFrameBytes));
}

void BM_PublishFrame(benchmark::State& state) {
    PublishWithReaders(state, true, 1);
}

void BM_PublishFrameFourReaders(benchmark::State& state) {
    PublishWithReaders(state, true, 4);
}

void BM_ReadFrame(benchmark::State& state) {
    ReadWithWriter(state, true);
}

void BM_ChannelOverheadPublish(benchmark::State& state) {
    PublishWithReaders(state, false, 1);
}

void BM_ChannelOverheadRead(benchmark::State& state) {
    ReadWithWriter(state, false);
}

// Wall-clock time throughout: a lock wait on the other process is part of a frame's cost.
BENCHMARK(BM_MemcpyFrame)->UseRealTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PublishFrame)->UseRealTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PublishFrameFourReaders)->UseRealTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ReadFrame)->UseRealTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ChannelOverheadPublish)->UseRealTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ChannelOverheadRead)->UseRealTime()->Unit(benchmark::kMicrosecond);

int ChildMain(const char* role, int argc, char** argv) {
    bool copy = true;
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], kNoCopyOption) == 0) copy = false;
    if (std::strcmp(role, "writer") == 0) return RunChild(Role::kWriter, copy);
    if (std::strcmp(role, "reader") == 0) return RunChild(Role::kReader, copy);
    std::fprintf(stderr, "channel_bench: unknown child role %s\n", role);
    return 64;
}

} // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i)
        if (std::strncmp(argv[i], kChildOption, std::strlen(kChildOption)) == 0)
            return ChildMain(argv[i] + std::strlen(kChildOption), argc, argv);

    // Set up as the application does at the start of a broadcast, and publish one frame so that
    // a reader always finds a current buffer.
    SharedCameraBundle& camera = Camera();
    const bool installed = camera.InstallLocation(true, CFBaseDLL::kUserQuickTime);
    tagSHARED_CAMERA_CONTROL control{sizeof control, 1, 0};
    const std::vector<uint8_t> frame = PreparedFrame();
    if (!installed || !camera.SetCameraControl(&control) || !Publish(frame.data())) {
        std::fprintf(stderr, "channel_bench: cannot reach the camera component %s\n",
                     camera.FileName().c_str());
        if (installed) camera.InstallLocation(false, CFBaseDLL::kUserQuickTime);
        return 2;
    }

    benchmark::Initialize(&argc, argv);
    int result = 0;
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        result = 64;
    else
        benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    camera.InstallLocation(false, CFBaseDLL::kUserQuickTime);
    return result;
}
