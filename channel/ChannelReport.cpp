#include "channel/ChannelReport.h"

#include "core/CoreMachDebugLog.h"

#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <string>

namespace {

using Clock = std::chrono::steady_clock;

struct Recent {
    std::string text;
    Clock::time_point at;
};

} // namespace

bool ChannelReport(const char* format, ...) {
    char text[kCoreLogTextCapacity];
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(text, sizeof text, format, arguments);
    va_end(arguments);

    // A few distinct texts can repeat in turn (one per lock, the file): remember each of them.
    static std::mutex sLock;
    static Recent sRecent[8];
    static unsigned sNext = 0;
    const auto now = Clock::now();
    const auto quiet = std::chrono::duration<double>(kChannelReportQuietSeconds);
    {
        std::lock_guard<std::mutex> hold(sLock);
        Recent* slot = &sRecent[sNext % 8];
        for (Recent& recent : sRecent)
            if (recent.text == text) slot = &recent;
        if (slot->text == text && now - slot->at < quiet) return false;
        if (slot->text != text) ++sNext;
        *slot = {text, now};
    }
    CoreMachDebugLogString(text);
    return true;
}
