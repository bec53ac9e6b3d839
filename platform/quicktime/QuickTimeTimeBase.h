#pragma once

// Time bases: clocks that run at a rate (1.0 = real time, 0 = stopped) from a settable value,
// read at any time scale. Real time is CLOCK_MONOTONIC unless a test installs its own clock.
#include "platform/quicktime/QuickTimeTypes.h"

namespace platform::quicktime {

using TimeValue = int32_t;
using TimeScale = int32_t;
using TimeBase = struct TimeBaseRecord*;

// A 64-bit time value as two words, low word first on this processor.
struct wide {
    uint32_t lo;
    int32_t hi;
};
using CompTimeValue = wide;

inline int64_t WideToInt64(const wide& w) {
    return int64_t(uint64_t(uint32_t(w.hi)) << 32 | w.lo);
}
inline wide Int64ToWide(int64_t v) {
    return wide{uint32_t(uint64_t(v)), int32_t(uint64_t(v) >> 32)};
}

struct TimeRecord {
    CompTimeValue value;
    TimeScale scale;
    TimeBase base;
};

// A new time base is stopped (rate 0) at time 0.
QT_API TimeBase NewTimeBase();
QT_API void DisposeTimeBase(TimeBase tb);
QT_API Fixed GetTimeBaseRate(TimeBase tb);
// The time goes on from where it is; only its pace changes.
QT_API void SetTimeBaseRate(TimeBase tb, Fixed rate);
QT_API void SetTimeBaseValue(TimeBase tb, TimeValue t, TimeScale s);
// The current time at scale s, rounded down; the record (when given) gets value, scale and base.
// The result is the value's low 32 bits.
QT_API TimeValue GetTimeBaseTime(TimeBase tb, TimeScale s, TimeRecord* tr);
// Re-expresses a time record at another scale, rounding down.
QT_API void ConvertTimeScale(TimeRecord* inout, TimeScale newScale);

// The clock under every time base, in nanoseconds. Installing null restores CLOCK_MONOTONIC.
// A test installs its own before it creates time bases and moves it as the case needs; the time
// base arithmetic runs on whatever the clock says. Returns the clock that was installed.
using TimeBaseClockProc = int64_t (*)();
QT_API TimeBaseClockProc InstallTimeBaseClock(TimeBaseClockProc clock);

} // namespace platform::quicktime
