// Handles, fixed-point arithmetic, image description properties, and time bases over a clock the
// test moves by hand.
#include "platform/quicktime/QuickTimeImageCompression.h"
#include "platform/quicktime/QuickTimeTimeBase.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <tuple>

using namespace platform::quicktime;

namespace {

TEST(Handles, ResizingKeepsTheContentsAndALockedHandleCannotMove) {
    Handle h = NewHandle(0);
    ASSERT_NE(*h, nullptr); // an empty handle still has a usable master pointer
    SetHandleSize(h, 4);
    std::memcpy(*h, "abcd", 4);
    SetHandleSize(h, 1 << 20);
    EXPECT_EQ(std::memcmp(*h, "abcd", 4), 0);
    const SInt8 unlocked = HGetState(h);
    HLock(h);
    char* block = *h;
    SetHandleSize(h, 1 << 21);
    EXPECT_EQ(MemError(), memFullErr);
    SetHandleSize(h, 2);
    EXPECT_EQ(MemError(), noErr);
    EXPECT_TRUE(*h == block && GetHandleSize(h) == 2 && std::memcmp(*h, "ab", 2) == 0);
    HSetState(h, unlocked);
    SetHandleSize(h, 1 << 21);
    EXPECT_EQ(MemError(), noErr);
    DisposeHandle(h);
}

// (Only the conversions the component and the hosts call.)
TEST(FixedPoint, DivisionAndConversionSaturate) {
    for (auto [value, expected] : {std::pair<long, long>{FixDiv(-0x10000, 0), -0x7FFFFFFF},
                                   {FixDiv(30, 0x3D0000), 0}, // no whole tick per frame at 61.0
                                   {Long2Fix(40000), 0x7FFFFFFF}})
        EXPECT_EQ(value, expected);
}

// The encoded size lives beside a description's 86 bytes, with its own handle.
TEST(ImageDescriptions, EncodedSizeIsKeptPerHandleAndGoesWithIt) {
    auto desc = reinterpret_cast<ImageDescriptionHandle>(NewHandleClear(sizeof(ImageDescription)));
    auto other = reinterpret_cast<ImageDescriptionHandle>(NewHandleClear(sizeof(ImageDescription)));
    const auto get = [](ImageDescriptionHandle d, ComponentPropertyID id) {
        SInt32 value = -1;
        const OSStatus err = ICMImageDescriptionGetProperty(d, kQTPropertyClass_ImageDescription,
                                                            id, sizeof value, &value, nullptr);
        return err ? err : value;
    };
    const SInt32 ninety = 90;
    const auto height = kICMImageDescriptionPropertyID_EncodedHeight;
    ASSERT_EQ(ICMImageDescriptionSetProperty(desc, kQTPropertyClass_ImageDescription, height,
                                             sizeof ninety, &ninety),
              noErr);
    EXPECT_TRUE(get(desc, height) == 90 && get(other, height) == 0);
    DisposeHandle(reinterpret_cast<Handle>(desc));
    DisposeHandle(reinterpret_cast<Handle>(other));
}

constexpr int64_t kSecond = 1000000000;
std::atomic<int64_t> sNow{0};

// Each step sets a rate, lets the clock run (nanoseconds), and reads the time at a scale: the time
// expected.
TEST(TimeBases, TheTimeGoesOnAtTheRateRoundingDown) {
    sNow = 1000 * kSecond;
    const TimeBaseClockProc previous = InstallTimeBaseClock([] { return sNow.load(); });
    const TimeBase tb = NewTimeBase();
    const std::tuple<Fixed, int64_t, TimeScale, TimeValue> steps[] = {
        {0, 5 * kSecond, 600, 0}, // a new time base is stopped
        {0x10000, 1500000000, 30, 45},
        {0x10000, kSecond / 40, 30, 45}, // three quarters of a frame on: still the same frame
    };
    for (const auto& [rate, run, readScale, expected] : steps) {
        SetTimeBaseRate(tb, rate);
        sNow += run;
        EXPECT_EQ(GetTimeBaseTime(tb, readScale, nullptr), expected) << expected;
    }
    // Past 32 bits the record keeps the whole value, its scale and its base.
    SetTimeBaseValue(tb, 0x7FFFFFFF, 1);
    SetTimeBaseRate(tb, 0x10000);
    sNow += 2 * kSecond;
    TimeRecord tr{};
    GetTimeBaseTime(tb, 1, &tr);
    EXPECT_TRUE(tr.value.hi == 0 && tr.value.lo == 0x80000001u && tr.scale == 1 && tr.base == tb);
    for (const auto& [value, from, to, expected] :
         {std::tuple<int64_t, TimeScale, TimeScale, int64_t>{1001, 600, 30, 50},
          {(int64_t(1) << 33) + 5, 3, 1, 2863311532}}) {
        tr = TimeRecord{Int64ToWide(value), from, nullptr};
        ConvertTimeScale(&tr, to);
        EXPECT_EQ(WideToInt64(tr.value), expected) << value;
    }
    DisposeTimeBase(tb);
    InstallTimeBaseClock(previous);
}

} // namespace
