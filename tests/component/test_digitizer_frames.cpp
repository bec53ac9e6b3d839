// Frames through the video digitizer: handed out in place with their buffer locked, released by
// the capture application, paced by its time base, and never waited for forever.
#include "tests/component/DigitizerTestSupport.h"

#include <atomic>
#include <chrono>
#include <csignal>
#include <future>
#include <map>

using namespace digitizer_test;
using namespace std::chrono_literals;

namespace {

TEST_F(Digitizer, TheNewestFrameOfAnotherProcessArrivesInPlaceWithItsLockHeld) {
    const testsupport::ProcessResult publish =
        testsupport::RunProcess({testsupport::StagePath("bin/vistrel-channel"), "publish",
                                 "--frames", "3", "--fps", "200"});
    ASSERT_EQ(publish.exitCode, 0) << publish.out << publish.err;
    // The same object's entry points show where the region lies here and who holds a lock.
    ASSERT_TRUE(writer.Load(ComponentObject()));
    tagSHARED_CAMERA_BUFFER current = binding::Record();
    ASSERT_TRUE(writer.fn2(&current));

    const ComponentInstance ci = OpenPreviewing();
    ASSERT_EQ(VDCompressOneFrameAsync(ci), noErr);
    const Frame frame = CompressDone(ci);
    ASSERT_EQ(frame.result, noErr);
    EXPECT_TRUE(frame.queued == 1 && frame.size == 1228800);
    ASSERT_EQ(frame.data, current.frameBufferPtr);
    std::vector<uint8_t> newest(SharedCamera::kFrameSizeBytes);
    TestPattern::Draw(newest.data(), SharedCamera::kFrameWidth, SharedCamera::kFrameHeight,
                      SharedCamera::kFrameRowBytes, 2);
    EXPECT_EQ(std::memcmp(frame.data, newest.data(), newest.size()), 0);

    EXPECT_FALSE(writer.fn3(frame.data));
    EXPECT_EQ(VDReleaseCompressBuffer(ci, frame.data), noErr);
    EXPECT_TRUE(writer.fn3(frame.data));
    writer.fn5(frame.data);
}

TEST_F(Digitizer, ASecondFrameWaitsUntilTheFirstIsReleased) {
    Broadcast();
    ASSERT_TRUE(Publish(writer, 1, 7));
    const ComponentInstance first = OpenPreviewing();
    const ComponentInstance second = OpenPreviewing();
    const Frame held = CompressDone(first);
    ASSERT_EQ(held.result, noErr);
    ASSERT_EQ(held.data, Buffer(writer, 1));

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

// No frame without a current one, nor when the lock of the current one is not had in time.
TEST_F(Digitizer, NoFrameThatCannotBeHad) {
    Broadcast();
    const ComponentInstance ci = OpenPreviewing();
    Frame frame;
    const std::string err = StandardError([&] { frame = CompressDone(ci); });
    EXPECT_EQ(frame.result, paramErr);
    EXPECT_TRUE(frame.queued == 0 && frame.data == nullptr && frame.size == 0);
    EXPECT_NE(err.find("VERIFY FAILED:  code : frameBuffer!=NULL in "), std::string::npos) << err;

    ASSERT_TRUE(Publish(writer, 0, 1));
    // A living holder keeps the lock; once it dies, its lock is taken back.
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    testsupport::Child holder([&] {
        const char held = writer.fn4(Buffer(writer, 0));
        if (::write(ready[1], &held, 1) != 1 || !held) return 1;
        ::pause();
        return 0;
    });
    char held = 0;
    ASSERT_EQ(::read(ready[0], &held, 1), 1);
    ASSERT_TRUE(held);
    frame = CompressDone(ci);
    EXPECT_EQ(frame.result, paramErr);
    EXPECT_TRUE(frame.queued == 0 && frame.data == nullptr);
    holder.Kill(SIGKILL);
    ASSERT_TRUE(holder.Wait());
    frame = CompressDone(ci);
    ASSERT_EQ(frame.result, noErr);
    EXPECT_EQ(VDReleaseCompressBuffer(ci, frame.data), noErr);
    ::close(ready[0]);
    ::close(ready[1]);
    // The writer's next frame goes to the other buffer, which is free.
    ASSERT_TRUE(Publish(writer, 1, 2));
    frame = CompressDone(ci);
    ASSERT_EQ(frame.result, noErr);
    EXPECT_EQ(frame.data, Buffer(writer, 1));
    EXPECT_EQ(VDReleaseCompressBuffer(ci, frame.data), noErr);
}

// A delivered frame is given back at once, as a capture application does.
Frame Deliver(ComponentInstance ci) {
    const Frame frame = CompressDone(ci);
    if (frame.queued) {
        EXPECT_EQ(VDReleaseCompressBuffer(ci, frame.data), noErr);
    }
    return frame;
}

std::string TimeCode(ComponentInstance ci, TimeCodeDef* def = nullptr) {
    TimeRecord at{};
    TimeCodeDef format{};
    TimeCodeRecord r{};
    EXPECT_EQ(VDGetTimeCode(ci, &at, def ? def : &format, &r), noErr);
    char text[32];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d;%02d", r.t.hours, r.t.minutes, r.t.seconds,
                  r.t.frames);
    return text;
}

constexpr int64_t kSecond = 1000000000;
std::atomic<int64_t> sNow{0};

// Paced delivery, on a clock the test moves.
class PacedDigitizer : public Digitizer {
protected:
    void SetUp() override {
        Digitizer::SetUp();
        sNow = 5000 * kSecond;
        mPrevious = InstallTimeBaseClock([] { return sNow.load(); });
        tb = NewTimeBase();
    }
    void TearDown() override {
        Digitizer::TearDown();
        DisposeTimeBase(tb);
        InstallTimeBaseClock(mPrevious);
    }

