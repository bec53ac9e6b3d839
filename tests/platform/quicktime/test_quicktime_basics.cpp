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
    SetHandleSize(h, 4);
    EXPECT_EQ(MemError(), nilHandleErr);
}

TEST(FixedPoint, RoundingAndSaturation) {
    EXPECT_EQ(FixRatio(1, 3), 0x5555);
    EXPECT_EQ(FixRatio(-1, 2), -0x8000);
    EXPECT_EQ(FixRatio(1, 0), 0x7FFFFFFF);
    EXPECT_EQ(FixDiv(-0x10000, 0), -0x7FFFFFFF);
    EXPECT_EQ(FixDiv(30, 0x3D0000), 0); // raw 30 over 61.0: no whole tick per frame
    EXPECT_EQ(FixMul(0x7FFF0000, 0x20000), 0x7FFFFFFF);
    EXPECT_EQ(Long2Fix(40000), 0x7FFFFFFF);
    // Halves round away from zero.
    EXPECT_EQ(Fix2Long(0x18000), 2);
    EXPECT_EQ(Fix2Long(0x17FFF), 1);
    EXPECT_EQ(Fix2Long(-0x18000), -2);
    EXPECT_EQ(FixRound(0x1DF852), 30);
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
    ASSERT_EQ(ICMImageDescriptionSetProperty(desc, kQTPropertyClass_ImageDescription,
                                             kICMImageDescriptionPropertyID_EncodedHeight,
                                             sizeof ninety, &ninety),
              noErr);
    EXPECT_EQ(get(desc, kICMImageDescriptionPropertyID_EncodedHeight), 90);
    EXPECT_EQ(get(other, kICMImageDescriptionPropertyID_EncodedHeight), 0);
    EXPECT_EQ(get(desc, FourCC("none")), kQTPropertyNotSupportedErr);
    DisposeHandle(reinterpret_cast<Handle>(desc));
    DisposeHandle(reinterpret_cast<Handle>(other));
    EXPECT_EQ(get(desc, kICMImageDescriptionPropertyID_EncodedHeight), paramErr);
}

constexpr int64_t kSecond = 1000000000;
std::atomic<int64_t> sNow{0};

class TimeBases : public ::testing::Test {
protected:
    void SetUp() override {
        sNow = 1000 * kSecond;
        mPrevious = InstallTimeBaseClock([] { return sNow.load(); });
        tb = NewTimeBase();
    }
    void TearDown() override {
        DisposeTimeBase(tb);
        InstallTimeBaseClock(mPrevious);
    }
    TimeValue At(TimeScale scale) { return GetTimeBaseTime(tb, scale, nullptr); }

    TimeBase tb = nullptr;
    TimeBaseClockProc mPrevious = nullptr;
};

TEST_F(TimeBases, TheTimeGoesOnAtTheRateFromWhereItIs) {
    sNow += 5 * kSecond;
    EXPECT_EQ(At(600), 0); // a new time base is stopped
    SetTimeBaseRate(tb, 0x10000);
    sNow += 1500000000;
    EXPECT_EQ(At(30), 45);
    SetTimeBaseRate(tb, 0x20000);
    sNow += kSecond / 2;
    EXPECT_EQ(At(1000), 2500);
    SetTimeBaseRate(tb, -0x10000);
    sNow += kSecond / 4;
    EXPECT_EQ(At(1000), 2250);
    SetTimeBaseRate(tb, 0);
    sNow += 10 * kSecond;
    EXPECT_EQ(At(1000), 2250);
}

TEST_F(TimeBases, ValuesRoundDownAndKeepTheirScaleAndLength) {
    // 10/30 s is no whole number of nanoseconds; it must still read back as 10.
    SetTimeBaseValue(tb, 10, 30);
    SetTimeBaseRate(tb, 0x10000);
    sNow += kSecond / 30;
    EXPECT_EQ(At(30), 10);
    sNow += 1;
    EXPECT_EQ(At(30), 11);
    SetTimeBaseValue(tb, -1, 1000);
    SetTimeBaseRate(tb, 0);
    EXPECT_EQ(At(30), -1);

    SetTimeBaseValue(tb, 0x7FFFFFFF, 1);
    SetTimeBaseRate(tb, 0x10000);
    sNow += 2 * kSecond;
    TimeRecord tr{};
    GetTimeBaseTime(tb, 1, &tr);
    EXPECT_TRUE(tr.value.hi == 0 && tr.value.lo == 0x80000001u) << WideToInt64(tr.value);
    EXPECT_TRUE(tr.scale == 1 && tr.base == tb);

    for (const auto& [value, from, to, expected] :
         {std::tuple<int64_t, TimeScale, TimeScale, int64_t>{1001, 600, 30, 50},
          {-1, 600, 30, -1},
          {(int64_t(1) << 33) + 5, 3, 1, 2863311532}}) {
        tr = TimeRecord{Int64ToWide(value), from, nullptr};
        ConvertTimeScale(&tr, to);
        EXPECT_EQ(WideToInt64(tr.value), expected) << value;
    }
}

} // namespace
