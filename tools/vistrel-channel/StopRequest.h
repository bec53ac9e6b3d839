#pragma once

#include <atomic>
#include <chrono>

// The tool's waits: each ends at its time or within kStopCheck of a stop request (SIGINT,
// SIGTERM), whichever comes first.
namespace stop_request {

using Clock = std::chrono::steady_clock;
constexpr auto kStopCheck = std::chrono::milliseconds(10);

// False when a stop was requested before the time came.
bool SleepUntil(Clock::time_point until, const std::atomic<bool>& stop);

inline Clock::time_point After(double seconds) {
    return Clock::now() +
           std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
}

} // namespace stop_request
