// Time bases over a clock the test moves by hand.
#include "platform/quicktime/QuickTimeTimeBase.h"

#include <gtest/gtest.h>

#include <atomic>

using namespace platform::quicktime;

namespace {

constexpr int64_t kSecond = 1000000000;

std::atomic<int64_t> sNow{0};

int64_t TestClock() {
    return sNow.load();
}

class TimeBases : public ::testing::Test {
protected:
    void SetUp() override {
        sNow = 1000 * kSecond;
        mPrevious = InstallTimeBaseClock(&TestClock);
        tb = NewTimeBase();
    }
    void TearDown() override {
        DisposeTimeBase(tb);
        InstallTimeBaseClock(mPrevious);
    }
    static void Advance(int64_t nanoseconds) { sNow += nanoseconds; }

    TimeBase tb = nullptr;

private:
    TimeBaseClockProc mPrevious = nullptr;
};

TEST_F(TimeBases, ANewTimeBaseIsStoppedAtZero) {
    Advance(5 * kSecond);
    TimeRecord tr{};
    EXPECT_EQ(GetTimeBaseTime(tb, 600, &tr), 0);
    EXPECT_EQ(GetTimeBaseRate(tb), 0);
    EXPECT_EQ(WideToInt64(tr.value), 0);
    EXPECT_EQ(tr.scale, 600);
    EXPECT_EQ(tr.base, tb);
}

TEST_F(TimeBases, RunningTimeFollowsTheClockAtTheRate) {
    SetTimeBaseRate(tb, 0x10000);
    EXPECT_EQ(GetTimeBaseRate(tb), 0x10000);
    Advance(1500000000);
    EXPECT_EQ(GetTimeBaseTime(tb, 30, nullptr), 45);
    EXPECT_EQ(GetTimeBaseTime(tb, 1000, nullptr), 1500);
    // A new rate changes the pace from where the time is.
    SetTimeBaseRate(tb, 0x20000);
    EXPECT_EQ(GetTimeBaseTime(tb, 1000, nullptr), 1500);
    Advance(kSecond / 2);
    EXPECT_EQ(GetTimeBaseTime(tb, 1000, nullptr), 2500);
    SetTimeBaseRate(tb, -0x10000);
    Advance(kSecond / 4);
    EXPECT_EQ(GetTimeBaseTime(tb, 1000, nullptr), 2250);
    SetTimeBaseRate(tb, 0);
    Advance(10 * kSecond);
    EXPECT_EQ(GetTimeBaseTime(tb, 1000, nullptr), 2250);
}

TEST_F(TimeBases, ASetValueReadsBackExactlyAtItsScale) {
    // 10/30 s is no whole number of nanoseconds; it must still read back as 10.
    SetTimeBaseValue(tb, 10, 30);
    EXPECT_EQ(GetTimeBaseTime(tb, 30, nullptr), 10);
    EXPECT_EQ(GetTimeBaseTime(tb, 1000, nullptr), 333);
    SetTimeBaseRate(tb, 0x10000);
    Advance(kSecond / 30);
    EXPECT_EQ(GetTimeBaseTime(tb, 30, nullptr), 10);
    Advance(1);
    EXPECT_EQ(GetTimeBaseTime(tb, 30, nullptr), 11);
}

TEST_F(TimeBases, TimesRoundDownAlsoBelowZero) {
    SetTimeBaseValue(tb, -1, 1000);
    EXPECT_EQ(GetTimeBaseTime(tb, 30, nullptr), -1);
    EXPECT_EQ(GetTimeBaseTime(tb, 1000, nullptr), -1);
}

TEST_F(TimeBases, TheLongTimeIsKeptBeyondThirtyTwoBits) {
    SetTimeBaseValue(tb, 0x7FFFFFFF, 1);
    SetTimeBaseRate(tb, 0x10000);
    Advance(2 * kSecond);
    TimeRecord tr{};
    GetTimeBaseTime(tb, 1, &tr);
    EXPECT_EQ(WideToInt64(tr.value), 0x80000001LL);
    EXPECT_EQ(tr.value.hi, 0);
    EXPECT_EQ(tr.value.lo, 0x80000001u);
}

TEST(TimeScales, ConvertRoundsDown) {
    TimeRecord tr{Int64ToWide(1001), 600, nullptr};
    ConvertTimeScale(&tr, 30);
    EXPECT_EQ(WideToInt64(tr.value), 50);
    EXPECT_EQ(tr.scale, 30);
    tr = TimeRecord{Int64ToWide(-1), 600, nullptr};
    ConvertTimeScale(&tr, 30);
    EXPECT_EQ(WideToInt64(tr.value), -1);
    tr = TimeRecord{Int64ToWide((int64_t(1) << 33) + 6), 3, nullptr};
    ConvertTimeScale(&tr, 1);
    EXPECT_EQ(WideToInt64(tr.value), ((int64_t(1) << 33) + 6) / 3);
}

TEST(TimeScales, RealTimeRunsOnTheMonotonicClock) {
    TimeBase tb = NewTimeBase();
    SetTimeBaseRate(tb, 0x10000);
    const TimeValue first = GetTimeBaseTime(tb, 1000000, nullptr);
    TimeValue later = first;
    // Bounded: the monotonic clock moves a microsecond long before this ends.
    for (int i = 0; i < 100000000 && later == first; ++i)
        later = GetTimeBaseTime(tb, 1000000, nullptr);
    EXPECT_GT(later, first);
    DisposeTimeBase(tb);
}

} // namespace
