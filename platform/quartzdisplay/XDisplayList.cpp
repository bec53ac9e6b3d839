#include "platform/quartzdisplay/XDisplayList.h"

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <xcb/randr.h>
#include <xcb/xinerama.h>

namespace platform::coregraphics::x11 {

namespace {

struct Free {
    void operator()(void* reply) const { std::free(reply); }
};

// A monitor is known by its name atom: never 0, and the same for as long as the server runs,
// even across a monitor being unplugged and plugged in again.
std::vector<Display> Monitors(xcb_randr_get_monitors_reply_t* reply) {
    std::vector<Display> displays;
    if (!reply) return displays;
    for (auto m = xcb_randr_get_monitors_monitors_iterator(reply); m.rem;
         xcb_randr_monitor_info_next(&m)) {
        const Display display{m.data->name, m.data->x, m.data->y, m.data->width, m.data->height};
        if (m.data->primary)
            displays.insert(displays.begin(), display);
        else
            displays.push_back(display);
    }
    return displays;
}

// Heads have no name: they are known by their index + 1. Head 0 is the main one.
std::vector<Display> Heads(xcb_xinerama_query_screens_reply_t* reply) {
    std::vector<Display> displays;
    if (!reply) return displays;
    const xcb_xinerama_screen_info_t* heads = xcb_xinerama_query_screens_screen_info(reply);
    const int count = xcb_xinerama_query_screens_screen_info_length(reply);
    for (int i = 0; i < count; ++i)
        displays.push_back(Display{CGDirectDisplayID(i + 1), heads[i].x_org, heads[i].y_org,
                                   heads[i].width, heads[i].height});
    return displays;
}

} // namespace

std::vector<Display> OnlineDisplays(const Connection& x) {
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

    std::vector<Display> displays = Monitors(monitorsReply.get());
    std::vector<Display> heads = Heads(headsReply.get());
    if (heads.size() > displays.size()) displays = std::move(heads);
    if (displays.empty() && !xcb_connection_has_error(c))
        displays.push_back(Display{1, 0, 0, x.rootWidth, x.rootHeight});
    if (displays.size() > kCGMaxDisplays) displays.resize(kCGMaxDisplays);
    return displays;
}

std::optional<Display> FindDisplay(const std::vector<Display>& displays, CGDirectDisplayID id) {
    auto found = std::find_if(displays.begin(), displays.end(),
                              [id](const Display& d) { return d.id == id; });
    if (found == displays.end()) return std::nullopt;
    return *found;
}

} // namespace platform::coregraphics::x11
