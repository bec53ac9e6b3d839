#include "platform/quartzdisplay/DisplayBackend.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace platform::coregraphics {

bool WaylandSession() {
    const char* type = std::getenv("XDG_SESSION_TYPE");
    const char* display = std::getenv("WAYLAND_DISPLAY");
    return (type && std::strcmp(type, "wayland") == 0) || (display && *display);
}

namespace {

// Under Wayland the grabber is an X11 window all the same, but XWayland's screen holds only the
// X11 windows: the pixels come from the compositor where it can give them.
const DisplayBackend& Choose() {
    if (!WaylandSession()) return X11DisplayBackend();
    std::string why;
    if (const DisplayBackend* backend = WaylandDisplayBackend(why)) return *backend;
    std::fprintf(stderr,
                 "vistrel: %s; capturing through XWayland, where native Wayland windows do not "
                 "show\n",
                 why.c_str());
    return X11DisplayBackend();
}

} // namespace

const DisplayBackend& TheDisplayBackend() {
    static const DisplayBackend& sBackend = Choose();
    return sBackend;
}

std::optional<ScreenDisplay> FindDisplay(const ScreenDisplayList& displays, CGDirectDisplayID id) {
    auto found = std::find_if(displays.begin(), displays.end(),
                              [id](const ScreenDisplay& d) { return d.id == id; });
    if (found == displays.end()) return std::nullopt;
    return *found;
}

} // namespace platform::coregraphics
