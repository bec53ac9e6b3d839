#include "tools/vistrel-channel/StopRequest.h"

#include <algorithm>
#include <thread>

namespace stop_request {

bool SleepUntil(Clock::time_point until, const std::atomic<bool>& stop) {
    for (auto now = Clock::now(); !stop.load() && now < until; now = Clock::now())
        std::this_thread::sleep_for(std::min<Clock::duration>(kStopCheck, until - now));
    return !stop.load();
}

} // namespace stop_request
