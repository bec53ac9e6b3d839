// Frames through the video digitizer: handed out in place with their buffer locked, released by
// the capture application, paced by its time base, and never waited for forever.
#include "tests/component/DigitizerTestSupport.h"

#include <atomic>
#include <chrono>
#include <fstream>
#include <future>
#include <map>
#include <sys/wait.h>

using namespace digitizer_test;
using namespace std::chrono_literals;

namespace {

constexpr size_t kBuffer0 = offsetof(SharedCamera::Region, frameBuffer0);
constexpr size_t kBuffer1 = offsetof(SharedCamera::Region, frameBuffer1);

// Where this process maps the region file: [start, end), or {0, 0}.
std::pair<uintptr_t, uintptr_t> RegionMapping() {
    std::ifstream maps("/proc/self/maps");
    for (std::string line; std::getline(maps, line);) {
        if (line.find(RegionPath()) == std::string::npos) continue;
        const size_t dash = line.find('-');
        return {std::stoull(line.substr(0, dash), nullptr, 16),
                std::stoull(line.substr(dash + 1), nullptr, 16)};
    }
    return {0, 0};
}

std::vector<uint8_t> Pattern(uint32_t counter) {
    std::vector<uint8_t> frame(SharedCamera::kFrameSizeBytes);
    TestPattern::Draw(frame.data(), SharedCamera::kFrameWidth, SharedCamera::kFrameHeight,
                      SharedCamera::kFrameRowBytes, counter);
    return frame;
}

TEST_F(Digitizer, NoCurrentFrameIsAParameterError) {
    Broadcast();
    const ComponentInstance ci = OpenPreviewing();
    StandardErrorCapture err;
    const Frame frame = CompressDone(ci);
    EXPECT_EQ(frame.result, paramErr);
    EXPECT_EQ(frame.queued, 0);
    EXPECT_EQ(frame.data, nullptr);
    EXPECT_EQ(frame.size, 0);
    for (const char* report :
         {"VERIFY FAILED:  code : currentFrameBufferPtr = "
          "SharedGWorldMemory::sSingleton.GetCurrentReadBuffer() in ",
          "VERIFY FAILED:  code : currentFrameBufferPtr in ", "(GetCurrentFrameBufferPtr)",
          "VERIFY FAILED:  code : frameBuffer!=NULL in ", "(GetFrame)",
          "VERIFY_ERR FAILED: OSErr:-50  code : result=DeviceGetFrame(queuedFrameCount, theData, "
          "dataSize) in ",
          "(CompressDone)"})
        EXPECT_TRUE(err.Has(report)) << report << "\n" << err.Text();
}

TEST_F(Digitizer, FramesFromAnotherProcessArriveInPlaceWithTheirLockHeld) {
    const testsupport::ProcessResult publish =
        testsupport::RunProcess({testsupport::StagePath("bin/vistrel-channel"), "publish",
                                 "--frames", "3", "--fps", "200"});
    ASSERT_EQ(publish.exitCode, 0) << publish.out << publish.err;
    // This process's own entry points, to look at the lock from outside the digitizer.
    ASSERT_TRUE(writer.Load());

    const ComponentInstance ci = OpenPreviewing();
    ASSERT_EQ(VDCompressOneFrameAsync(ci), noErr);
    const Frame frame = CompressDone(ci);
    ASSERT_EQ(frame.result, noErr);
    EXPECT_EQ(frame.queued, 1);
    EXPECT_EQ(frame.size, 1228800);

    const auto [start, end] = RegionMapping();
    ASSERT_NE(start, 0u);
    const uintptr_t address = reinterpret_cast<uintptr_t>(frame.data);
    EXPECT_TRUE(address == start + kBuffer0 || address == start + kBuffer1) << std::hex << address;
    EXPECT_LE(address + 1228800, end);
    const auto* pixels = reinterpret_cast<const uint8_t*>(frame.data);
    // The newest of the three frames, exactly as drawn.
    EXPECT_EQ(
        TestPattern::ReadCounter(pixels, SharedCamera::kFrameWidth, SharedCamera::kFrameRowBytes),
        2u);
    EXPECT_EQ(std::memcmp(pixels, Pattern(2).data(), 1228800), 0);

    EXPECT_FALSE(writer.tryLock(frame.data));
    EXPECT_EQ(VDReleaseCompressBuffer(ci, frame.data), noErr);
    EXPECT_TRUE(writer.tryLock(frame.data));
    writer.unlock(frame.data);
}

TEST_F(Digitizer, ASecondFrameWaitsUntilTheFirstIsReleased) {
    Broadcast();
    ASSERT_TRUE(writer.Publish(1, 7));
    const ComponentInstance first = OpenPreviewing();
    const ComponentInstance second = OpenPreviewing();
    const Frame held = CompressDone(first);
    ASSERT_EQ(held.result, noErr);
    ASSERT_EQ(held.data, reinterpret_cast<Ptr>(writer.Buffer(1)));

    std::future<Frame> waiting =
        std::async(std::launch::async, [&] { return CompressDone(second); });
    EXPECT_EQ(waiting.wait_for(200ms), std::future_status::timeout);
    EXPECT_EQ(VDReleaseCompressBuffer(first, held.data), noErr);
    ASSERT_EQ(waiting.wait_for(10s), std::future_status::ready);
    const Frame next = waiting.get();
    EXPECT_EQ(next.result, noErr);
    EXPECT_EQ(next.data, held.data);
    EXPECT_EQ(VDReleaseCompressBuffer(second, next.data), noErr);
}

TEST_F(Digitizer, ABufferWhoseHolderDiedIsGivenUpOn) {
    Broadcast();
    ASSERT_TRUE(writer.Publish(0, 1));
    // A reader that locks the current frame and dies holding it.
    const pid_t child = ::fork();
    if (child == 0) {
        tagSHARED_CAMERA_BUFFER record{};
        record.sizeofSHARED_CAMERA_BUFFER = sizeof record;
        ::_exit(writer.current(&record) && writer.lock(record.frameBufferPtr) ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

    const ComponentInstance ci = OpenPreviewing();
    {
        StandardErrorCapture err;
        const Frame frame = CompressDone(ci);
        EXPECT_EQ(frame.result, paramErr);
        EXPECT_EQ(frame.queued, 0);
        EXPECT_EQ(frame.data, nullptr);
        EXPECT_TRUE(err.Has(" code : fLocked = SharedGWorldMemory::sSingleton."
                            "LockFrameBufferPtrWithin(frameBuffer, kFrameLockWaitSeconds) in "))
            << err.Text();
    }
    // The writer's next frame goes to the other buffer, which is still free.
    ASSERT_TRUE(writer.Publish(1, 2));
    const Frame frame = CompressDone(ci);
    ASSERT_EQ(frame.result, noErr);
    EXPECT_EQ(frame.data, reinterpret_cast<Ptr>(writer.Buffer(1)));
    EXPECT_EQ(VDReleaseCompressBuffer(ci, frame.data), noErr);
}

// ---------------------------------------------------------------------------------------------
// Paced delivery, on a clock this test moves

constexpr int64_t kSecond = 1000000000;
std::atomic<int64_t> sNow{0};

int64_t TestClock() {
    return sNow.load();
}

class PacedDigitizer : public Digitizer {
protected:
    void SetUp() override {
        Digitizer::SetUp();
        sNow = 5000 * kSecond;
        mPrevious = InstallTimeBaseClock(&TestClock);
        tb = NewTimeBase();
        Broadcast();
        ASSERT_TRUE(writer.Publish(0, 3));
    }
    void TearDown() override {
        Digitizer::TearDown();
        DisposeTimeBase(tb);
        InstallTimeBaseClock(mPrevious);
    }

    // Compression on, a capture (not a preview) starting, at the given rate.
    ComponentInstance OpenPaced(Fixed rate) {
        const ComponentInstance ci = Open();
        EXPECT_EQ(VDSetCompressionOnOff(ci, 1), noErr);
        EXPECT_EQ(VDCaptureStateChanging(ci, vdFlagCaptureStarting), noErr);
        EXPECT_EQ(VDSetFrameRate(ci, rate), noErr);
        return ci;
    }

    // The time base runs from 0 at real time.
    void StartTheClock() {
        mStart = sNow;
        SetTimeBaseRate(tb, 0x10000);
    }
    // The clock at the first moment the time base reads tick k at scale 30.
    void AtTick(int64_t k) { sNow = mStart + (k * kSecond + 29) / 30; }

    // A delivered frame is given back at once, as a capture application does.
    static Frame Deliver(ComponentInstance ci) {
        const Frame frame = CompressDone(ci);
        if (frame.queued) {
            EXPECT_EQ(VDReleaseCompressBuffer(ci, frame.data), noErr);
        }
        return frame;
    }

    struct TimeCode {
        TimeRecord at{};
        TimeCodeDef def{};
        TimeCodeRecord record{};
    };
    static TimeCode GetTimeCode(ComponentInstance ci) {
        TimeCode code;
        EXPECT_EQ(VDGetTimeCode(ci, &code.at, &code.def, &code.record), noErr);
        return code;
    }
    static std::string Text(const TimeCodeRecord& r) {
        char text[32];
        std::snprintf(text, sizeof text, "%02d:%02d:%02d;%02d", r.t.hours, r.t.minutes, r.t.seconds,
                      r.t.frames);
        return text;
    }

    TimeBase tb = nullptr;

private:
    TimeBaseClockProc mPrevious = nullptr;
    int64_t mStart = 0;
};

TEST_F(PacedDigitizer, FramesAreDueEveryFrameDurationOfTheTimeBase) {
    const ComponentInstance ci = OpenPaced(0x0F0000);
    EXPECT_EQ(Deliver(ci).queued, 0); // no time base
    {
        StandardErrorCapture err;
        EXPECT_EQ(VDSetTimeBase(ci, nullptr), qtParamErr);
        EXPECT_TRUE(err.Has(" code : inTimeBase!=NULL in ")) << err.Text();
    }
    ASSERT_EQ(VDSetTimeBase(ci, tb), noErr);
    sNow += 10 * kSecond;
    Frame frame = Deliver(ci);
    EXPECT_EQ(frame.result, noErr);
    EXPECT_EQ(frame.queued, 0); // stopped
    EXPECT_EQ(frame.data, nullptr);

    StartTheClock();
    frame = Deliver(ci);
    ASSERT_EQ(frame.queued, 1);
    EXPECT_EQ(frame.size, 1228800);
    EXPECT_EQ(WideToInt64(frame.time.value), 0);
    EXPECT_EQ(frame.time.scale, 30);
    EXPECT_EQ(frame.time.base, tb);
    EXPECT_EQ(Deliver(ci).queued, 0);
    AtTick(1);
    EXPECT_EQ(Deliver(ci).queued, 0);
    AtTick(2);
    frame = Deliver(ci);
    ASSERT_EQ(frame.queued, 1);
    EXPECT_EQ(WideToInt64(frame.time.value), 2);
    AtTick(3);
    EXPECT_EQ(Deliver(ci).queued, 0);
    AtTick(4);
    EXPECT_EQ(WideToInt64(Deliver(ci).time.value), 4);

    const TimeCode code = GetTimeCode(ci);
    EXPECT_EQ(WideToInt64(code.at.value), 4);
    EXPECT_EQ(code.at.scale, 30);
    EXPECT_EQ(code.at.base, tb);
    EXPECT_EQ(code.def.flags, tc24HourMax);
    EXPECT_EQ(code.def.fTimeScale, 30);
    EXPECT_EQ(code.def.frameDuration, 2);
    EXPECT_EQ(code.def.numFrames, 15);
    EXPECT_EQ(Text(code.record), "01:00:00;02");

    // A capture that starts again starts its time code again, at the time base's time.
    ASSERT_EQ(VDCaptureStateChanging(ci, vdFlagCaptureStarting), noErr);
    AtTick(100);
    frame = Deliver(ci);
    ASSERT_EQ(frame.queued, 1);
    EXPECT_EQ(WideToInt64(frame.time.value), 100);
    EXPECT_EQ(Text(GetTimeCode(ci).record), "01:00:00;00");
    EXPECT_EQ(Deliver(ci).queued, 0);
}

TEST_F(PacedDigitizer, ThirtyFramesMakeASecondOfTimeCode) {
    const ComponentInstance ci = OpenPaced(-1);
    ASSERT_EQ(VDSetTimeBase(ci, tb), noErr);
    StartTheClock();
    for (int k = 0; k < 30; ++k) {
        AtTick(k);
        ASSERT_EQ(Deliver(ci).queued, 1) << k;
    }
    TimeCode code = GetTimeCode(ci);
    EXPECT_EQ(code.def.numFrames, 30);
    EXPECT_EQ(code.def.frameDuration, 1);
    EXPECT_EQ(code.def.flags, tc24HourMax);
    EXPECT_EQ(Text(code.record), "01:00:00;29");
    AtTick(30);
    ASSERT_EQ(Deliver(ci).queued, 1);
    EXPECT_EQ(Text(GetTimeCode(ci).record), "01:00:01;00");
}

TEST_F(PacedDigitizer, DropFrameTimeCodeAtTheNtscRate) {
    const ComponentInstance ci = OpenPaced(0x1DF852); // 29.97
    ASSERT_EQ(VDSetTimeBase(ci, tb), noErr);
    StartTheClock();
    const std::map<int, std::string> expected = {{1799, "01:00:59;29"},  {1800, "01:01:00;02"},
                                                 {3597, "01:01:59;29"},  {3598, "01:02:00;02"},
                                                 {17981, "01:09:59;29"}, {17982, "01:10:00;00"}};
    for (int f = 0; f <= 17982; ++f) {
        AtTick(f);
        ASSERT_EQ(Deliver(ci).queued, 1) << f;
        if (f == 0) {
            const TimeCode code = GetTimeCode(ci);
            EXPECT_EQ(code.def.flags, tcDropFrame | tc24HourMax);
            EXPECT_EQ(code.def.numFrames, 30);
        }
        auto check = expected.find(f);
        if (check != expected.end()) {
            EXPECT_EQ(Text(GetTimeCode(ci).record), check->second) << f;
        }
    }
}

} // namespace
