#include "platform/quicktime/QuickTimeTimeBase.h"

#include <atomic>
#include <ctime>
#include <mutex>

namespace platform::quicktime {

// The time is kept exactly: as a count of units of 1/(scale * 65536 * 1e9) s, where scale is the
// last scale the value was set in. A clock nanosecond at rate r (16.16) is then r * scale units,
// and a value set at that scale is value * 65536e9 units, so neither ever rounds.
struct TimeBaseRecord {
    __int128 anchor = 0;     // the time at anchorClock, in units
    int64_t anchorScale = 1; // the scale that fixes the unit
    int64_t anchorClock = 0; // clock nanoseconds
    Fixed rate = 0;
};

namespace {

constexpr __int128 kUnitsPerScaleSecond = __int128(65536) * 1000000000;

int64_t MonotonicClock() {
    struct timespec now;
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return int64_t(now.tv_sec) * 1000000000 + now.tv_nsec;
}

std::atomic<TimeBaseClockProc> sClock{&MonotonicClock};

std::mutex& TimeBasesLock() {
    static std::mutex sLock;
    return sLock;
}

__int128 FloorDivide(__int128 value, __int128 divisor) {
    __int128 quotient = value / divisor;
    if ((value % divisor != 0) && ((value < 0) != (divisor < 0))) --quotient;
    return quotient;
}

// The time now, in the record's units; the lock must be held.
__int128 UnitsNow(const TimeBaseRecord& tb, int64_t clock) {
    return tb.anchor + __int128(clock - tb.anchorClock) * tb.rate * tb.anchorScale;
}

} // namespace

TimeBaseClockProc InstallTimeBaseClock(TimeBaseClockProc clock) {
    return sClock.exchange(clock ? clock : &MonotonicClock);
}

TimeBase NewTimeBase() {
    TimeBase tb = new TimeBaseRecord;
    tb->anchorClock = sClock.load()();
    return tb;
}

void DisposeTimeBase(TimeBase tb) {
    delete tb;
}

Fixed GetTimeBaseRate(TimeBase tb) {
    if (!tb) return 0;
    std::lock_guard<std::mutex> lock(TimeBasesLock());
    return tb->rate;
}

void SetTimeBaseRate(TimeBase tb, Fixed rate) {
    if (!tb) return;
    std::lock_guard<std::mutex> lock(TimeBasesLock());
    const int64_t clock = sClock.load()();
    tb->anchor = UnitsNow(*tb, clock);
    tb->anchorClock = clock;
    tb->rate = rate;
}

void SetTimeBaseValue(TimeBase tb, TimeValue t, TimeScale s) {
    if (!tb || s <= 0) return;
    std::lock_guard<std::mutex> lock(TimeBasesLock());
    tb->anchorScale = s;
    tb->anchor = __int128(t) * kUnitsPerScaleSecond;
    tb->anchorClock = sClock.load()();
}

TimeValue GetTimeBaseTime(TimeBase tb, TimeScale s, TimeRecord* tr) {
    int64_t value = 0;
    if (tb && s > 0) {
        std::lock_guard<std::mutex> lock(TimeBasesLock());
        const __int128 units = UnitsNow(*tb, sClock.load()());
        value = int64_t(FloorDivide(units * s, kUnitsPerScaleSecond * tb->anchorScale));
    }
    if (tr) *tr = TimeRecord{Int64ToWide(value), s, tb};
    return TimeValue(value);
}

void ConvertTimeScale(TimeRecord* inout, TimeScale newScale) {
    if (!inout || newScale <= 0 || inout->scale <= 0) return;
    const __int128 value = WideToInt64(inout->value);
    inout->value = Int64ToWide(int64_t(FloorDivide(value * newScale, inout->scale)));
    inout->scale = newScale;
}

} // namespace platform::quicktime
