#include "platform/quartzdisplay/XDisplayList.h"
#include "platform/quartzdisplay/XEvents.h"

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <time.h>
#include <xcb/randr.h>
#include <xcb/xinerama.h>

namespace platform::coregraphics::x11 {

namespace {

struct Free {
    void operator()(void* reply) const { std::free(reply); }
};

void Add(DisplayList& list, const Display& display, bool first) {
    if (list.count == list.displays.size()) return;
    if (first) std::copy_backward(list.begin(), list.end(), list.displays.data() + list.count + 1);
    list.displays[first ? 0 : list.count] = display;
    ++list.count;
}

// A monitor is known by its name atom: never 0, and the same for as long as the server runs,
// even across a monitor being unplugged and plugged in again.
DisplayList Monitors(xcb_randr_get_monitors_reply_t* reply) {
    DisplayList displays;
    if (!reply) return displays;
    for (auto m = xcb_randr_get_monitors_monitors_iterator(reply); m.rem;
         xcb_randr_monitor_info_next(&m))
        Add(displays, Display{m.data->name, m.data->x, m.data->y, m.data->width, m.data->height},
            m.data->primary);
    return displays;
}

// Heads have no name: they are known by their index + 1. Head 0 is the main one.
DisplayList Heads(xcb_xinerama_query_screens_reply_t* reply) {
    DisplayList displays;
    if (!reply) return displays;
    const xcb_xinerama_screen_info_t* heads = xcb_xinerama_query_screens_screen_info(reply);
    const int count = xcb_xinerama_query_screens_screen_info_length(reply);
    for (int i = 0; i < count; ++i)
        Add(displays,
            Display{CGDirectDisplayID(i + 1), heads[i].x_org, heads[i].y_org, heads[i].width,
                    heads[i].height},
            false);
    return displays;
}

// Heads beyond the list's capacity are not counted by Heads(), so their number is compared.
DisplayList Ask(const Connection& x) {
    xcb_connection_t* c = x.connection;
    // Both questions go out before either answer is awaited: one round trip.
    xcb_randr_get_monitors_cookie_t monitorsAsked{};
    xcb_xinerama_query_screens_cookie_t headsAsked{};
    if (x.monitors) monitorsAsked = xcb_randr_get_monitors(c, x.root, 1);
    if (x.xinerama) headsAsked = xcb_xinerama_query_screens(c);
    std::unique_ptr<xcb_randr_get_monitors_reply_t, Free> monitorsReply(
        x.monitors ? xcb_randr_get_monitors_reply(c, monitorsAsked, nullptr) : nullptr);
    std::unique_ptr<xcb_xinerama_query_screens_reply_t, Free> headsReply(
        x.xinerama ? xcb_xinerama_query_screens_reply(c, headsAsked, nullptr) : nullptr);

    DisplayList displays = Monitors(monitorsReply.get());
    const int monitorCount =
        monitorsReply ? xcb_randr_get_monitors_monitors_length(monitorsReply.get()) : 0;
    const int headCount =
        headsReply ? xcb_xinerama_query_screens_screen_info_length(headsReply.get()) : 0;
    if (headCount > monitorCount) displays = Heads(headsReply.get());
    if (displays.empty() && !xcb_connection_has_error(c))
        Add(displays, Display{1, 0, 0, x.rootWidth, x.rootHeight}, false);
    return displays;
}

// The server announces changes of outputs, CRTCs and the screen's size, but not monitors that a
// client defines itself: a list older than this is asked for again all the same, which costs one
// round trip now and then instead of one per call.
constexpr int64_t kLongestUnannouncedChangeNs = 250'000'000;

int64_t Now() {
    timespec t{};
    ::clock_gettime(CLOCK_MONOTONIC_COARSE, &t);
    return int64_t(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}

// The list as last asked for, when, and whether the server may have changed it since.
struct Cache {
    std::mutex lock;
    bool watching = false;
    bool current = false;
    int64_t asked = 0;
    DisplayList displays;
};

Cache& TheCache() {
    static Cache* const sCache = new Cache;
    return *sCache;
}

// Asks the server to tell this connection about every RandR change: monitors, outputs, CRTCs
// and the screen's size all move displays.
void Watch(const Connection& x) {
    if (!x.randr) return;
    xcb_randr_select_input(x.connection, x.root,
                           XCB_RANDR_NOTIFY_MASK_SCREEN_CHANGE | XCB_RANDR_NOTIFY_MASK_CRTC_CHANGE |
                               XCB_RANDR_NOTIFY_MASK_OUTPUT_CHANGE |
                               XCB_RANDR_NOTIFY_MASK_RESOURCE_CHANGE);
    xcb_flush(x.connection);
}

} // namespace

DisplayList OnlineDisplayList(const Connection& x) {
    Cache& cache = TheCache();
    const std::lock_guard<std::mutex> hold(cache.lock);
    if (!cache.watching) {
        // Watched before the first question, so that no change falls between the two.
        Watch(x);
        cache.watching = true;
    }
    const int64_t now = Now();
    if (TakeDisplayChange(x) || !cache.current || now - cache.asked > kLongestUnannouncedChangeNs) {
        cache.displays = Ask(x);
        cache.current = !xcb_connection_has_error(x.connection);
        cache.asked = now;
    }
    return cache.displays;
}

} // namespace platform::coregraphics::x11