    TimeBase tb = nullptr;
    TimeBaseClockProc mPrevious = nullptr;
};

// Frames are due every frame duration of a running time base and counted in time code.
TEST_F(PacedDigitizer, FramesAreDueEveryFrameDurationAndCountedInTimeCode) {
    Broadcast();
    ASSERT_TRUE(Publish(writer, 0, 3));
    const struct {
        Fixed rate;
        int duration, perSecond;
        int32_t flags;
        std::map<int, std::string> codes;
    } cases[] = {
        {0x0F0000, 2, 15, tc24HourMax, {{4, "01:00:00;02"}, {30, "01:00:01;00"}}},
        {-1, 1, 30, tc24HourMax, {{29, "01:00:00;29"}, {30, "01:00:01;00"}}},
        {0x1DF852, // 29.97: two frame numbers are dropped each minute but every tenth
         1,
         30,
         tcDropFrame | tc24HourMax,
         {{1799, "01:00:59;29"},
          {1800, "01:01:00;02"},
          {3597, "01:01:59;29"},
          {3598, "01:02:00;02"},
          {17981, "01:09:59;29"},
          {17982, "01:10:00;00"}}},
    };
    for (const auto& each : cases) {
        SCOPED_TRACE(each.rate);
        const ComponentInstance ci = Open(); // capturing, not previewing
        EXPECT_EQ(VDSetCompressionOnOff(ci, 1), noErr);
        EXPECT_EQ(VDCaptureStateChanging(ci, vdFlagCaptureStarting), noErr);
        EXPECT_EQ(VDSetFrameRate(ci, each.rate), noErr);
        EXPECT_EQ(Deliver(ci).queued, 0); // no time base
        EXPECT_EQ(VDSetTimeBase(ci, nullptr), qtParamErr);
        ASSERT_EQ(VDSetTimeBase(ci, tb), noErr);
        SetTimeBaseValue(tb, 0, 30);
        sNow += 10 * kSecond;
        EXPECT_EQ(Deliver(ci).queued, 0); // stopped
        SetTimeBaseRate(tb, 0x10000);
        const int64_t start = sNow;
        // The first moment the time base reads the tick at scale 30.
        const auto atTick = [&](int64_t tick) { sNow = start + (tick * kSecond + 29) / 30; };
        const int last = each.codes.rbegin()->first;
        for (int tick = 0; tick <= last; ++tick) {
            atTick(tick);
            const Frame frame = Deliver(ci);
            ASSERT_EQ(frame.queued, tick % each.duration == 0 ? 1 : 0) << tick;
            if (!frame.queued) continue;
            ASSERT_TRUE(WideToInt64(frame.time.value) == tick && frame.time.scale == 30 &&
                        frame.time.base == tb && frame.size == 1228800)
                << tick;
            if (each.codes.count(tick)) {
                EXPECT_EQ(TimeCode(ci), each.codes.at(tick)) << tick;
            }
        }
        TimeCodeDef def{};
        TimeCode(ci, &def);
        EXPECT_TRUE(def.flags == each.flags && def.fTimeScale == 30 &&
                    def.frameDuration == each.duration && def.numFrames == each.perSecond);

        // A capture that starts again starts its time code again, at the time base's time.
        ASSERT_EQ(VDCaptureStateChanging(ci, vdFlagCaptureStarting), noErr);
        atTick(last + 10 * each.duration);
        EXPECT_EQ(WideToInt64(Deliver(ci).time.value), last + 10 * each.duration);
        EXPECT_EQ(TimeCode(ci), "01:00:00;00");
        EXPECT_EQ(Deliver(ci).queued, 0);
        Close(ci);
        SetTimeBaseRate(tb, 0);
    }
}

} // namespace
